// A busy cursor over a window while a test runs, so a Test press that starts
// nothing is explained.
#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

class BusyCursor : public QObject {
    Q_OBJECT

public:
    explicit BusyCursor(QWidget* window);

    // Call after a launch: shows the busy cursor until the test slot is free.
    void WatchTest();
    bool IsShown() const { return m_timer.isActive(); }

private:
    void Check();

    QWidget* m_window;
    // Runs only while a test does, so an idle dialog stays idle.
    QTimer m_timer;
};
