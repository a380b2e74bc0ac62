#include "ui/result_list_menu.h"

#include "ui/message_box.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QShortcut>

namespace {

// The engine's own line when the item carries it; the text may show stand-ins.
QString LineOf(const QListWidgetItem* item) {
    const QVariant exact = item->data(Qt::UserRole);
    return exact.isValid() ? exact.toString() : item->text();
}

} // namespace

ResultListMenu::ResultListMenu(QListWidget* list, QWidget* dialog)
    : QObject(list), m_list(list), m_dialog(dialog),
      m_copy(new QAction(QStringLiteral("Copy"), this)),
      m_save(new QAction(QStringLiteral("Save As\u2026"), this)) {
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
    auto* menu = new QMenu(m_list);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(m_copy);
    menu->addAction(m_save);
    menu->popup(m_list->viewport()->mapToGlobal(pos));
}

void ResultListMenu::SaveAs() {
    auto* picker = new QFileDialog(m_dialog, QStringLiteral("Save As"), QDir::homePath(),
                                   QStringLiteral("Text files (*.txt);;All files (*)"));
    picker->setAttribute(Qt::WA_DeleteOnClose);
    picker->setAcceptMode(QFileDialog::AcceptSave);
    picker->setDefaultSuffix(QStringLiteral("txt"));
    picker->selectFile(QStringLiteral("Sarnoval results.txt"));
    connect(picker, &QFileDialog::fileSelected, this,
            [this](const QString& path) { SaveTo(path); });
    picker->open();
}

bool ResultListMenu::SaveTo(const QString& path) {
    // Written beside the target and renamed over it: a reader never sees half a file.
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        const QByteArray bytes = AllLines();
        ok = file.write(bytes) == bytes.size();
    }
    ok = ok && file.commit();
    if (!ok) {
        const QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
        MakeMessageBox(m_dialog,
                       QStringLiteral("Could not save the results to \"%1\".\n"
                                      "Check that the folder \"%2\" exists and that "
                                      "you may write to it.\n\n(%3)")
                           .arg(QDir::toNativeSeparators(path), folder, file.errorString()))
            ->open();
    }
    return ok;
}
