// The open-file dialog behind the Test command. It never blocks: the answer
// comes back through a callback, and closing the owner closes the picker.
#pragma once

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

// Qt's file dialogs keep their history where every Qt program keeps it (on
// Windows, the registry): what stood there is put back once dialog is gone.
void PutBackHistoryWhenGone(QFileDialog* dialog);

class FilePicker : public QObject {
    Q_OBJECT

public:
    // Answers at once instead of showing the dialog; for tests.
    using Answer = std::function<QString(QWidget* parent)>;
    using Chosen = std::function<void(const QString& path)>;

    using QObject::QObject;

    // An empty answer puts the real dialog back.
    void SetAnswer(Answer answer) { m_answer = std::move(answer); }

    // Asks for a file; chosen gets the path, or "" when the user cancelled.
    // While a picker is open, another request only raises it.
    void Open(QWidget* parent, Chosen chosen);
    // Closes an open picker; its request gets no answer.
    void Close();
    QFileDialog* Dialog() const { return m_dialog; }

private:
    Answer m_answer;
    QPointer<QFileDialog> m_dialog;
};
