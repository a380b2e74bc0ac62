#include "engine/test_state.h"

#include "res/resource.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace sarnoval {

std::atomic<std::uint64_t> g_bytesDone{0};
std::atomic<bool> g_testRunning{false};
std::atomic<bool> g_counterLoopStarted{false};
std::atomic<TargetWindow*> g_targetWindow{nullptr};
std::atomic<ResultList*> g_resultList{nullptr};

namespace {

// Guards the thread objects only; never held while a thread calls the window.
std::mutex g_threadsMutex;
std::thread g_counterThread;
std::thread g_testThread;

std::atomic<bool> g_stop{false};
// Lets StopTests wake the counter loop in its sleep instead of waiting it out.
std::mutex g_sleepMutex;
std::condition_variable g_sleepCv;
// Counts Launch calls, under g_sleepMutex: wakes the counter loop when it idles.
std::uint64_t g_launches = 0;

void RunTest(TestProc test) {
    try {
        test();
    } catch (...) {
        // Out of memory while building a line: the slot must still come free.
    }
    g_testRunning.store(false);
}

} // namespace

void RecordTargets(TargetWindow* window, ResultList* list) {
    g_resultList.store(list);
    g_targetWindow.store(window);
}

bool StopRequested() {
    return g_stop.load();
}

void CounterDisplayLoop() {
    g_counterLoopStarted.store(true);
    const auto show = [] {
        if (TargetWindow* window = g_targetWindow.load()) {
            window->SetDlgItemInt(IDC_KB_COUNT, g_bytesDone.load() >> 10);
        }
    };
    std::unique_lock lock(g_sleepMutex);
    std::uint64_t seenLaunches = g_launches;
    while (!g_sleepCv.wait_for(lock, std::chrono::milliseconds(kCounterPeriodMs),
                               [] { return g_stop.load(); })) {
        lock.unlock();
        show();
        lock.lock();
        if (!g_testRunning.load() && g_launches == seenLaunches) {
            // Only a test moves the count, and none runs: show its final value
            // and sleep until the next launch instead of waking 100 times a second.
            lock.unlock();
            show();
            lock.lock();
            g_sleepCv.wait(lock, [&] { return g_stop.load() || g_launches != seenLaunches; });
        }
        seenLaunches = g_launches;
    }
}

void Launch(TestProc test) {
    std::lock_guard guard(g_threadsMutex);
    if (g_stop.load()) {
        return; // closing: StopTests is yet to join what runs
    }
    if (!g_targetWindow.load() || !g_resultList.load()) {
        return; // stopped and not yet given a window: a test would have nowhere to read or report
    }

    bool idle = false;
    if (g_counterLoopStarted.compare_exchange_strong(idle, true)) {
        try {
            g_counterThread = std::thread(CounterDisplayLoop);
        } catch (const std::system_error&) {
            g_counterLoopStarted.store(false);
        }
    }

    idle = false;
    if (g_testRunning.compare_exchange_strong(idle, true)) {
        // The previous test has released its slot, so this join is immediate.
        if (g_testThread.joinable()) {
            g_testThread.join();
        }
        try {
            g_testThread = std::thread(RunTest, test);
        } catch (const std::system_error&) {
            g_testRunning.store(false);
        }
    }

    {
        std::lock_guard lock(g_sleepMutex);
        ++g_launches;
    }
    g_sleepCv.notify_all();
}

void RequestStop() {
    {
        std::lock_guard lock(g_sleepMutex);
        g_stop.store(true);
    }
    g_sleepCv.notify_all();
}

void StopTests() {
    std::lock_guard guard(g_threadsMutex);
    RequestStop();
    if (g_counterThread.joinable()) {
        g_counterThread.join();
    }
    if (g_testThread.joinable()) {
        g_testThread.join();
    }
    g_counterLoopStarted.store(false);
    g_targetWindow.store(nullptr);
    g_resultList.store(nullptr);
    g_stop.store(false);
}

} // namespace sarnoval
