#include "ui/busy_cursor.h"

#include "engine/test_state.h"

#include <QWidget>

BusyCursor::BusyCursor(QWidget* window) : QObject(window), m_window(window) {
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, &BusyCursor::Check);
}

void BusyCursor::WatchTest() {
    if (!sarnoval::g_testRunning.load() || m_timer.isActive()) {
        return;
    }
    // Busy, not wait: the dialog still answers while the test runs.
    m_window->setCursor(Qt::BusyCursor);
    m_timer.start();
}

void BusyCursor::Check() {
    if (!sarnoval::g_testRunning.load()) {
        m_timer.stop();
        m_window->unsetCursor();
    }
}
