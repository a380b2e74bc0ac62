#include "ui/throughput_dlg.h"

#include "engine/drive_write_read.h"
#include "engine/file_read.h"
#include "engine/test_state.h"
#include "res/dialog_template.h"
#include "res/resource.h"
#include "ui/busy_cursor.h"
#include "ui/control_factory.h"
#include "ui/dialog_units.h"
#include "ui/drive_map_source.h"
#include "ui/file_picker.h"
#include "ui/message_box.h"
#include "ui/option_accessible.h"
#include "ui/result_list_menu.h"
#include "ui/window_adapter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QUrl>

namespace {

// Marked here, translated when shown.
//: The help box. "A chosen file" and "A drive" quote the two options' captions.
const char* const kHelpText =
    QT_TRANSLATE_NOOP("CThroughputDlg", "To use this program:\n"
                                        "\n"
                                        "For \"A chosen file\":\n"
                                        "Pick the file you would like to read by clicking test\n"
                                        " Note: A file of large size should be chosen for most\n"
                                        " accurate results.\n"
                                        "\n"
                                        "For \"A drive\":\n"
                                        "Choose the drive letter to test,\n"
                                        "choose the size of file to write/read.\n"
                                        " Note: A large size should be chosen for most\n"
                                        " accurate results.\n"
                                        "\n"
                                        "What does this program do / what is it for?:\n"
                                        "\n"
                                        "This program is to test how fast your computer can\n"
                                        " access a certain file, or write/read from a drive\n"
                                        "It can be usefull in determining:\n"
                                        "\n"
                                        "1. The speed of a drive.\n"
                                        "2. The speed of a network connection to a drive.\n"
                                        "3. The speed of a CDROM.\n"
                                        "\n"
                                        "If you still do not understand how to use this program,\n"
                                        " then it is probably not for you.");

QIcon ApplicationIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/sarnoval/icons/sarnoval-%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

} // namespace

CThroughputDlg::CThroughputDlg(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_hIcon(ApplicationIcon()) {
    MakeEngine();
    CreateControls();
    FitCaptions();
    SetUpAccessibility();
    SetUpOptionShortcuts();
    m_resultMenu = new ResultListMenu(m_resultList, this);
    m_busyCursor = new BusyCursor(this);

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &CThroughputDlg::OnHelpButton);

    OnInitDialog();
}

void CThroughputDlg::MakeEngine() {
    m_engine.reset();
    m_engine.emplace(
        this, [this](int id) { return Control(id); }, IDC_RESULTS);
}

void CThroughputDlg::CreateControls() {
    const sarnoval::DialogTemplate& dialog = sarnoval::kMainDialog;
    setWindowTitle(QString::fromUtf8(dialog.caption));
    setFont(
        DialogFont(dialog, screen()->availableGeometry().size().shrunkBy(kWindowFrameAllowance)));
    const DialogUnits units = DialogUnits::ForFont(font());
    setFixedSize(units.Size(dialog.w, dialog.h));
    setSizeGripEnabled(false);

    ControlFactory factory(this);
    for (const sarnoval::ControlTemplate& c : dialog.controls) {
        QWidget* widget = factory.Make(c);
        widget->setObjectName(QString::fromUtf8(c.name));
        widget->setGeometry(units.Rect(c));
        widget->setFocusPolicy((c.styles & sarnoval::kTabStop) ? Qt::StrongFocus : Qt::NoFocus);
        if (c.kind == sarnoval::ControlKind::GroupBox) {
            widget->lower();
        }
        if (c.id != IDC_STATIC) {
            m_controls.insert(c.id, widget);
        }
        m_templateWidgets.push_back(widget);
    }

    m_resultList = ListBox(IDC_RESULTS);
    m_progressBar = qobject_cast<QProgressBar*>(Control(IDC_PROGRESS));

    connect(Button(IDC_TEST), &QPushButton::clicked, this, &CThroughputDlg::OnTest);
    connect(Button(IDC_CLEAR_TEXT), &QPushButton::clicked, this, &CThroughputDlg::OnClearText);
    connect(Button(IDC_WEBSITE), &QPushButton::clicked, this, &CThroughputDlg::OnVisitWebsite);
    connect(Button(IDC_EMAIL), &QPushButton::clicked, this, &CThroughputDlg::OnEmail);
    connect(Button(IDC_HELP_BUTTON), &QPushButton::clicked, this, &CThroughputDlg::OnHelpButton);
}

