// The engine's own cost: CPU of the counter loop while no test runs, and the
// memory a test takes, which must not depend on the size of what it reads.
#include "bench_common.h"
#include "engine/test_state.h"
#include "engine_runs.h"
#include "res/resource.h"
#include "tests/support/headless_window.h"

#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Voluntary context switches of every thread but the main one: the loop's wake-ups.
std::uint64_t OtherThreadsWakeups() {
    std::uint64_t total = 0;
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/self/task", ec)) {
        if (task.path().filename() == self) {
            continue;
        }
        std::ifstream in(task.path() / "status");
        std::string key;
        while (in >> key) {
            if (key == "voluntary_ctxt_switches:") {
                std::uint64_t n = 0;
                in >> n;
                total += n;
                break;
            }
            in.ignore(4096, '\n');
        }
    }
    return total;
}

struct Window {
    double cpuPercent = 0;
    double wakeupsPerSec = 0;
};

Window Measure(std::chrono::milliseconds length) {
    const std::uint64_t w0 = OtherThreadsWakeups();
    const double c0 = ProcessCpuSeconds();
    const Clock::time_point t0 = Clock::now();
    std::this_thread::sleep_for(length);
    const double wall = Seconds(Clock::now() - t0);
    Window w;
    w.cpuPercent = (ProcessCpuSeconds() - c0) / wall * 100;
    w.wakeupsPerSec = static_cast<double>(OtherThreadsWakeups() - w0) / wall;
    return w;
}

void NoTest() {}

