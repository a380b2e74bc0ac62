#include "ui/option_accessible.h"

#include <QAccessibleWidget>
#include <QPushButton>

namespace {

const char* const kOptionProperty = "sarnovalOption";

class OptionAccessible : public QAccessibleWidget {
public:
    explicit OptionAccessible(QPushButton* button)
        : QAccessibleWidget(button, QAccessible::RadioButton) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return Button()->text();
        case QAccessible::Accelerator:
            return Button()->shortcut().toString(QKeySequence::NativeText);
        default:
            return QAccessibleWidget::text(t);
        }
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = Button()->isChecked();
        return s;
    }
    // Qt's own button interface gives a checkable button's toggle no key.
    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString& name) override {
        if (name == toggleAction()) {
            Button()->click();
        }
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        if (name == toggleAction()) {
            return {text(QAccessible::Accelerator)};
        }
        return {};
    }

private:
    QPushButton* Button() const { return static_cast<QPushButton*>(widget()); }
};

QAccessibleInterface* OptionFactory(const QString&, QObject* object) {
    auto* button = qobject_cast<QPushButton*>(object);
    if (button && button->property(kOptionProperty).toBool()) {
        return new OptionAccessible(button);
    }
    return nullptr;
}

} // namespace

void MakeAccessibleOption(QPushButton* button) {
    static const bool installed = [] {
        QAccessible::installFactory(OptionFactory);
        return true;
    }();
    (void)installed;
    button->setProperty(kOptionProperty, true);
    // Qt may already hold a plain button's interface, made while the button was set up.
    QAccessibleInterface* earlier = QAccessible::queryAccessibleInterface(button);
    if (earlier && !dynamic_cast<OptionAccessible*>(earlier)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(earlier));
    }
}
