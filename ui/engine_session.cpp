#include "ui/engine_session.h"

#include "engine/test_state.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

std::mutex g_sessionsMutex;
std::vector<EngineSession*> g_sessions; // under g_sessionsMutex

} // namespace

EngineSession::EngineSession(QWidget* dialog, QtWindowAdapter::ControlLookup lookup, int listId)
    : m_adapter(dialog, std::move(lookup), listId) {
    // Qt's xcb plugin, and Xlib, call exit() when the X connection breaks. Set
    // after the engine's statics exist, this runs before their destructors,
    // which would meet a running test's thread and abort with its file left.
    static const bool stopsAtExit = std::atexit([] { StopAll(); }) == 0;
    Q_UNUSED(stopsAtExit);
    std::lock_guard lock(g_sessionsMutex);
    g_sessions.push_back(this);
}

EngineSession::~EngineSession() {
    BeginClosing();
    {
        std::lock_guard lock(g_sessionsMutex);
        g_sessions.erase(std::find(g_sessions.begin(), g_sessions.end(), this));
    }
    // The adapter is freed after this, once no worker can call it.
    sarnoval::StopTests();
}

void EngineSession::StopAll() {
    {
        std::lock_guard lock(g_sessionsMutex);
        for (EngineSession* session : g_sessions) {
            session->m_adapter.ReleaseWaiters();
        }
    }
    sarnoval::StopTests();
}

void EngineSession::Launch(sarnoval::TestProc test) {
    if (IsClosing()) {
        return;
    }
    sarnoval::RecordTargets(&m_adapter, &m_adapter);
    sarnoval::Launch(test);
}

void EngineSession::BeginClosing() {
    // The adapter first: a worker waiting on the GUI thread must be let go
    // before anyone waits for the worker.
    m_adapter.BeginClosing();
    sarnoval::RequestStop();
}
