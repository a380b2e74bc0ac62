#include "ui/throughput_dlg.h"

#include "engine/drive_write_read.h"
#include "engine/file_read.h"
#include "engine/test_state.h"
#include "res/dialog_template.h"
#include "res/resource.h"
#include "ui/busy_cursor.h"
#include "ui/dialog_units.h"
#include "ui/drive_map_source.h"
#include "ui/file_picker.h"
#include "ui/message_box.h"
#include "ui/option_accessible.h"
#include "ui/result_list_menu.h"
#include "ui/window_adapter.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QUrl>
#include <QValidator>
#include <qdrawutil.h>

namespace {

const char* const kHelpText = "To use this program:\n"
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
                              " then it is probably not for you.";

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

// Drawn inside a sunken edge this wide.
constexpr int kClientEdge = 2;

// A push button inside a sunken edge, like a button with a client edge.
class ClientEdgeButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.rect.adjust(kClientEdge, kClientEdge, -kClientEdge, -kClientEdge);
        painter.drawControl(QStyle::CE_PushButton, option);
        qDrawWinPanel(&painter, rect(), palette(), true);
    }
};

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
    MakeAdapter();
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

CThroughputDlg::~CThroughputDlg() {
    StopWorkers();
    // Before the widgets it reads: no worker is left to call it.
    m_adapter.reset();
}

void CThroughputDlg::MakeAdapter() {
    m_adapter = std::make_unique<QtWindowAdapter>(
        this, [this](int id) { return Control(id); }, IDC_RESULTS);
}

