#include "ui/result_list_menu.h"

#include "ui/file_picker.h"
#include "ui/message_box.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>

#include <functional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// The engine's own line when the item carries it; the text may show stand-ins.
QString LineOf(const QListWidgetItem* item) {
    const QVariant exact = item->data(Qt::UserRole);
    return exact.isValid() ? exact.toString() : item->text();
}

// The longest file name, in bytes, that folder takes; -1 when not known.
long MaxNameBytes(const QString& folder) {
#ifdef Q_OS_UNIX
    return ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
#else
    Q_UNUSED(folder);
    return -1;
#endif
}

// Qt's own file dialog reads double quotes in a name as a list of quoted
// names and keeps only those (say "hi".txt became hi.txt), and it greys out
// Save, without a word, for a name longer than the folder takes. A save takes
// one name: this dialog saves under the name as typed, in the folder shown,
// and keeps Save pressable so that a name that cannot be used gets a message.
// A desktop's native dialog has names of its own and is left to them.
class SaveDialog : public QFileDialog {
public:
    using Save = std::function<bool(const QString& path, QWidget* owner)>;

    SaveDialog(QWidget* parent, Save save)
        : QFileDialog(
              parent,
              //: Title of the file dialog that saves the results
              QCoreApplication::translate("ResultListMenu", "Save As"), QDir::homePath(),
              //: File types offered when saving; keep the patterns and ";;"
              QCoreApplication::translate("ResultListMenu", "Text files (*.txt);;All files (*)")),
          m_save(std::move(save)) {}

    void accept() override {
        if (!m_edit) {
            QFileDialog::accept();
            return;
        }
        QString typed = m_edit->text();
        if (typed.isEmpty()) {
            return;
        }
        if (typed == QStringLiteral("~") || typed.startsWith(QStringLiteral("~/"))) {
            typed = QDir::homePath() + typed.mid(1);
        }
        QString path = directory().absoluteFilePath(typed);
        if (QFileInfo(path).isDir()) {
            setDirectory(path);
            m_edit->clear();
            return;
        }
        if (!defaultSuffix().isEmpty() && !QFileInfo(path).fileName().contains(u'.')) {
            path += u'.' + defaultSuffix();
        }
        if (QFileInfo::exists(path) &&
            QMessageBox::warning(
                this, windowTitle(),
                //: %1 is a file name
                QCoreApplication::translate("ResultListMenu",
                                            "%1 already exists.\nDo you want to replace it?")
                    .arg(QFileInfo(path).fileName()),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
            return;
        }
        // Open until the file is written, so a name can be put right.
        if (m_save(path, this)) {
            QDialog::accept();
        }
    }

    // Qt's names for its dialog's name field and buttons, which no public API
    // reaches; the menu test fails, naming them, when a Qt renames them.
    static constexpr const char* kNameField = "fileNameEdit";
    static constexpr const char* kButtons = "buttonBox";

protected:
    void showEvent(QShowEvent* event) override {
        // Qt makes its widgets on the first show, and none for a native dialog.
        if (!m_edit) {
            m_edit = findChild<QLineEdit*>(QLatin1String(kNameField));
            auto* buttons = findChild<QDialogButtonBox*>(QLatin1String(kButtons));
            m_button = buttons ? buttons->button(QDialogButtonBox::Save) : nullptr;
            if (m_edit && m_button) {
                m_button->installEventFilter(this);
            } else {
                if (!findChildren<QWidget*>().isEmpty()) {
                    qWarning("Save As: Qt's file dialog has no %s or %s; names are read as "
                             "Qt reads them",
                             kNameField, kButtons);
                }
                m_edit = nullptr;
            }
        }
        QFileDialog::showEvent(event);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_button && event->type() == QEvent::EnabledChange &&
            !m_button->isEnabled() && !m_edit->text().isEmpty()) {
            m_button->setEnabled(true);
        }
        return QFileDialog::eventFilter(watched, event);
    }

private:
    Save m_save;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_button = nullptr;
};

} // namespace

