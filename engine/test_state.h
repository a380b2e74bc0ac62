// State shared between the dialog's Test command and the worker threads, the
// launch rules, and the live counter loop.
#pragma once

#include "engine/window.h"

#include <atomic>
#include <cstdint>

namespace sarnoval {

// Bytes moved by the current test. 64-bit so files of 4 GiB and more count right.
extern std::atomic<std::uint64_t> g_bytesDone;
// A test thread owns the test slot. Claimed by Launch, released by the test as its last act.
extern std::atomic<bool> g_testRunning;
// The counter loop owns its slot. Claimed by Launch, released only by StopTests.
extern std::atomic<bool> g_counterLoopStarted;
// Where the tests read their settings and the counter loop writes. Replaced by every Test.
extern std::atomic<TargetWindow*> g_targetWindow;
extern std::atomic<ResultList*> g_resultList;

using TestProc = void (*)();

// Records where the next tests read and report. Neither may be null.
void RecordTargets(TargetWindow* window, ResultList* list);

// Starts the counter loop unless it runs, and the test unless one runs;
// nothing before RecordTargets, nor after StopTests until it is called again. Each
// slot is claimed atomically, so racing callers start at most one of each; a
// thread that cannot be started gives its slot back for the next caller.
void Launch(TestProc test);

// Asks the counter loop and any running test to stop at the next block,
// without waiting. Launch starts nothing new until StopTests has run.
void RequestStop();

// Asks the counter loop and any running test to stop at the next block and
// waits for both. A test stopped so appends no line and removes its temporary
// files. Afterwards Launch works again. Must not be called from a test thread.
void StopTests();

// True while StopTests is waiting: long loops poll it between blocks.
bool StopRequested();

// The counter loop's period while a test runs. Between tests nothing moves the
// count, so the loop shows the final value and then sleeps until the next Launch.
inline constexpr int kCounterPeriodMs = 10;

// Thread procedures; Launch starts them. Exposed for tests that drive them directly.
void CounterDisplayLoop();

} // namespace sarnoval
