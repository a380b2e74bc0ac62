#include "ui/control_factory.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShortcutEvent>
#include <QStyleOption>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QValidator>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace {

// Letters become capitals as they are typed or pasted, one character for one.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (QChar& c : input) {
            c = c.toUpper();
        }
        return Acceptable;
    }
};

// A push button inside a sunken edge, like a button with a client edge.
class ClientEdgeButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        constexpr int edge = kClientEdgeWidth;
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.rect.adjust(edge, edge, -edge, -edge);
        painter.drawControl(QStyle::CE_PushButton, option);
        qDrawWinPanel(&painter, rect(), palette(), true);
    }
};

// An option whose key checks it at once. QAbstractButton answers its shortcut
// with animateClick(), which checks the button only when the animation ends,
// 100 ms later: an Enter typed meanwhile would run Test with the old option.
class OptionPushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Shortcut && !static_cast<QShortcutEvent*>(e)->isAmbiguous()) {
            click();
            return true;
        }
        return QPushButton::event(e);
    }
};

// WCAG's relative luminance and contrast ratio.
double Luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Mix(const QColor& from, const QColor& to, double share) {
    const auto mix = [share](double a, double b) { return a + (b - a) * share; };
    return QColor::fromRgbF(float(mix(from.redF(), to.redF())),
                            float(mix(from.greenF(), to.greenF())),
                            float(mix(from.blueF(), to.blueF())));
}

// A styled checked push button differs little from the window an unchecked
// flat one shows (1.15:1), too little to see which option is chosen. The
// highlight, darkened on a light window or lightened on a dark one, stands
// 4.5:1 from it: the 3:1 a state needs, with room for a tinted frame behind.
QColor CheckedFace(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    // Above this luminance black contrasts more with the window than white.
    const QColor away = Luminance(window) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    QColor face = palette.color(QPalette::Highlight);
    for (int step = 0; step < 40 && Contrast(face, window) < 4.5; ++step) {
        face = Mix(face, away, 0.1);
    }
    return face;
}

// The caption on that face: the palette's highlighted text where it reads
// well, else black or white, whichever reads better.
QColor CheckedText(const QPalette& palette, const QColor& face) {
    const QColor text = palette.color(QPalette::HighlightedText);
    if (Contrast(text, face) >= 4.5) {
        return text;
    }
    return Contrast(Qt::white, face) > Contrast(Qt::black, face) ? QColor(Qt::white)
                                                                 : QColor(Qt::black);
}

// The template's buttons are 10 and 11 units high, as tall as native buttons
// that draw the caption anywhere inside their edge. Styles keep a content
// margin of their own (Windows' theme, three pixels and more) that clips the
// caption top and bottom; here the caption has the whole button inside the
// frame, and is drawn there.
class TemplateButtonStyle : public QProxyStyle {
public:
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        if (element == SE_PushButtonContents) {
            const int edge = pixelMetric(PM_DefaultFrameWidth, option, widget);
            return option->rect.adjusted(edge, edge, -edge, -edge);
        }
        return QProxyStyle::subElementRect(element, option, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_PushButton || !button) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionButton label = *button;
        if (button->state & State_On) {
            // A checked option: pressed in, on a face of its own.
            const QColor face = CheckedFace(button->palette);
            painter->fillRect(button->rect, face);
            qDrawShadePanel(painter, button->rect, button->palette, true);
            label.palette.setColor(QPalette::ButtonText, CheckedText(button->palette, face));
        } else {
            drawControl(CE_PushButtonBevel, button, painter, widget);
        }
        label.rect = subElementRect(SE_PushButtonContents, button, widget);
        drawControl(CE_PushButtonLabel, &label, painter, widget);
        if (button->state & State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(*button);
            focus.rect = subElementRect(SE_PushButtonFocusRect, button, widget);
            drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
        }
    }
};

// One per dialog, owned by it; made on the first button.
QStyle* ButtonStyle(QWidget* dialog) {
    auto* style = dialog->findChild<TemplateButtonStyle*>(QString(), Qt::FindDirectChildrenOnly);
    if (!style) {
        style = new TemplateButtonStyle;
        style->setParent(dialog);
    }
    return style;
}

