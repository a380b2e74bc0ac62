#include "ui/quit_signals.h"

#include <QDialog>
#include <QSocketNotifier>
#include <QWidget>

#include <atomic>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef Q_OS_UNIX

namespace {

// The handler may only write to a pipe; the notifier reads it on the GUI thread.
int g_pipe[2] = {-1, -1};

// Set once the window is closing. Lock-free, so the handler may use it.
std::atomic<int> g_closing{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnQuitSignal(int signal) {
    if (g_closing.exchange(1) != 0) {
        // Asked again while closing: whatever the close waits for, stop now.
        ::_exit(128 + signal);
    }
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

// Once the window is gone, a signal closes the next one again.
class QuitNotifier : public QSocketNotifier {
public:
    QuitNotifier(int fd, QObject* parent) : QSocketNotifier(fd, QSocketNotifier::Read, parent) {}
    ~QuitNotifier() override { g_closing.store(0); }
};

} // namespace

void CloseOnQuitSignals(QWidget* window) {
    if (g_pipe[0] < 0) {
        if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
    }
    auto* notifier = new QuitNotifier(g_pipe[0], window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char buffer[16];
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
        window->close();
    });
    if (auto* dialog = qobject_cast<QDialog*>(window)) {
        QObject::connect(dialog, &QDialog::finished, notifier, [] { g_closing.store(1); });
    }
    g_closing.store(0);
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

#elif defined(Q_OS_WIN)

#include "engine/windows_api.h"
#include "ui/engine_session.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>

namespace {

// Windows may end the process as soon as WM_ENDSESSION returns, so the test
// is stopped and its file removed before it does.
class EndSessionFilter : public QAbstractNativeEventFilter {
public:
    explicit EndSessionFilter(QWidget* window) : m_window(window) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        const auto* msg = static_cast<const MSG*>(message);
        if (type == "windows_generic_MSG" && msg->message == WM_ENDSESSION && msg->wParam) {
            EngineSession::StopAll();
            // Closed once Qt is done with the message: hiding the window inside
            // it crashed Qt's own handling, which follows (seen under Wine).
            if (m_window) {
                QMetaObject::invokeMethod(m_window, &QWidget::close, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
};

} // namespace

void CloseOnQuitSignals(QWidget* window) {
    auto* filter = new EndSessionFilter(window);
    QCoreApplication::instance()->installNativeEventFilter(filter);
    QObject::connect(window, &QObject::destroyed, QCoreApplication::instance(), [filter] {
        QCoreApplication::instance()->removeNativeEventFilter(filter);
        delete filter;
    });
}

#else

void CloseOnQuitSignals(QWidget*) {}

#endif
