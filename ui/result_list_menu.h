// The results list's context menu: Copy puts every line on the clipboard,
// Save As… writes them to a text file. Ctrl+C in the dialog copies every line.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QListWidget;
class QMenu;
class QPoint;
class QWidget;

class ResultListMenu : public QObject {
    Q_OBJECT

public:
    // dialog owns the file dialog and the messages; both must outlive this.
    ResultListMenu(QListWidget* list, QWidget* dialog);

    // Every line in the list's order, each ended by a newline, as the engine wrote it.
    QByteArray AllLines() const;
    void CopyAll();
    // Asks for a file name without blocking, then saves.
    void SaveAs();
    // Replaces path atomically; a message over owner (the dialog when null)
    // tells why when it cannot.
    bool SaveTo(const QString& path, QWidget* owner = nullptr);

    QAction* CopyAction() const { return m_copy; }
    QAction* SaveAction() const { return m_save; }

private:
    // pos in the list's viewport.
    void Popup(const QPoint& pos);

    QListWidget* m_list;
    QWidget* m_dialog;
    QAction* m_copy;
    QAction* m_save;
    // The menu while it is open.
    QPointer<QMenu> m_menu;
};