// A screen reader names the controls that have no caption of their own, and
// reads the two labels with the fields they stand beside.
void CThroughputDlg::SetUpAccessibility() {
    const struct {
        int id;
        const char* name;
        const char* description;
    } kAccessible[] = {
        //: Screen reader's name for the kilobyte counter
        {IDC_KB_COUNT, QT_TR_NOOP("KB Read / Written"),
         //: Screen reader's description of the kilobyte counter
         QT_TR_NOOP("Kilobytes moved by the running test")},
        //: Screen reader's name for the field that shows the picked file
        {IDC_FILE_PATH, QT_TR_NOOP("Chosen file"),
         //: Screen reader's description of the field that shows the picked file
         QT_TR_NOOP("The file that the file test reads")},
        //: Screen reader's name for the drive letter field
        {IDC_DRIVE_LETTER, QT_TR_NOOP("Drive Letter to test"),
         nullptr}, // described with the drive map
        //: Screen reader's name for the list of results
        {IDC_RESULTS, QT_TR_NOOP("Results"),
         //: Screen reader's description of the list of results
         QT_TR_NOOP("One line for each finished test")},
        //: Screen reader's name for the progress bar
        {IDC_PROGRESS, QT_TR_NOOP("Progress"), nullptr},
    };
    for (const auto& a : kAccessible) {
        Control(a.id)->setAccessibleName(tr(a.name));
        if (a.description) {
            Control(a.id)->setAccessibleDescription(tr(a.description));
        }
    }
    // Found by the template's caption, which stays English in any language.
    const sarnoval::DialogTemplate& dialog = sarnoval::kMainDialog;
    for (std::size_t i = 0; i < m_templateWidgets.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(m_templateWidgets[i]);
        if (!label) {
            continue;
        }
        const QString caption = QString::fromUtf8(dialog.controls[i].caption);
        if (caption == QStringLiteral("KB Read / Written:")) {
            label->setBuddy(Control(IDC_KB_COUNT));
        } else if (caption == QStringLiteral("Drive Letter to test:")) {
            label->setBuddy(Control(IDC_DRIVE_LETTER));
        }
    }
}

QKeySequence CThroughputDlg::OptionShortcut(int id) {
    // Alt and a character of the caption, as a mnemonic would be, but without
    // changing the caption: F(ile), D(rive), then each size's first digit that
    // is still free.
    switch (id) {
    case IDC_MODE_FILE:
        return QKeySequence(Qt::ALT | Qt::Key_F);
    case IDC_MODE_DRIVE:
        return QKeySequence(Qt::ALT | Qt::Key_D);
    case IDC_SIZE_1MB:
        return QKeySequence(Qt::ALT | Qt::Key_1);
    case IDC_SIZE_5MB:
        return QKeySequence(Qt::ALT | Qt::Key_5);
    case IDC_SIZE_20MB:
        return QKeySequence(Qt::ALT | Qt::Key_2);
    case IDC_SIZE_100MB:
        return QKeySequence(Qt::ALT | Qt::Key_0);
    default:
        return QKeySequence();
    }
}

// The option buttons take no focus and have no tab stop; each gets a shortcut,
// which a screen reader announces as the button's own.
void CThroughputDlg::SetUpOptionShortcuts() {
    for (int id = IDC_MODE_FILE; id <= IDC_SIZE_100MB; ++id) {
        auto* option = qobject_cast<QPushButton*>(Control(id));
        option->setShortcut(OptionShortcut(id));
        MakeAccessibleOption(option);
        connect(option, &QPushButton::clicked, this, &CThroughputDlg::OnOptionClicked);
    }
}

// An option cannot take the focus, so a command button that had it would
// keep Enter; as when an option takes the focus, Enter goes back to Test.
void CThroughputDlg::OnOptionClicked() {
    QWidget* focus = QApplication::focusWidget();
    if (focus != Control(IDC_TEST) && qobject_cast<QPushButton*>(focus) && isAncestorOf(focus)) {
        Control(IDC_TEST)->setFocus(Qt::OtherFocusReason);
    }
}

// Where the system font draws a caption wider than its control, the letters
// are set closer so it fits; the control keeps its place and size.
void CThroughputDlg::FitCaptions() {
    const sarnoval::DialogTemplate& dialog = sarnoval::kMainDialog;
    for (std::size_t i = 0; i < m_templateWidgets.size(); ++i) {
        QWidget* widget = m_templateWidgets[i];
        QString text;
        QRect room;
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.features =
                button->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
            if (dialog.controls[i].styles & sarnoval::kClientEdge) {
                option.rect.adjust(kClientEdgeWidth, kClientEdgeWidth, -kClientEdgeWidth,
                                   -kClientEdgeWidth);
            }
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            text = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            room = label->contentsRect();
            text = label->text();
        } else {
            continue;
        }
        QFont font = widget->font();
        for (int spacing = 99; spacing >= 80; --spacing) {
            const QFontMetrics metrics(font);
            if (qMax(metrics.horizontalAdvance(text), metrics.size(0, text).width()) <=
                room.width()) {
                break;
            }
            font.setLetterSpacing(QFont::PercentageSpacing, spacing);
        }
        if (font != widget->font()) {
            widget->setFont(font);
        }
    }
}

