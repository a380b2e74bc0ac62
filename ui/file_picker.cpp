#include "ui/file_picker.h"

#include <QList>
#include <QPair>
#include <QSettings>
#include <QVariant>

namespace {

// Qt's file dialog keeps its history and view where every Qt program keeps
// them. Elsewhere the program sends settings nowhere; on Windows they are the
// registry, which no settings path moves, so what stood there before the
// dialog opened is put back once it is gone.
using DialogSettings = QList<QPair<QString, QVariant>>;

DialogSettings ReadDialogSettings() {
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.beginGroup(QStringLiteral("FileDialog"));
    DialogSettings values;
    for (const QString& key : settings.allKeys()) {
        values.append({key, settings.value(key)});
    }
    return values;
}

void PutBackDialogSettings(const DialogSettings& values) {
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.beginGroup(QStringLiteral("FileDialog"));
    settings.remove(QString());
    for (const auto& [key, value] : values) {
        settings.setValue(key, value);
    }
}

} // namespace

void PutBackHistoryWhenGone(QFileDialog* dialog) {
    // Emitted after the dialog's destructor has saved its settings.
    QObject::connect(dialog, &QObject::destroyed, dialog,
                     [before = ReadDialogSettings()] { PutBackDialogSettings(before); });
}

void FilePicker::Open(QWidget* parent, Chosen chosen) {
    if (m_answer) {
        // A copy: the answer may replace itself.
        const Answer answer = m_answer;
        chosen(answer(parent));
        return;
    }
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    auto* dialog = new QFileDialog(parent);
    PutBackHistoryWhenGone(dialog);
    // An open dialog that also takes a name that does not exist: the file
    // test then reports that path as unreadable.
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
#ifndef Q_OS_WIN
    // Desktop-native open dialogs refuse names that do not exist.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
#endif
    connect(dialog, &QDialog::finished, this, [this, dialog, chosen = std::move(chosen)](int r) {
        QString path;
        if (r == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
            path = dialog->selectedFiles().first();
        }
        m_dialog = nullptr;
        dialog->deleteLater();
        chosen(path);
    });
    m_dialog = dialog;
    dialog->open();
}

void FilePicker::Close() {
    if (QFileDialog* dialog = m_dialog) {
        m_dialog = nullptr;
        disconnect(dialog, nullptr, this, nullptr);
        dialog->reject();
        dialog->deleteLater();
    }
}
