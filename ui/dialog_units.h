// Dialog units to pixels, from the dialog font's metrics, the way the
// template's numbers were meant: a horizontal unit is a quarter of the
// average letter width, a vertical unit an eighth of the font's height.
#pragma once

#include "res/dialog_template.h"

#include <QFont>
#include <QMargins>
#include <QRect>
#include <QSize>

class DialogUnits {
public:
    DialogUnits(int horizontalBase, int verticalBase);
    static DialogUnits ForFont(const QFont& font);

    int HorizontalBase() const { return m_hBase; }
    int VerticalBase() const { return m_vBase; }

    // Rounded to nearest, halves away from zero.
    int X(int dlu) const;
    int Y(int dlu) const;
    // Each edge is converted, so controls that touch in units touch in pixels.
    QRect Rect(int x, int y, int w, int h) const;
    QRect Rect(const sarnoval::ControlTemplate& control) const;
    QSize Size(int w, int h) const;

private:
    int m_hBase;
    int m_vBase;
};

// Room a window frame takes beside the client area: a title bar and borders
// as most desktops draw them. The frame itself is known only once shown.
inline constexpr QMargins kWindowFrameAllowance{8, 40, 8, 8};

// The template's font where it is installed, else the system's sans-serif; at
// the template's point size, or the desktop's when that is larger, but no
// larger than lets the dialog fit in room (never below the template's size).
QFont DialogFont(const sarnoval::DialogTemplate& dialog, const QSize& room);
