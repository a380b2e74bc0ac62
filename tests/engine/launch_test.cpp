#include "engine/file_read.h"
#include "engine_fixture.h"
#include "res/resource.h"

#include <atomic>

namespace sarnoval::testing {
namespace {

using LaunchTest = EngineTest;

// Sanitizer runtimes start a helper thread with the first thread created;
// make it exist before taking a baseline.
int BaselineThreadCount() {
    std::thread([] {}).join();
    std::this_thread::sleep_for(20ms);
    return ThreadCount();
}

// An exited thread leaves the count a moment after join returns.
int SettledThreadCount(int expected) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    int count = ThreadCount();
    while (count != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
        count = ThreadCount();
    }
    return count;
}

// A test procedure that holds its slot until released.
std::atomic<int> g_started{0};
std::atomic<bool> g_release{false};
void HeldTest() {
    g_started.fetch_add(1);
    while (!g_release.load() && !StopRequested()) {
        std::this_thread::sleep_for(1ms);
    }
}

TEST_F(LaunchTest, RacingLaunchesStartOneCounterLoopAndOneTest) {
    g_started = 0;
    g_release = false;
    const int before = BaselineThreadCount();
    std::atomic<bool> go{false};
    std::vector<std::thread> callers;
    for (int i = 0; i < 16; ++i) {
        callers.emplace_back([&] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            Launch(HeldTest);
        });
    }
    go = true;
    for (auto& caller : callers) {
        caller.join();
    }
    const auto deadline = std::chrono::steady_clock::now() + kReportWait;
    while (g_started.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(50ms); // room for a wrongly started second test to show
    EXPECT_EQ(g_started.load(), 1);
    EXPECT_EQ(SettledThreadCount(before + 2), before + 2); // one counter loop, one test
    EXPECT_TRUE(g_counterLoopStarted.load());

    g_release = true;
    while (g_testRunning.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    g_release = false;
    Launch(HeldTest); // the slot came free: a new test starts, the loop is not doubled
    while (g_started.load() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(g_started.load(), 2);
    EXPECT_EQ(SettledThreadCount(before + 2), before + 2);
    g_release = true;
}

TEST_F(LaunchTest, SecondLaunchDuringATestStartsNothingAndTheFirstLineArrives) {
    BlockingPipe pipe(dir_, "pipe");
    ASSERT_TRUE(pipe.Ready());
    const std::string fifo = pipe.Path().string();
    window_.SetText(IDC_FILE_PATH, fifo);
    Launch(FileReadTest);
    const auto deadline = std::chrono::steady_clock::now() + kReportWait;
    while (window_.TextReads(IDC_FILE_PATH) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    window_.SetText(IDC_FILE_PATH, (dir_ / "other.bin").string());
    Launch(FileReadTest); // ignored silently
    Launch(FileReadTest);
    ASSERT_TRUE(pipe.Write("abc", 3));
    pipe.CloseWriter();

    ASSERT_TRUE(window_.WaitForReports(1, kReportWait));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(window_.TextReads(IDC_FILE_PATH), 1);
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_EQ(window_.Lines()[0].rfind(fifo + ", ", 0), 0u) << window_.Lines()[0];
    EXPECT_TRUE(window_.Messages().empty());
}

TEST_F(LaunchTest, StopEndsCounterLoopAndTestPromptlyWithoutALine) {
    BlockingPipe endless(dir_, "endless"); // never ends by itself
    ASSERT_TRUE(endless.Ready());
    window_.SetText(IDC_FILE_PATH, endless.Path().string());
    endless.FeedForever(); // its thread is in the baseline
    const int before = BaselineThreadCount();
    Launch(FileReadTest);
    const auto deadline = std::chrono::steady_clock::now() + kReportWait;
    while (g_bytesDone.load() < 1000000 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_GE(g_bytesDone.load(), 1000000u);

    const auto start = std::chrono::steady_clock::now();
    StopTests();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(SettledThreadCount(before), before);
    EXPECT_FALSE(g_testRunning.load());
    EXPECT_FALSE(g_counterLoopStarted.load());
    EXPECT_EQ(g_targetWindow.load(), nullptr);
    EXPECT_TRUE(window_.Lines().empty());
    Launch(FileReadTest); // nowhere to read or report: nothing starts
    EXPECT_FALSE(g_testRunning.load());

    // Launch works again after a stop and a new RecordTargets.
    const fs::path path = MakeFile("again.bin", 10);
    window_.SetText(IDC_FILE_PATH, path.string());
    RecordTargets(&window_, &window_);
    RunAndWait(FileReadTest);
    EXPECT_EQ(window_.Lines().size(), 1u);
}

TEST_F(LaunchTest, CounterLoopShowsWhateverTheCountHolds) {
    g_started = 0;
    g_release = false;
    Launch(HeldTest);
    g_bytesDone = 20000000;
    const auto deadline = std::chrono::steady_clock::now() + kReportWait;
    while ((window_.ShownValues(IDC_KB_COUNT).empty() ||
            window_.ShownValues(IDC_KB_COUNT).back() != 19531) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(window_.ShownValues(IDC_KB_COUNT).back(), 19531u); // 20,000,000 / 1024, truncated
    g_release = true;
    g_bytesDone = 0;
}

TEST_F(LaunchTest, CounterLoopRestsBetweenTestsAndWakesForTheNext) {
    const fs::path path = MakeFile("small.bin", 300000);
    window_.SetText(IDC_FILE_PATH, path.string());
    RunAndWait(FileReadTest);
    const auto deadline = std::chrono::steady_clock::now() + kReportWait;
    while (window_.ShownValues(IDC_KB_COUNT).empty() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(50ms);
    const int calls = window_.SetCalls(IDC_KB_COUNT);
    std::this_thread::sleep_for(300ms); // 30 periods
    EXPECT_EQ(window_.SetCalls(IDC_KB_COUNT), calls);
    EXPECT_EQ(window_.ShownValues(IDC_KB_COUNT).back(), 0u);
    EXPECT_TRUE(g_counterLoopStarted.load());

    // The next test wakes it: the count shows again, in a new window too.
    HeadlessWindow next;
    g_started = 0;
    g_release = false;
    RecordTargets(&next, &next);
    Launch(HeldTest);
    g_bytesDone = 5 * 1024;
    while ((next.ShownValues(IDC_KB_COUNT).empty() || next.ShownValues(IDC_KB_COUNT).back() != 5) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(next.ShownValues(IDC_KB_COUNT).back(), 5u);
    g_release = true;
    g_bytesDone = 0;
    StopTests(); // before next goes
}

} // namespace
} // namespace sarnoval::testing