void CThroughputDlg::CreateControls() {
    const sarnoval::DialogTemplate& dialog = sarnoval::kMainDialog;
    setWindowTitle(QString::fromUtf8(dialog.caption));
    setFont(DialogFont(dialog));
    const DialogUnits units = DialogUnits::ForFont(font());
    setFixedSize(units.Size(dialog.w, dialog.h));
    setSizeGripEnabled(false);

    QButtonGroup* group = nullptr;
    for (const sarnoval::ControlTemplate& c : dialog.controls) {
        const QString caption = QString::fromUtf8(c.caption);
        QWidget* widget = nullptr;
        switch (c.kind) {
        case sarnoval::ControlKind::PushButton:
        case sarnoval::ControlKind::DefPushButton: {
            auto* button = (c.styles & sarnoval::kClientEdge) ? new ClientEdgeButton(caption, this)
                                                              : new QPushButton(caption, this);
            button->setAutoDefault(true);
            button->setDefault(c.kind == sarnoval::ControlKind::DefPushButton);
            widget = button;
            break;
        }
        case sarnoval::ControlKind::RadioButton: {
            auto* button = new QPushButton(caption, this);
            button->setCheckable(true);
            button->setFlat(c.styles & sarnoval::kFlat);
            // Enter must still reach Test after an option is clicked.
            button->setAutoDefault(false);
            if (!group || (c.styles & sarnoval::kGroup)) {
                group = new QButtonGroup(this);
                group->setExclusive(true);
            }
            group->addButton(button, c.id);
            widget = button;
            break;
        }
        case sarnoval::ControlKind::Edit: {
            auto* edit = new QLineEdit(caption, this);
            edit->setReadOnly(c.styles & sarnoval::kReadOnly);
            edit->setEnabled(!(c.styles & sarnoval::kDisabled));
            edit->setFrame(c.styles & sarnoval::kBorder);
            if (c.styles & sarnoval::kNumber) {
                edit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]*")), edit));
            }
            if (c.styles & sarnoval::kUpperCase) {
                edit->setValidator(new UpperCaseValidator(edit));
            }
            if (c.styles & sarnoval::kCentre) {
                edit->setAlignment(Qt::AlignCenter);
            }
            if (!(c.styles & sarnoval::kAutoHScroll)) {
                // The field is as wide as one capital letter and does not scroll.
                edit->setMaxLength(1);
            }
            widget = edit;
            break;
        }
        case sarnoval::ControlKind::ListBox: {
            auto* list = new QListWidget(this);
            list->setSelectionMode(QAbstractItemView::NoSelection);
            list->setSortingEnabled(false);
            list->setUniformItemSizes(true);
            list->setWordWrap(false);
            list->setTextElideMode(Qt::ElideNone);
            // No horizontal extent is ever set: long lines are cut at the edge.
            list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            m_resultList = list;
            widget = list;
            break;
        }
        case sarnoval::ControlKind::Progress: {
            auto* bar = new QProgressBar(this);
            bar->setRange(0, 100);
            bar->setValue(0);
            bar->setTextVisible(false);
            m_progressBar = bar;
            widget = bar;
            break;
        }
        case sarnoval::ControlKind::Static: {
            auto* label = new QLabel(caption, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case sarnoval::ControlKind::GroupBox: {
            auto* box = new QGroupBox(caption, this);
            // A frame drawn around sibling controls: below them, and not in the way of clicks.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = box;
            break;
        }
        }
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

    connect(qobject_cast<QPushButton*>(Control(IDC_TEST)), &QPushButton::clicked, this,
            &CThroughputDlg::OnTest);
    connect(qobject_cast<QPushButton*>(Control(IDC_CLEAR_TEXT)), &QPushButton::clicked, this,
            &CThroughputDlg::OnClearText);
    connect(qobject_cast<QPushButton*>(Control(IDC_WEBSITE)), &QPushButton::clicked, this,
            &CThroughputDlg::OnVisitWebsite);
    connect(qobject_cast<QPushButton*>(Control(IDC_EMAIL)), &QPushButton::clicked, this,
            &CThroughputDlg::OnEmail);
    connect(qobject_cast<QPushButton*>(Control(IDC_HELP_BUTTON)), &QPushButton::clicked, this,
            &CThroughputDlg::OnHelpButton);
}

// A screen reader names the controls that have no caption of their own, and
// reads the two labels with the fields they stand beside.
void CThroughputDlg::SetUpAccessibility() {
    const struct {
        int id;
        const char* name;
        const char* description;
    } kAccessible[] = {
        {IDC_KB_COUNT, "KB Read / Written", "Kilobytes moved by the running test"},
        {IDC_FILE_PATH, "Chosen file", "The file that the file test reads"},
        {IDC_DRIVE_LETTER, "Drive Letter to test", nullptr}, // described with the drive map
        {IDC_RESULTS, "Results", "One line for each finished test"},
        {IDC_PROGRESS, "Progress", nullptr},
    };
    for (const auto& a : kAccessible) {
        Control(a.id)->setAccessibleName(QString::fromUtf8(a.name));
        if (a.description) {
            Control(a.id)->setAccessibleDescription(QString::fromUtf8(a.description));
        }
    }
    for (QWidget* widget : m_templateWidgets) {
        auto* label = qobject_cast<QLabel*>(widget);
        if (!label) {
            continue;
        }
        if (label->text() == QStringLiteral("KB Read / Written:")) {
            label->setBuddy(Control(IDC_KB_COUNT));
        } else if (label->text() == QStringLiteral("Drive Letter to test:")) {
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
                option.rect.adjust(kClientEdge, kClientEdge, -kClientEdge, -kClientEdge);
            }
            room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
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
    qobject_cast<QLineEdit*>(Control(IDC_FILE_PATH))->setText(m_strFilePath);
    setWindowIcon(m_hIcon);
    qobject_cast<QPushButton*>(Control(IDC_MODE_FILE))->setChecked(true);
    qobject_cast<QPushButton*>(Control(IDC_SIZE_20MB))->setChecked(true);
    auto* drive = qobject_cast<QLineEdit*>(Control(IDC_DRIVE_LETTER));
    drive->setText(QStringLiteral("C"));
    RefreshDriveMap();
    Control(IDC_TEST)->setFocus();
    return true;
}

QWidget* CThroughputDlg::Control(int id) const {
    return m_controls.value(id, nullptr);
}

bool CThroughputDlg::IsChecked(int id) const {
    const auto* button = qobject_cast<const QPushButton*>(Control(id));
    return button && button->isChecked();
}

void CThroughputDlg::RefreshDriveMap() {
#ifndef Q_OS_WIN
    const sarnoval::DriveMap map = ReadDriveMap();
    Control(IDC_DRIVE_LETTER)->setToolTip(DescribeDriveMap(map));
    Control(IDC_DRIVE_LETTER)
        ->setAccessibleDescription(QStringLiteral("The folder each drive letter stands for:\n") +
                                   DescribeDriveMap(map));
    sarnoval::SetDriveMap(map);
#endif
}

void CThroughputDlg::OnTest() {
    if (IsChecked(IDC_MODE_FILE)) {
        // Shown even while a test runs; the launch then starts nothing.
        QPointer<CThroughputDlg> self(this);
        const int closes = m_closeCount;
        const QString path = PickFile(this);
        if (!self || m_closeCount != closes) {
            return; // closed while the picker was open
        }
        m_strFilePath = path;
        qobject_cast<QLineEdit*>(Control(IDC_FILE_PATH))->setText(m_strFilePath);
        sarnoval::RecordTargets(m_adapter.get(), m_adapter.get());
        sarnoval::Launch(sarnoval::FileReadTest);
        m_busyCursor->WatchTest();
    }
    if (IsChecked(IDC_MODE_DRIVE)) {
        RefreshDriveMap();
        sarnoval::RecordTargets(m_adapter.get(), m_adapter.get());
        sarnoval::Launch(sarnoval::DriveWriteReadTest);
        m_busyCursor->WatchTest();
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
    MakeMessageBox(this, QString::fromUtf8(kHelpText))->open();
}

void CThroughputDlg::StopWorkers() {
    // The adapter first: a worker waiting on this thread must be let go
    // before this thread waits for the worker.
    m_adapter->BeginClosing();
    sarnoval::StopTests();
}

void CThroughputDlg::done(int result) {
    ++m_closeCount;
    StopWorkers();
    // Shown again, the dialog needs an adapter that is not closing.
    MakeAdapter();
    QDialog::done(result);
}