ResultListMenu::ResultListMenu(QListWidget* list, QWidget* dialog)
    : QObject(list), m_list(list), m_dialog(dialog),
      //: Results list menu: copies every line to the clipboard. & marks the
      //: access key, which must differ from the other item's
      m_copy(new QAction(tr("&Copy"), this)),
      //: Results list menu: saves every line to a text file. & marks the
      //: access key, which must differ from the other item's
      m_save(new QAction(tr("&Save As\u2026"), this)) {
    m_copy->setShortcut(QKeySequence::Copy);
    // Ctrl+C anywhere in the dialog but a text field, the list included.
    m_copy->setShortcutContext(Qt::WindowShortcut);
    dialog->addAction(m_copy);
    connect(m_copy, &QAction::triggered, this, &ResultListMenu::CopyAll);
    connect(m_save, &QAction::triggered, this, &ResultListMenu::SaveAs);

    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &ResultListMenu::Popup);
    // Not every platform turns these keys into a context menu request.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto* shortcut = new QShortcut(keys, m_list);
        shortcut->setContext(Qt::WidgetShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            const QRect current = m_list->visualItemRect(m_list->currentItem());
            Popup(current.isValid() ? current.bottomLeft() : QPoint(0, 0));
        });
    }
}

QByteArray ResultListMenu::AllLines() const {
    QByteArray bytes;
    for (int i = 0; i < m_list->count(); ++i) {
        bytes += LineOf(m_list->item(i)).toLocal8Bit();
        bytes += '\n';
    }
    return bytes;
}

void ResultListMenu::CopyAll() {
    QGuiApplication::clipboard()->setText(QString::fromLocal8Bit(AllLines()));
}

void ResultListMenu::Popup(const QPoint& pos) {
    // X11 sends a context menu request for the Menu key as well as the key,
    // which the shortcut above also answers: one press, one menu.
    if (m_menu && m_menu->isVisible()) {
        return;
    }
    auto* menu = new QMenu(m_list);
    m_menu = menu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(m_copy);
    menu->addAction(m_save);
    menu->popup(m_list->viewport()->mapToGlobal(pos));
}

void ResultListMenu::SaveAs() {
    auto* picker = new SaveDialog(
        m_dialog, [this](const QString& path, QWidget* owner) { return SaveTo(path, owner); });
    PutBackHistoryWhenGone(picker);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    picker->setAcceptMode(QFileDialog::AcceptSave);
    picker->setDefaultSuffix(QStringLiteral("txt"));
    //: The file name first offered for the saved results
    picker->selectFile(tr("Sarnoval results.txt"));
    // A native dialog answers here; Qt's own saves before it closes.
    connect(picker, &QFileDialog::fileSelected, this,
            [this](const QString& path) { SaveTo(path); });
    picker->open();
}

bool ResultListMenu::SaveTo(const QString& path, QWidget* owner) {
    if (!owner) {
        owner = m_dialog;
    }
    const QFileInfo info(path);
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    const long most = MaxNameBytes(info.absolutePath());
    const qsizetype length = QFile::encodeName(info.fileName()).size();
    if (most > 0 && length > most) {
        //: %1 the file, %2 the length of its name in bytes, %3 its folder, %4 the most
        //: bytes a name may have there
        MakeMessageBox(owner, tr("Could not save the results to \"%1\".\n"
                                 "The name is too long: %2 bytes, and a file name "
                                 "in the folder \"%3\" can have at most %4.")
                                  .arg(QDir::toNativeSeparators(path))
                                  .arg(length)
                                  .arg(folder)
                                  .arg(most))
            ->open();
        return false;
    }
    // Written beside the target and renamed over it: a reader never sees half a file.
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        const QByteArray bytes = AllLines();
        ok = file.write(bytes) == bytes.size();
    }
    ok = ok && file.commit();
    if (!ok) {
        //: %1 the file, %2 its folder, %3 the system's reason
        MakeMessageBox(owner, tr("Could not save the results to \"%1\".\n"
                                 "Check that the folder \"%2\" exists and that "
                                 "you may write to it.\n\n(%3)")
                                  .arg(QDir::toNativeSeparators(path), folder, file.errorString()))
            ->open();
    }
    return ok;
}