bool MakeSparseFile(const fs::path& path, std::uint64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    return ::close(fd) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(
        argc, argv,
        "Measures the counter loop's CPU while idle and a test's memory on a small file, "
        "on a large sparse file and in the drive test.");
    const auto window = options.tiny ? std::chrono::milliseconds(300) : std::chrono::seconds(2);
    std::vector<std::string> failures;

    // Idle: first with no engine thread at all, then with the counter loop started and resting
    // between tests.
    std::vector<double> baseCpu, loopCpu, loopWakeups;
    for (int rep = 0; rep < options.reps; ++rep) {
        baseCpu.push_back(Measure(window).cpuPercent);
    }
    sarnoval::HeadlessWindow idle;
    sarnoval::RecordTargets(&idle, &idle);
    sarnoval::Launch(NoTest);
    for (int i = 0; i < 200 && sarnoval::g_testRunning.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (int rep = 0; rep < options.reps; ++rep) {
        const Window w = Measure(window);
        loopCpu.push_back(w.cpuPercent);
        loopWakeups.push_back(w.wakeupsPerSec);
    }
    sarnoval::StopTests();
    if (idle.ShownValues(IDC_KB_COUNT).empty()) {
        failures.push_back("the counter loop never showed a value: it did not run");
    }

    // Memory: a small real file, a huge sparse one, and the drive test.
    const std::uint64_t smallBytes = options.tiny ? 1000000 : 10000000;
    const std::uint64_t hugeBytes = options.tiny ? 1000000000ull : 10000000000ull;
    const fs::path small = options.folder / "sarnoval-bench-small.dat";
    const fs::path huge = options.folder / "sarnoval-bench-sparse.dat";
    if (!MakeDataFile(small, smallBytes) || !MakeSparseFile(huge, hugeBytes)) {
        failures.push_back("could not make the data files in " + options.folder.string());
    }
    std::vector<double> growSmall, growHuge, growDrive, hugeSecs;
    std::uint64_t baseRss = 0;
    for (int rep = 0; rep < options.reps && failures.empty(); ++rep) {
        const EngineRun a = RunFileTest(small, smallBytes);
        const EngineRun b = RunFileTest(huge, hugeBytes);
        const EngineRun c =
            RunDriveTest(options.folder, options.tiny ? IDC_SIZE_1MB : IDC_SIZE_100MB,
                         options.tiny ? 1000000 : 100000000);
        for (const EngineRun* r : {&a, &b, &c}) {
            if (!r->ok) {
                failures.push_back("engine run: " + r->problem);
            }
        }
        if (a.ok && b.ok && c.ok) {
            baseRss = a.rssBeforeKiB;
            growSmall.push_back(static_cast<double>(a.rssPeakKiB) - a.rssBeforeKiB);
            growHuge.push_back(static_cast<double>(b.rssPeakKiB) - b.rssBeforeKiB);
            growDrive.push_back(static_cast<double>(c.rssPeakKiB) - c.rssBeforeKiB);
            hugeSecs.push_back(b.outsideReadSec);
        }
    }
    std::error_code ec;
    fs::remove(small, ec);
    fs::remove(huge, ec);

    PrintHeader("The engine's own cost", DescribeMachine(options.folder), options);
    const auto ms = std::chrono::duration<double, std::milli>(window).count();
    Table cpu({"Idle, " + Fixed(ms / 1000, 1) + " s windows", "median", "min", "max"});
    const auto row = [](Table& t, const std::string& label, const std::vector<double>& v,
                        int decimals) {
        const Stats s = Summarize(v);
        t.Add({label, Fixed(s.median, decimals), Fixed(s.min, decimals), Fixed(s.max, decimals)});
    };
    row(cpu, "process CPU, no engine thread (% of a core)", baseCpu, 3);
    row(cpu, "process CPU, counter loop started (% of a core)", loopCpu, 3);
    row(cpu, "counter loop wake-ups per second", loopWakeups, 1);
    cpu.Print();

    std::cout << "\n";
    Table mem({"Peak resident memory growth during a test, KiB", "median", "min", "max"});
    row(mem, "file test, " + std::to_string(smallBytes) + "-byte file", growSmall, 0);
    row(mem, "file test, " + std::to_string(hugeBytes) + "-byte sparse file", growHuge, 0);
    row(mem, "drive test, " + std::to_string(options.tiny ? 1 : 100) + " MB", growDrive, 0);
    mem.Print();
    const Stats small_ = Summarize(growSmall), huge_ = Summarize(growHuge),
                drive_ = Summarize(growDrive), loop = Summarize(loopCpu), base = Summarize(baseCpu),
                wake = Summarize(loopWakeups);
    std::cout << "\nResident memory before a test: " << baseRss << " KiB. Growth is the "
              << "kernel's peak (VmHWM, reset before each run) minus the size before; the "
              << "sparse file reads in " << Fixed(Summarize(hugeSecs).median, 2)
              << " s (median) without touching the disk.\n"
              << "Idle CPU is the whole process's CPU time over wall time while the main thread "
                 "sleeps; the loop's target is near zero.\n";

    // A test's buffers are fixed: reading a thousand times more must not cost more memory.
    constexpr double kSlackKiB = 4096;
    if (!growHuge.empty() && huge_.max > small_.max + kSlackKiB) {
        failures.push_back("memory grows with the file: " + Fixed(huge_.max, 0) +
                           " KiB for the sparse file against " + Fixed(small_.max, 0) +
                           " KiB for the small one");
    }

    Figure(options, "cost.idle_cpu_pct", loop.median);
    Figure(options, "cost.idle_cpu_max_pct", loop.max);
    Figure(options, "cost.base_cpu_pct", base.median);
    Figure(options, "cost.wakeups_per_s", wake.median);
    Figure(options, "cost.rss_base_kib", static_cast<double>(baseRss));
    Figure(options, "cost.grow_small_kib", small_.median);
    Figure(options, "cost.grow_huge_kib", huge_.median);
    Figure(options, "cost.grow_drive_kib", drive_.median);
    Figure(options, "cost.huge_bytes", static_cast<double>(hugeBytes));

    if (loopCpu.empty() || growHuge.empty() || !std::isfinite(loop.median) || loopWakeups.empty()) {
        failures.push_back("no figures");
    }
    return ReportFailures(std::move(failures));
}
