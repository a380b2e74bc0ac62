#include "ui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QStringList>

namespace {

int MulDivRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

} // namespace

DialogUnits::DialogUnits(int horizontalBase, int verticalBase)
    : m_hBase(horizontalBase), m_vBase(verticalBase) {}

DialogUnits DialogUnits::ForFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The average of the 52 letters, rounded.
    return DialogUnits((letters + 26) / 52, metrics.height());
}

int DialogUnits::X(int dlu) const {
    return MulDivRounded(dlu, m_hBase, 4);
}

int DialogUnits::Y(int dlu) const {
    return MulDivRounded(dlu, m_vBase, 8);
}

QRect DialogUnits::Rect(int x, int y, int w, int h) const {
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + w) - left, Y(y + h) - top);
}

QRect DialogUnits::Rect(const sarnoval::ControlTemplate& control) const {
    return Rect(control.x, control.y, control.w, control.h);
}

QSize DialogUnits::Size(int w, int h) const {
    return QSize(X(w), Y(h));
}

QFont DialogFont(const sarnoval::DialogTemplate& dialog, const QSize& room) {
    QFont font;
#ifdef Q_OS_WIN
    // The application's font, which is Windows' message font: "MS Sans Serif"
    // is still there, but a bitmap font that does not scale smoothly.
    font = QGuiApplication::font();
#else
    const QString family = QString::fromUtf8(dialog.fontName);
    if (QFontDatabase::families().contains(family)) {
        font = QFont(family);
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    }
#endif
    // A desktop set to a larger font gets the dialog in that size; the units follow.
    const qreal least = dialog.pointSize;
    qreal points = qMax<qreal>(QGuiApplication::font().pointSizeF(), least);
    font.setPointSizeF(points);
    // The dialog cannot be resized, so on a small screen a large font would
    // put Test and Help out of reach: the largest size that fits instead.
    constexpr qreal kStep = 0.25;
    while (points > least) {
        const QSize size = DialogUnits::ForFont(font).Size(dialog.w, dialog.h);
        if (size.width() <= room.width() && size.height() <= room.height()) {
            break;
        }
        points = qMax(points - kStep, least);
        font.setPointSizeF(points);
    }
    return font;
}
