// Whether a control's caption fits it, as the dialog's tests judge it at any
// font and in any language.
#pragma once

#include "res/dialog_template.h"
#include "ui/control_factory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

namespace ui_test {

// The text a control shows: a button's, a field's, a label's or a frame's title.
inline QString Caption(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        return box->title();
    }
    return QString();
}

// Why the caption of a button, label or frame made from the template row does
// not fit it, in its own font; empty when it fits or there is none. Fields
// are not judged: their text scrolls.
inline QString CaptionFault(QWidget* widget, const sarnoval::ControlTemplate& row) {
    const QString text = Caption(widget);
    if (text.isEmpty() || qobject_cast<QLineEdit*>(widget)) {
        return QString();
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = text;
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                         QStyle::SC_GroupBoxLabel, box);
        if (box->rect().contains(title)) {
            return QString();
        }
        return QStringLiteral("%1: title %2 wide in a frame %3 wide")
            .arg(text)
            .arg(title.width())
            .arg(box->width());
    }
    QRect room;
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.features = button->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
        if (row.styles & sarnoval::kClientEdge) {
            // Inside the sunken edge.
            option.rect.adjust(kClientEdgeWidth, kClientEdgeWidth, -kClientEdgeWidth,
                               -kClientEdgeWidth);
        }
        room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    } else {
        room = widget->contentsRect();
    }
    const QFontMetrics metrics(widget->font());
    const int width = qMax(metrics.horizontalAdvance(text), metrics.size(0, text).width());
    if (width <= room.width() && metrics.height() <= room.height()) {
        return QString();
    }
    return QStringLiteral("%1: %2x%3 in %4x%5")
        .arg(text)
        .arg(width)
        .arg(metrics.height())
        .arg(room.width())
        .arg(room.height());
}

// The desktop's font for as long as it lives.
class DesktopFont {
public:
    explicit DesktopFont(qreal points) : m_saved(QApplication::font()) {
        QFont font = m_saved;
        font.setPointSizeF(points);
        QApplication::setFont(font);
    }
    ~DesktopFont() { QApplication::setFont(m_saved); }

private:
    QFont m_saved;
};

} // namespace ui_test
