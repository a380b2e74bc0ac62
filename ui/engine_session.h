// The dialog's hold on the engine: the adapter the tests reach the widgets
// through. Closing is two steps so the window can go at once: BeginClosing
// asks the tests to stop without waiting; the destructor then waits for them
// and only after that frees the adapter they may still be calling.
#pragma once

#include "engine/test_state.h"
#include "ui/window_adapter.h"

class EngineSession {
public:
    EngineSession(QWidget* dialog, QtWindowAdapter::ControlLookup lookup, int listId);
    ~EngineSession();
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    // Where the next tests read and report, then the launch.
    void Launch(sarnoval::TestProc test);
    // Where the drive letters lead for the tests launched from now on.
    void SetDriveLetters(sarnoval::DriveMap map) { m_adapter.SetDriveLetters(std::move(map)); }

    // GUI thread. Lets go of any worker waiting on the GUI and asks the tests
    // to stop; returns at once. Nothing launches afterwards.
    void BeginClosing();
    bool IsClosing() const { return m_adapter.IsClosing(); }

    // Any thread but a test's: lets go of every worker waiting on a GUI
    // thread, then stops the tests and waits for them to remove their files.
    // For ends that close no window first: a lost display, a logoff.
    static void StopAll();

private:
    QtWindowAdapter m_adapter;
};
