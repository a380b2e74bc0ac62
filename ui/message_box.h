// The program's message boxes: owned by a window, the application's name as
// caption, the text as plain text, one OK button, gone once dismissed.
#pragma once

#include <QString>

class QMessageBox;
class QWidget;

QMessageBox* MakeMessageBox(QWidget* owner, const QString& text);
