// Makes the dialog's widgets from its template, one small factory per kind
// of control, so the dialog itself only places them.
#pragma once

#include "res/dialog_template.h"

class QButtonGroup;
class QWidget;

// A button with a client edge is drawn inside a sunken edge this wide.
inline constexpr int kClientEdgeWidth = 2;
// What QLineEdit keeps free beside its text, inside its contents rectangle.
inline constexpr int kLineEditMargin = 2;

class ControlFactory {
public:
    explicit ControlFactory(QWidget* dialog) : m_dialog(dialog) {}

    // A new child of the dialog for c, not yet placed. Option buttons that
    // follow each other share a group until one starts a new group.
    QWidget* Make(const sarnoval::ControlTemplate& c);

private:
    QWidget* PushButton(const sarnoval::ControlTemplate& c);
    QWidget* OptionButton(const sarnoval::ControlTemplate& c);
    QWidget* Edit(const sarnoval::ControlTemplate& c);
    QWidget* ListBox();
    QWidget* Progress();
    QWidget* Label(const sarnoval::ControlTemplate& c);
    QWidget* GroupBox(const sarnoval::ControlTemplate& c);

    QWidget* m_dialog;
    QButtonGroup* m_group = nullptr;
};
