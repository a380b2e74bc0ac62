// The engine's own cost: CPU of the counter loop while no test runs, and the
// memory a test takes, which must not depend on the size of what it reads.
#include "bench_common.h"
#include "engine/test_state.h"
#include "res/resource.h"
#include "tests/support/headless_window.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace bench;

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    const auto window = options.tiny ? std::chrono::milliseconds(300) : std::chrono::seconds(2);

    // Idle with the counter loop started and resting between tests.
    sarnoval::HeadlessWindow idle;
    sarnoval::RecordTargets(&idle, &idle);
    sarnoval::Launch([] {}); // no test: only the counter loop starts
    for (int i = 0; i < 200 && sarnoval::g_testRunning.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::vector<double> cpu;
    for (int rep = 0; rep < options.reps; ++rep) {
        const double c0 = ProcessCpuSeconds();
        const Clock::time_point t0 = Clock::now();
        std::this_thread::sleep_for(window);
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        cpu.push_back((ProcessCpuSeconds() - c0) / wall * 100);
    }
    sarnoval::StopTests();
    if (idle.ShownValues(IDC_KB_COUNT).empty()) {
        Fail("the counter loop never showed a value: it did not run");
    }

    // Memory: a small real file and a huge sparse one.
    const std::uint64_t smallBytes = options.tiny ? 1000000 : 10000000;
    const std::uint64_t hugeBytes = options.tiny ? 1000000000ull : 10000000000ull;
    const fs::path small = options.folder / "sarnoval-bench-small.dat";
    const fs::path huge = options.folder / "sarnoval-bench-sparse.dat";
    std::error_code ec;
    fs::remove(huge, ec);
    std::ofstream{huge}.close();
    fs::resize_file(huge, hugeBytes, ec);
    if (!MakeDataFile(small, smallBytes) || ec) {
        Fail("could not make the data files in " + options.folder.string());
    }
    std::vector<double> growSmall, growHuge;
    for (int rep = 0; rep < options.reps && !ec; ++rep) {
        const EngineRun a = RunFileTest(small, smallBytes);
        const EngineRun b = RunFileTest(huge, hugeBytes);
        if (a.ok && b.ok) {
            growSmall.push_back(static_cast<double>(a.rssGrowKiB));
            growHuge.push_back(static_cast<double>(b.rssGrowKiB));
        }
    }
    fs::remove(small, ec);
    fs::remove(huge, ec);

    std::printf("The engine's own cost: CPU time over wall time while the main thread sleeps; "
                "growth is the kernel's peak (VmHWM, reset before each run) over the size "
                "before.\n\n%-58s %10s %10s %10s\n",
                "", "median", "min", "max");
    const double idleCpu =
        PrintStats("idle CPU, counter loop started, % of a core (" +
                       Fixed(std::chrono::duration<double>(window).count(), 1) + " s windows)",
                   cpu, 3);
    PrintStats("peak resident growth, KiB: file test, " + std::to_string(smallBytes) + " bytes",
               growSmall, 0);
    PrintStats("peak resident growth, KiB: file test, " + std::to_string(hugeBytes) +
                   " bytes sparse",
               growHuge, 0);
    const Stats small_ = Summarize(growSmall), huge_ = Summarize(growHuge);
    // A test's buffers are fixed: reading a thousand times more must not cost more memory.
    if (huge_.max > small_.max + 4096) {
        Fail("memory grows with the file: " + Fixed(huge_.max, 0) + " KiB against " +
             Fixed(small_.max, 0));
    }
    SummaryRow(options, {"Engine idle, counter loop started, % of a core",
                         Figure(options, "cost.idle_cpu_pct", idleCpu, 3), "", "", "near zero"});
    SummaryRow(options, {"Engine memory growth during a test: small file / " +
                             std::to_string(hugeBytes / 1000000000) + " GB sparse file, KiB",
                         Figure(options, "cost.grow_small_kib", small_.median, 0) + " / " +
                             Figure(options, "cost.grow_huge_kib", huge_.median, 0),
                         "", "", "constant"});
    return Finish();
}
