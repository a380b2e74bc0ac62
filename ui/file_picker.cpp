#include "ui/file_picker.h"

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
