#include "ui/throughput_dlg.h"

#include "engine/drive_write_read.h"
#include "engine/file_read.h"
#include "engine/test_state.h"
#include "res/dialog_template.h"
#include "res/resource.h"
#include "ui/dialog_units.h"
#include "ui/drive_map_source.h"
#include "ui/file_picker.h"
#include "ui/message_box.h"
#include "ui/window_adapter.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShortcut>
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

// A push button inside a sunken edge, like a button with a client edge.
class ClientEdgeButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
        constexpr int kEdge = 2;
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.rect.adjust(kEdge, kEdge, -kEdge, -kEdge);
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
    MakeEngine();
    CreateControls();

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

bool CThroughputDlg::OnInitDialog() {
    qobject_cast<QLineEdit*>(Control(IDC_FILE_PATH))->setText(m_strFilePath);
    setWindowIcon(m_hIcon);
    qobject_cast<QPushButton*>(Control(IDC_MODE_FILE))->setChecked(true);
    qobject_cast<QPushButton*>(Control(IDC_SIZE_20MB))->setChecked(true);
    auto* drive = qobject_cast<QLineEdit*>(Control(IDC_DRIVE_LETTER));
    drive->setText(QStringLiteral("C"));
#ifndef Q_OS_WIN
    m_driveMap.Read([this](const sarnoval::DriveMap& map) { ShowDriveMap(map); });
#endif
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

void CThroughputDlg::ShowDriveMap(const sarnoval::DriveMap& map) {
    Control(IDC_DRIVE_LETTER)->setToolTip(DescribeDriveMap(map));
    sarnoval::SetDriveMap(map);
}

void CThroughputDlg::OnTest() {
    if (IsChecked(IDC_MODE_FILE)) {
        // Shown even while a test runs; the launch then starts nothing.
        // Closing closes the picker, and then no answer comes.
        m_picker.Open(this, [this](const QString& path) {
            m_strFilePath = path;
            qobject_cast<QLineEdit*>(Control(IDC_FILE_PATH))->setText(m_strFilePath);
            m_engine->Launch(sarnoval::FileReadTest);
        });
    }
    if (IsChecked(IDC_MODE_DRIVE)) {
#ifdef Q_OS_WIN
        m_engine->Launch(sarnoval::DriveWriteReadTest);
#else
        // A hung network mount must not hold the window: after a short wait
        // the test runs on the last map known.
        m_driveMap.Read([this](const sarnoval::DriveMap& map) {
            ShowDriveMap(map);
            m_engine->Launch(sarnoval::DriveWriteReadTest);
        });
#endif
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
    QDialog::showEvent(event);
}
