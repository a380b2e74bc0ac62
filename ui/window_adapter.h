// The engine's window and list over the dialog. The engine calls these from
// its worker threads; every widget is touched on the GUI thread only. Reads
// and message boxes make the worker wait for the GUI thread, but never in a
// way the GUI thread could be waiting on in turn: once the dialog starts
// closing, every wait ends at once and nothing more reaches the widgets.
#pragma once

#include "engine/volume.h"
#include "engine/window.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QMessageBox;
class QWidget;

// The line as the list shows it: control characters and line breaks as '?'.
QString VisibleLine(const QString& line);

// What a result measured, one fact a line: the folder, its volume, the
// device, whether the transfers went past the cache, when, and the warnings.
QString DescribeResult(const sarnoval::ResultFigures& figures, const sarnoval::StorageFacts& facts,
                       const QDateTime& when);

// An engine message or detail as a message box shows it: in the user's
// language when it is one of the engine's fixed texts, else as the engine
// wrote it (local 8-bit).
QString EngineText(const std::string& text);

class QtWindowAdapter : public QObject, public sarnoval::TargetWindow, public sarnoval::ResultList {
    Q_OBJECT

public:
    // Finds the widget for a control id; it must outlive the adapter's use.
    using ControlLookup = std::function<QWidget*(int id)>;

    // dialog owns the message boxes; listId is the control that AddString fills.
    QtWindowAdapter(QWidget* dialog, ControlLookup lookup, int listId);
    ~QtWindowAdapter() override;

    // GUI thread. From here on no call waits for the GUI thread and nothing
    // reaches a widget; open message boxes are closed. Cannot be undone.
    void BeginClosing();
    // Any thread: the part of BeginClosing that touches no widget.
    void ReleaseWaiters();
    bool IsClosing() const { return m_closing.load(); }

    // Any thread. Where the drive letters lead from the next test on.
    void SetDriveLetters(sarnoval::DriveMap map);

    std::string GetDlgItemText(int id, std::size_t capacity) override;
    bool IsDlgButtonChecked(int id) override;
    void SetDlgItemInt(int id, std::uint64_t value) override;
    void MessageBox(const std::string& text, const sarnoval::FailureDetail& detail) override;
    void AddString(const std::string& line) override;
    // The line, with what it measured as its tooltip and accessible description.
    void AddResult(const std::string& line, const sarnoval::ResultFigures& figures) override;
    sarnoval::DriveMap DriveLetters() override;

signals:
    // Emitted by Post from any thread; runs RunQueued on the GUI thread.
    void WakeUp();

private:
    struct Pending;

    bool OnGuiThread() const;
    // Runs ask on the GUI thread and waits for it to call Pending::Finish,
    // or until closing. False when it ended by closing.
    bool WaitForGui(const std::shared_ptr<Pending>& pending,
                    std::function<void(const std::shared_ptr<Pending>&)> ask);
    // Queued to the GUI thread; dropped once closing. The work goes through
    // our own locked queue rather than inside a Qt event: ThreadSanitizer
    // cannot see the locks Qt's event queue takes, so handing data over in a
    // posted event would look like a race; our mutex makes the hand-over
    // visible, and Qt only carries the wake-up. The wake-up is a signal with a
    // queued connection made here on the GUI thread: a functor passed to
    // invokeMethod from a worker would itself be data handed over in an event.
    void Post(std::function<void()> work);
    void RunQueued();

    std::string ReadText(int id) const;
    bool ReadChecked(int id) const;
    QMessageBox* MakeBox(const std::string& text, const std::string& detail);
    void Add(const std::string& line, const QString& about);

    QPointer<QWidget> m_dialog;
    ControlLookup m_lookup;
    int m_listId;

    std::atomic<bool> m_closing{false};
    // The counter is only repainted when its value changes.
    static constexpr std::uint64_t kNothingShown = ~std::uint64_t{0};
    std::atomic<std::uint64_t> m_lastCounter{kNothingShown};

    std::mutex m_mutex;
    std::condition_variable m_answered;

    std::mutex m_lettersMutex;
    sarnoval::DriveMap m_letters = sarnoval::DefaultDriveMap(); // under m_lettersMutex

    std::mutex m_queueMutex;
    std::deque<std::function<void()>> m_queue;
};