// In the user's language; the template holds the English.
QString Caption(const sarnoval::ControlTemplate& c) {
    return *c.caption ? QCoreApplication::translate("DialogTemplate", c.caption) : QString();
}

} // namespace

QWidget* ControlFactory::Make(const sarnoval::ControlTemplate& c) {
    switch (c.kind) {
    case sarnoval::ControlKind::PushButton:
    case sarnoval::ControlKind::DefPushButton:
        return PushButton(c);
    case sarnoval::ControlKind::RadioButton:
        return OptionButton(c);
    case sarnoval::ControlKind::Edit:
        return Edit(c);
    case sarnoval::ControlKind::ListBox:
        return ListBox();
    case sarnoval::ControlKind::Progress:
        return Progress();
    case sarnoval::ControlKind::Static:
        return Label(c);
    case sarnoval::ControlKind::GroupBox:
        return GroupBox(c);
    }
    return nullptr;
}

QWidget* ControlFactory::PushButton(const sarnoval::ControlTemplate& c) {
    auto* button = (c.styles & sarnoval::kClientEdge) ? new ClientEdgeButton(Caption(c), m_dialog)
                                                      : new QPushButton(Caption(c), m_dialog);
    button->setStyle(ButtonStyle(m_dialog));
    button->setAutoDefault(true);
    button->setDefault(c.kind == sarnoval::ControlKind::DefPushButton);
    return button;
}

QWidget* ControlFactory::OptionButton(const sarnoval::ControlTemplate& c) {
    auto* button = new OptionPushButton(Caption(c), m_dialog);
    button->setStyle(ButtonStyle(m_dialog));
    button->setCheckable(true);
    button->setFlat(c.styles & sarnoval::kFlat);
    // Enter must still reach Test after an option is clicked.
    button->setAutoDefault(false);
    if (!m_group || (c.styles & sarnoval::kGroup)) {
        m_group = new QButtonGroup(m_dialog);
        m_group->setExclusive(true);
    }
    m_group->addButton(button, c.id);
    return button;
}

QWidget* ControlFactory::Edit(const sarnoval::ControlTemplate& c) {
    auto* edit = new QLineEdit(Caption(c), m_dialog);
    edit->setReadOnly(c.styles & sarnoval::kReadOnly);
    edit->setEnabled(!(c.styles & sarnoval::kDisabled));
    edit->setFrame(c.styles & sarnoval::kBorder);
    if (c.styles & sarnoval::kNumber) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    if (c.styles & sarnoval::kUpperCase) {
        edit->setValidator(new UpperCaseValidator(edit));
    }
    if (c.styles & sarnoval::kCentre) {
        edit->setAlignment(Qt::AlignCenter);
    }
    if (!(c.styles & sarnoval::kAutoHScroll)) {
        // The field is as wide as one capital letter and does not scroll.
        // Line edits keep a margin inside the frame that a native edit does
        // not have; in ten units it would push the letter out of sight.
        edit->setMaxLength(1);
        edit->setTextMargins(-kLineEditMargin, 0, -kLineEditMargin, 0);
    }
    return edit;
}

QWidget* ControlFactory::ListBox() {
    auto* list = new QListWidget(m_dialog);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setSortingEnabled(false);
    list->setUniformItemSizes(true);
    list->setWordWrap(false);
    list->setTextElideMode(Qt::ElideNone);
    // No horizontal extent is ever set: long lines are cut at the edge.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

QWidget* ControlFactory::Progress() {
    auto* bar = new QProgressBar(m_dialog);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QWidget* ControlFactory::Label(const sarnoval::ControlTemplate& c) {
    auto* label = new QLabel(Caption(c), m_dialog);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QWidget* ControlFactory::GroupBox(const sarnoval::ControlTemplate& c) {
    auto* box = new QGroupBox(Caption(c), m_dialog);
    // A frame drawn around sibling controls: below them, and not in the way of clicks.
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    return box;
}