bool CThroughputDlg::OnInitDialog() {
    Edit(IDC_FILE_PATH)->setText(m_strFilePath);
    setWindowIcon(m_hIcon);
    Button(IDC_MODE_FILE)->setChecked(true);
    Button(IDC_SIZE_20MB)->setChecked(true);
    auto* drive = Edit(IDC_DRIVE_LETTER);
    drive->setText(QStringLiteral("C"));
    m_driveMap.Read([this](const sarnoval::DriveMap& map) { ShowDriveMap(map); });
    Control(IDC_TEST)->setFocus();
    return true;
}

QWidget* CThroughputDlg::Control(int id) const {
    return m_controls.value(id, nullptr);
}

// The template fixes each id's kind; a wrong one is a programming error.
template <typename T> T* CThroughputDlg::ControlAs(int id) const {
    auto* control = qobject_cast<T*>(Control(id));
    Q_ASSERT_X(control, "CThroughputDlg", "control of another kind");
    return control;
}

QPushButton* CThroughputDlg::Button(int id) const {
    return ControlAs<QPushButton>(id);
}

QLineEdit* CThroughputDlg::Edit(int id) const {
    return ControlAs<QLineEdit>(id);
}

QListWidget* CThroughputDlg::ListBox(int id) const {
    return ControlAs<QListWidget>(id);
}

bool CThroughputDlg::IsChecked(int id) const {
    const auto* button = qobject_cast<const QPushButton*>(Control(id));
    return button && button->isChecked();
}

// An empty map (Windows' own drives) needs no description.
void CThroughputDlg::ShowDriveMap(const sarnoval::DriveMap& map) {
    const QString described = DescribeDriveMap(map);
    //: Screen reader's description of the drive letter field; the list of
    //: drive letters and their folders follows on the next lines
    const QString heading = tr("The folder each drive letter stands for:");
    Control(IDC_DRIVE_LETTER)->setToolTip(described);
    Control(IDC_DRIVE_LETTER)
        ->setAccessibleDescription(described.isEmpty() ? QString()
                                                       : heading + QLatin1Char('\n') + described);
    m_engine->SetDriveLetters(map);
}

void CThroughputDlg::OnTest() {
    if (IsChecked(IDC_MODE_FILE)) {
        // Shown even while a test runs; the launch then starts nothing.
        // Closing closes the picker, and then no answer comes.
        m_picker.Open(this, [this](const QString& path) {
            // Qt's file dialog answers with '/' on every system.
            m_strFilePath = QDir::toNativeSeparators(path);
            Edit(IDC_FILE_PATH)->setText(m_strFilePath);
            m_engine->Launch(sarnoval::FileReadTest);
            m_busyCursor->WatchTest();
        });
    }
    if (IsChecked(IDC_MODE_DRIVE)) {
        // A hung network mount must not hold the window: after a short wait
        // the test runs on the last map known.
        m_driveMap.Read([this](const sarnoval::DriveMap& map) {
            ShowDriveMap(map);
            m_engine->Launch(sarnoval::DriveWriteReadTest);
            m_busyCursor->WatchTest();
        });
    }
}

void CThroughputDlg::OnClearText() {
    m_resultList->clear();
}

QUrl CThroughputDlg::WebsiteUrl() {
    return QUrl(QStringLiteral("https://www.quenvo.example/"));
}

QUrl CThroughputDlg::EmailUrl() {
    return QUrl(QStringLiteral("mailto:info@quenvo.example"));
}

void CThroughputDlg::OnVisitWebsite() {
    // No browser is not worth a message.
    QDesktopServices::openUrl(WebsiteUrl());
}

void CThroughputDlg::OnEmail() {
    QDesktopServices::openUrl(EmailUrl());
}

void CThroughputDlg::OnHelpButton() {
    MakeMessageBox(this, tr(kHelpText))->open();
}

void CThroughputDlg::done(int result) {
    m_picker.Close();
    m_driveMap.Cancel();
    m_engine->BeginClosing();
    // Hidden now; the wait for the test is left to the destructor or the next show.
    QDialog::done(result);
}

void CThroughputDlg::showEvent(QShowEvent* event) {
    if (m_engine->IsClosing()) {
        // Shown again after closing: the stopped test is waited for here.
        MakeEngine();
    }
    if (!event->spontaneous()) {
        KeepOnScreen();
    }
    QDialog::showEvent(event);
}

// Centred on a screen narrower than the window (a large scale), the window
// would start left of the screen, its title bar and Test out of reach.
void CThroughputDlg::KeepOnScreen() {
    const QRect outer = frameGeometry();
    QScreen* on = QGuiApplication::screenAt(outer.center());
    const QRect free = (on ? on : screen())->availableGeometry();
    // Right and bottom first: a window larger than the area keeps its top left.
    const QPoint place(qMax(free.left(), qMin(outer.left(), free.right() + 1 - outer.width())),
                       qMax(free.top(), qMin(outer.top(), free.bottom() + 1 - outer.height())));
    if (place != outer.topLeft()) {
        move(place);
    }
}
