#include "ui/file_picker.h"

#include <QFileDialog>

namespace {

// An open dialog that also takes a name that does not exist: the file test
// then reports that path as unreadable.
QString AskUser(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
#ifndef Q_OS_WIN
    // Desktop-native open dialogs refuse names that do not exist.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

FilePicker& Picker() {
    static FilePicker picker = AskUser;
    return picker;
}

} // namespace

void SetFilePicker(FilePicker picker) {
    Picker() = picker ? std::move(picker) : AskUser;
}

QString PickFile(QWidget* parent) {
    // A copy: the picker may replace itself while its dialog runs.
    const FilePicker picker = Picker();
    return picker(parent);
}
