// The dialog as built: controls, captions, defaults, layout, keyboard.
#include "ui_test_support.h"

#include "caption_fit.h"

#include "res/dialog_template.h"
#include "res/resource.h"
#include "ui/control_factory.h"
#include "ui/dialog_units.h"

#include <QButtonGroup>
#include <QDebug>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

using namespace ui_test;

namespace {

// What the dialog must show, written out here independently of the template.
struct ExpectedControl {
    int id;
    const char* kind; // Qt class the control must be
    const char* caption;
    int x, y, w, h;
    bool tabStop;
};

const ExpectedControl kExpected[] = {
    {IDC_TEST, "QPushButton", "Test", 1, 2, 40, 11, true},
    {IDC_CLEAR_TEXT, "QPushButton", "Clear Text", 43, 2, 40, 11, true},
    {IDC_KB_COUNT, "QLineEdit", "", 155, 2, 69, 12, true},
    {IDC_WEBSITE, "QPushButton", "Visit Company Website", 238, 2, 87, 16, true},
    {IDC_EMAIL, "QPushButton", "Email Quenvo", 327, 2, 87, 16, true},
    {IDC_HELP_BUTTON, "QPushButton", "\xc2\xbfHelp?", 421, 2, 45, 14, true},
    {IDC_MODE_FILE, "QPushButton", "A chosen file", 8, 27, 50, 10, false},
    {IDC_MODE_DRIVE, "QPushButton", "A drive", 66, 27, 38, 10, false},
    {IDC_SIZE_1MB, "QPushButton", "1 MB", 117, 27, 33, 10, false},
    {IDC_SIZE_5MB, "QPushButton", "5 MB", 154, 27, 33, 10, false},
    {IDC_SIZE_20MB, "QPushButton", "20 MB", 191, 27, 37, 10, false},
    {IDC_SIZE_100MB, "QPushButton", "100 MB", 232, 27, 41, 10, false},
    {IDC_FILE_PATH, "QLineEdit", "", 0, 43, 471, 12, true},
    {IDC_RESULTS, "QListWidget", "", 0, 65, 472, 136, true},
    {IDC_PROGRESS, "QProgressBar", "", 0, 58, 471, 6, false},
    {IDC_STATIC, "QLabel", "KB Read / Written:", 91, 2, 62, 8, false},
    {IDC_STATIC, "QGroupBox", "What to test", 3, 18, 106, 23, false},
    {IDC_STATIC, "QGroupBox", "\"A drive\" - Drive and File settings", 113, 18, 244, 23, false},
    {IDC_DRIVE_LETTER, "QLineEdit", "C", 344, 25, 10, 12, true},
    {IDC_STATIC, "QLabel", "Drive Letter to test:", 282, 27, 61, 8, false},
};
constexpr int kControlCount = 20;

const ExpectedControl& want(int index) {
    return kExpected[index];
}

// Pixels from dialog units, worked out here from the font in use.
QRect ExpectedRect(const QFont& font, int x, int y, int w, int h) {
    const QFontMetrics metrics(font);
    QString alphabet;
    for (char c = 'A'; c <= 'Z'; ++c) {
        alphabet += QChar::fromLatin1(c);
    }
    const int letters = metrics.horizontalAdvance(alphabet + alphabet.toLower());
    const double hBase = (letters + 26) / 52;
    const double vBase = metrics.height();
    auto px = [](int dlu, double base, int per) { return int(dlu * base / per + 0.5); };
    const int left = px(x, hBase, 4);
    const int top = px(y, vBase, 8);
    return QRect(QPoint(left, top), QPoint(px(x + w, hBase, 4) - 1, px(y + h, vBase, 8) - 1));
}

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

// The colour most pixels have: the background, not the caption or the edge.
QColor Background(const QImage& image) {
    QHash<QRgb, int> counts;
    QRgb most = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (++counts[image.pixel(x, y)] > counts[most]) {
                most = image.pixel(x, y);
            }
        }
    }
    return QColor(most);
}

} // namespace

class DialogLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<Sandbox>(); }
    void cleanup() {
        m_sandbox.reset();
        QVERIFY(EngineAtRest());
    }

    void defaultsAfterStart() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Sarnoval V1.1"));
        QVERIFY(Button(dlg, IDC_MODE_FILE)->isChecked());
        QVERIFY(!Button(dlg, IDC_MODE_DRIVE)->isChecked());
        for (int id : {IDC_SIZE_1MB, IDC_SIZE_5MB, IDC_SIZE_100MB}) {
            QVERIFY2(!Button(dlg, id)->isChecked(), qPrintable(QString::number(id)));
        }
        QVERIFY(Button(dlg, IDC_SIZE_20MB)->isChecked());
        QCOMPARE(Edit(dlg, IDC_DRIVE_LETTER)->text(), QStringLiteral("C"));
        QCOMPARE(Edit(dlg, IDC_FILE_PATH)->text(), QString());
        QCOMPARE(Edit(dlg, IDC_KB_COUNT)->text(), QString());
        QCOMPARE(dlg.m_strFilePath, QString());
        QCOMPARE(dlg.m_resultList->count(), 0);
        QCOMPARE(dlg.m_progressBar, dlg.Control(IDC_PROGRESS));
        QCOMPARE(dlg.m_resultList, dlg.Control(IDC_RESULTS));
        QVERIFY(dlg.m_progressBar->value() <= dlg.m_progressBar->minimum());
        QVERIFY(!dlg.m_progressBar->isTextVisible());
        QVERIFY(!dlg.m_hIcon.isNull());
        QVERIFY(!dlg.windowIcon().isNull());
        QVERIFY(dlg.OnInitDialog());
    }

    void controls_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < kControlCount; ++i) {
            QTest::addRow("%d %s", i, kExpected[i].caption) << i;
        }
    }
    void controls() {
        QFETCH(int, index);
        const ExpectedControl& want = kExpected[index];
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        QCOMPARE(int(dlg.TemplateWidgets().size()), kControlCount);
        QWidget* widget = dlg.TemplateWidgets()[index];
        QCOMPARE(widget->metaObject()->className(), want.kind);
        QCOMPARE(Caption(widget), QString::fromUtf8(want.caption));
        if (want.id != IDC_STATIC) {
            QCOMPARE(dlg.Control(want.id), widget);
        }
        // The template holds the same numbers that the dialog must show.
        const sarnoval::ControlTemplate& row = sarnoval::kMainDialog.controls[index];
        QCOMPARE(row.id, want.id);
        QCOMPARE(QRect(row.x, row.y, row.w, row.h), QRect(want.x, want.y, want.w, want.h));
        QCOMPARE(widget->geometry(), ExpectedRect(dlg.font(), want.x, want.y, want.w, want.h));
    }

    void controlKinds() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        auto* counter = Edit(dlg, IDC_KB_COUNT);
        QVERIFY(counter->isReadOnly());
        QVERIFY(counter->isEnabled());
        QVERIFY(counter->validator());
        QString digits = QStringLiteral("12a");
        int pos = 0;
        QCOMPARE(counter->validator()->validate(digits, pos), QValidator::Invalid);
        QVERIFY(!Edit(dlg, IDC_FILE_PATH)->isEnabled());
        QCOMPARE(Edit(dlg, IDC_DRIVE_LETTER)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QVERIFY(Button(dlg, IDC_TEST)->isDefault());
        for (int id : {IDC_CLEAR_TEXT, IDC_WEBSITE, IDC_EMAIL, IDC_HELP_BUTTON}) {
            QVERIFY(!Button(dlg, id)->isDefault());
            QVERIFY(!Button(dlg, id)->isCheckable());
        }
        for (int id = IDC_MODE_FILE; id <= IDC_SIZE_100MB; ++id) {
            QPushButton* option = Button(dlg, id);
            QVERIFY(option->isCheckable());
            QVERIFY(option->isFlat());
            QVERIFY(!option->autoDefault());
            QCOMPARE(option->focusPolicy(), Qt::NoFocus);
            QVERIFY(option->group());
            QVERIFY(option->group()->exclusive());
        }
        QCOMPARE(Button(dlg, IDC_MODE_FILE)->group(), Button(dlg, IDC_MODE_DRIVE)->group());
        QVERIFY(Button(dlg, IDC_MODE_DRIVE)->group() != Button(dlg, IDC_SIZE_1MB)->group());
        for (int id : {IDC_SIZE_5MB, IDC_SIZE_20MB, IDC_SIZE_100MB}) {
            QCOMPARE(Button(dlg, id)->group(), Button(dlg, IDC_SIZE_1MB)->group());
        }
        QCOMPARE(dlg.m_resultList->selectionMode(), QAbstractItemView::NoSelection);
        QCOMPARE(dlg.Control(IDC_STATIC), nullptr);
    }

    // Checking one option unchecks only the others of its own group.
    void optionGroups_data() {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<QList<int>>("checked");
        QTest::newRow("drive") << IDC_MODE_DRIVE << QList<int>{IDC_MODE_DRIVE, IDC_SIZE_20MB};
        QTest::newRow("file again") << IDC_MODE_FILE << QList<int>{IDC_MODE_FILE, IDC_SIZE_20MB};
        QTest::newRow("1 MB") << IDC_SIZE_1MB << QList<int>{IDC_MODE_FILE, IDC_SIZE_1MB};
        QTest::newRow("5 MB") << IDC_SIZE_5MB << QList<int>{IDC_MODE_FILE, IDC_SIZE_5MB};
        QTest::newRow("100 MB") << IDC_SIZE_100MB << QList<int>{IDC_MODE_FILE, IDC_SIZE_100MB};
    }
    void optionGroups() {
        QFETCH(int, clicked);
        QFETCH(QList<int>, checked);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(Button(dlg, clicked), Qt::LeftButton);
        for (int id = IDC_MODE_FILE; id <= IDC_SIZE_100MB; ++id) {
            QVERIFY2(Button(dlg, id)->isChecked() == checked.contains(id),
                     qPrintable(QString::number(id)));
        }
    }

    // A checked option stands out from an unchecked one, 3:1 at least, in
    // the style's own palette and in a dark one.
    void checkedContrast_data() {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << QApplication::style()->standardPalette();
        QPalette dark(QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
        QTest::newRow("dark") << dark;
    }
    void checkedContrast() {
        QFETCH(QPalette, palette);
        const QPalette before = QApplication::palette();
        QApplication::setPalette(palette);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QPushButton* option = Button(dlg, IDC_MODE_DRIVE);
        const auto background = [&] { return Background(dlg.grab(option->geometry()).toImage()); };
        const QColor unchecked = background();
        option->click();
        const QColor checked = background();
        QApplication::setPalette(before);
        QVERIFY2(Contrast(checked, unchecked) >= 3, qPrintable(checked.name() + unchecked.name()));
    }

    // The window shows inside its screen's free area wherever it was put;
    // one larger than the area keeps its top left, title bar and Test, on it.
    void onScreen_data() {
        QTest::addColumn<QPointF>("centre"); // in the free area, as parts of its size
        QTest::newRow("centred") << QPointF(0.5, 0.5);
        QTest::newRow("top left corner") << QPointF(0, 0);
        QTest::newRow("bottom right corner") << QPointF(1, 1);
    }
    void onScreen() {
        QFETCH(QPointF, centre);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        const QRect free = dlg.screen()->availableGeometry();
        dlg.move(free.topLeft() - dlg.rect().center() +
                 QPoint(int(centre.x() * free.width()), int(centre.y() * free.height())));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QRect outer = dlg.frameGeometry();
        QString where;
        QDebug(&where) << outer << "in" << free;
        QVERIFY2(free.contains(outer.topLeft()), qPrintable(where));
        QVERIFY2(outer.width() > free.width() || outer.right() <= free.right(), qPrintable(where));
        QVERIFY2(outer.height() > free.height() || outer.bottom() <= free.bottom(),
                 qPrintable(where));
    }

    void dialogFrame() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        const QRect client = ExpectedRect(dlg.font(), 0, 0, 472, 201);
        QCOMPARE(dlg.size(), client.size());
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        const Qt::WindowFlags flags = dlg.windowFlags();
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(dlg.parentWidget() == nullptr); // a window of its own, on the task bar
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.size(), client.size());
        // Qt scales logical pixels: the picture has the same layout at any scale.
        const QPixmap picture = dlg.grab();
        QCOMPARE(picture.deviceIndependentSize().toSize(), client.size());
    }

    // Every control inside the dialog; none overlapping another, except the
    // group boxes around their own controls.
    void geometryNoOverlap() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        const QRect client = dlg.rect();
        const auto& widgets = dlg.TemplateWidgets();
        const std::map<QString, std::set<int>> nested = {
            {QStringLiteral("What to test"), {IDC_MODE_FILE, IDC_MODE_DRIVE}},
            {QStringLiteral("\"A drive\" - Drive and File settings"),
             {IDC_SIZE_1MB, IDC_SIZE_5MB, IDC_SIZE_20MB, IDC_SIZE_100MB, IDC_DRIVE_LETTER,
              IDC_STATIC}},
        };
        for (int i = 0; i < kControlCount; ++i) {
            const QRect a = widgets[i]->geometry();
            QVERIFY2(client.contains(a), qPrintable(widgets[i]->objectName()));
            QVERIFY(!a.isEmpty());
            for (int j = i + 1; j < kControlCount; ++j) {
                const QRect b = widgets[j]->geometry();
                if (!a.intersects(b)) {
                    continue;
                }
                const ExpectedControl* outer =
                    qobject_cast<QGroupBox*>(widgets[i]) ? &kExpected[i] : &kExpected[j];
                const ExpectedControl* inner =
                    outer == &kExpected[i] ? &kExpected[j] : &kExpected[i];
                const QRect outerRect = outer == &kExpected[i] ? a : b;
                const QRect innerRect = outer == &kExpected[i] ? b : a;
                const auto allowed = nested.find(QString::fromUtf8(outer->caption));
                const QString pair = QStringLiteral("%1 overlaps %2").arg(i).arg(j);
                QVERIFY2(allowed != nested.end(), qPrintable(pair));
                QVERIFY2(allowed->second.count(inner->id), qPrintable(pair));
                QVERIFY2(outerRect.contains(innerRect), qPrintable(pair));
            }
        }
        // The group boxes lie under the controls they frame, so clicks reach them.
        for (QWidget* widget : widgets) {
            if (qobject_cast<QGroupBox*>(widget)) {
                QVERIFY(widget->testAttribute(Qt::WA_TransparentForMouseEvents));
            }
        }
    }

    void dialogUnits_data() {
        QTest::addColumn<int>("hBase");
        QTest::addColumn<int>("vBase");
        QTest::addColumn<QRect>("units");
        QTest::addColumn<QRect>("pixels");
        // The template font's bases on its own platform: 6 and 13.
        QTest::newRow("dialog") << 6 << 13 << QRect(0, 0, 472, 201) << QRect(0, 0, 708, 327);
        QTest::newRow("test button") << 6 << 13 << QRect(1, 2, 40, 11) << QRect(2, 3, 60, 18);
        QTest::newRow("drive field") << 6 << 13 << QRect(344, 25, 10, 12) << QRect(516, 41, 15, 19);
        QTest::newRow("progress") << 6 << 13 << QRect(0, 58, 471, 6) << QRect(0, 94, 707, 10);
        // Halves round up: 2 x 14 / 8 = 3.5 and 2 x 7 / 4 = 3.5.
        QTest::newRow("halves") << 7 << 14 << QRect(1, 2, 1, 1) << QRect(2, 4, 2, 1);
    }
    void dialogUnits() {
        QFETCH(int, hBase);
        QFETCH(int, vBase);
        QFETCH(QRect, units);
        QFETCH(QRect, pixels);
        const DialogUnits du(hBase, vBase);
        QCOMPARE(du.Rect(units.x(), units.y(), units.width(), units.height()), pixels);
    }

    // The template's 8 pt, or the desktop's font when that is larger, but at
    // most the largest size at which the fixed dialog and a frame fit the
    // screen's free area (ctest runs this on small screens too); the dialog
    // units and so the whole layout follow the font.
    void dialogFont_data() {
        QTest::addColumn<qreal>("desktop");
        QTest::newRow("smaller") << 6.0;
        QTest::newRow("same") << 8.0;
        QTest::newRow("12 pt") << 12.0;
        QTest::newRow("14 pt") << 14.0;
        QTest::newRow("20 pt") << 20.0;
    }
    void dialogFont() {
        QFETCH(qreal, desktop);
        DesktopFont font(desktop);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        const QSize room = dlg.screen()->availableGeometry().size().shrunkBy(kWindowFrameAllowance);
        const auto fits = [&](qreal points) {
            QFont other = dlg.font();
            other.setPointSizeF(points);
            const QSize size = ExpectedRect(other, 0, 0, 472, 201).size();
            return size.width() <= room.width() && size.height() <= room.height();
        };
        const qreal used = dlg.font().pointSizeF();
        const qreal wanted = qMax(desktop, 8.0);
        QVERIFY2(used >= 8.0 && used <= wanted, qPrintable(QString::number(used)));
        QVERIFY2(used == 8.0 || fits(used), qPrintable(QString::number(used)));
        QVERIFY2(used == wanted || !fits(used + 0.5), qPrintable(QString::number(used)));
        const QFontMetrics metrics(dlg.font());
        const DialogUnits units = DialogUnits::ForFont(dlg.font());
        QCOMPARE(units.VerticalBase(), metrics.height());
        QVERIFY(units.HorizontalBase() > 0);
        QCOMPARE(dlg.size(), ExpectedRect(dlg.font(), 0, 0, 472, 201).size());
    }

    // On Windows the dialog is set in the face of the application's font,
    // which the application takes from the system's message font (its size
    // is the desktop's, as dialogFont checks).
    void windowsMessageFont() {
#ifndef Q_OS_WIN
        QSKIP("Windows only: elsewhere the template's face where it is installed");
#endif
        QFont message = QApplication::font();
        message.setFamily(QStringLiteral("Courier New"));
        const QFont saved = QApplication::font();
        QApplication::setFont(message);
        CThroughputDlg dlg;
        QApplication::setFont(saved);
        QCOMPARE(dlg.font().family(), message.family());
    }

    // Every caption fits its control: at the template's 8 pt and at 1.5 and
    // 2 times that (ctest runs this again with Qt scaling the screen).
    void captionsFit_data() {
        QTest::addColumn<qreal>("desktop");
        QTest::newRow("1x") << 8.0;
        QTest::newRow("1.5x") << 12.0;
        QTest::newRow("2x") << 16.0;
    }
    void captionsFit() {
        QFETCH(qreal, desktop);
        DesktopFont font(desktop);
        CThroughputDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (int i = 0; i < kControlCount; ++i) {
            QWidget* widget = dlg.TemplateWidgets()[i];
            if (want(i).id == IDC_DRIVE_LETTER) {
                // The widest capital, the cursor and its gap fit where the
                // field draws its text, so the letter never scrolls out of sight.
                auto* edit = qobject_cast<QLineEdit*>(widget);
                QStyleOptionFrame option;
                option.initFrom(edit);
                option.lineWidth =
                    edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
                QRect line = edit->style()
                                 ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                                 .marginsRemoved(edit->textMargins())
                                 .adjusted(kLineEditMargin, 0, -kLineEditMargin, 0);
                const int needed = QFontMetrics(edit->font()).horizontalAdvance(QLatin1Char('W')) +
                                   1 + edit->style()->pixelMetric(QStyle::PM_TextCursorWidth);
                QVERIFY2(
                    needed <= line.width(),
                    qPrintable(QStringLiteral("W needs %1 in %2").arg(needed).arg(line.width())));
                continue;
            }
            const QString fault = CaptionFault(widget, sarnoval::kMainDialog.controls[i]);
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
    }

    // Tab visits the tab stops in template order, skipping options and the
    // disabled path field, and comes back round.
    void tabOrder() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QTRY_COMPARE(QApplication::focusWidget(), dlg.Control(IDC_TEST));
        const int order[] = {IDC_CLEAR_TEXT,  IDC_KB_COUNT, IDC_WEBSITE,      IDC_EMAIL,
                             IDC_HELP_BUTTON, IDC_RESULTS,  IDC_DRIVE_LETTER, IDC_TEST};
        for (int id : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), dlg.Control(id));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), dlg.Control(IDC_DRIVE_LETTER));
    }

    void upperCase_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("lower") << "d"
                               << "D";
        QTest::newRow("upper") << "E"
                               << "E";
        QTest::newRow("refused after one") << "fgh"
                                           << "F";
        QTest::newRow("digit") << "1"
                               << "1";
    }
    void upperCase() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QLineEdit* drive = Edit(dlg, IDC_DRIVE_LETTER);
        drive->setFocus();
        drive->selectAll();
        QTest::keyClick(drive, Qt::Key_Backspace);
        QCOMPARE(drive->text(), QString());
        QTest::keyClicks(drive, typed);
        QCOMPARE(drive->text(), shown);
    }

    // Enter runs Test from any control but another push button; Escape ends the dialog.
    void keys_data() {
        QTest::addColumn<int>("focus");
        QTest::newRow("test") << IDC_TEST;
        QTest::newRow("drive field") << IDC_DRIVE_LETTER;
        QTest::newRow("results") << IDC_RESULTS;
        QTest::newRow("counter") << IDC_KB_COUNT;
    }
    void keys() {
        QFETCH(int, focus);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        int picks = 0;
        QVERIFY(ShowCountingPicks(dlg, picks));
        dlg.Control(focus)->setFocus();
        QTest::keyClick(dlg.Control(focus), Qt::Key_Return);
        QCOMPARE(picks, 1);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        QSignalSpy rejected(&dlg, &QDialog::rejected);
        QTest::keyClick(dlg.Control(focus), Qt::Key_Escape);
        QCOMPARE(rejected.count(), 1);
        QVERIFY(!dlg.isVisible());
        // Asked to stop; cleanup sees it at rest once the dialog is gone.
        QVERIFY(sarnoval::StopRequested());
    }

    void resultsScrolling() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QListWidget* list = dlg.m_resultList;
        list->addItem(QStringLiteral("short"));
        QTest::qWait(1);
        QVERIFY(!list->verticalScrollBar()->isVisible());
        list->addItem(QString(2000, QLatin1Char('w'))); // far wider than the list
        for (int i = 0; i < 50; ++i) {
            list->addItem(QStringLiteral("line %1").arg(i));
        }
        QTRY_VERIFY(list->verticalScrollBar()->isVisible());
        QVERIFY(!list->horizontalScrollBar()->isVisible());
        QCOMPARE(list->item(1)->text().size(), 2000); // cut on screen, whole in the list
    }

    // The drive field's tooltip shows the drive map, C first.
    void driveTooltip() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        const QString tip = dlg.Control(IDC_DRIVE_LETTER)->toolTip();
        QCOMPARE(
            tip,
            QStringLiteral("C: %1\nD: %2").arg(m_sandbox->Folder('C'), m_sandbox->Folder('D')));
    }

private:
    std::unique_ptr<Sandbox> m_sandbox;
};

QTEST_MAIN(DialogLayoutTest)
#include "dialog_layout_test.moc"
