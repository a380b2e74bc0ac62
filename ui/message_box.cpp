#include "ui/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

QMessageBox* MakeMessageBox(QWidget* owner, const QString& text) {
    // No caption of our own: the application's name, which is the program file's.
    auto* box = new QMessageBox(QMessageBox::NoIcon, QCoreApplication::applicationName(), text,
                                QMessageBox::Ok, owner);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}
