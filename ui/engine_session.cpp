#include "ui/engine_session.h"

#include "engine/test_state.h"

EngineSession::EngineSession(QWidget* dialog, QtWindowAdapter::ControlLookup lookup, int listId)
    : m_adapter(dialog, std::move(lookup), listId) {}

EngineSession::~EngineSession() {
    BeginClosing();
    // The adapter is freed after this, once no worker can call it.
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
