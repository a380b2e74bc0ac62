// The open-file dialog behind the Test command, behind one replaceable
// function so tests can answer it.
#pragma once

#include <QString>

#include <functional>

class QWidget;

using FilePicker = std::function<QString(QWidget* parent)>;

// An empty picker puts the default back.
void SetFilePicker(FilePicker picker);

// The chosen path, or "" when the user cancelled. GUI thread only.
QString PickFile(QWidget* parent);
