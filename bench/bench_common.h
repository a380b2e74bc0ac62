// What the benchmark programs share: options, statistics, fio, sarnoval-cli,
// the file test on a headless window, and the figures handed to run_all.sh.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline constexpr double kMB = 1e6; // decimal megabyte

struct Options {
    fs::path folder;
    bool tiny = false;
    int reps = 5;
    fs::path out;           // figures.tsv and summary.md go here; empty for none
    double ceilingMBps = 0; // the rate run_all.sh --ceiling throttles the disk to; 0: none
    bool intervals =
        false; // bench_dialog: only the drive test's intervals, against the engine's alone
};
// Parses --folder DIR, --tiny, --reps N, --out DIR, --ceiling MBPS, --intervals;
// exits on bad input.
Options ParseOptions(int argc, char** argv);

struct Stats {
    double median = 0, min = 0, max = 0;
};
Stats Summarize(std::vector<double> values);
// Prints "label  median  min  max", scaled by 1/divisor; returns the unscaled median.
double PrintStats(const std::string& label, const std::vector<double>& values, int decimals,
                  double divisor = 1);
std::string Fixed(double value, int decimals);

// A figure for run_all.sh's chart and figures.tsv, returned with decimals as
// the summary shows it; one that is not a finite number of at least zero
// counts as a failure.
std::string Figure(const Options& options, const std::string& key, double value, int decimals = 4);
// A row of the summary table that run_all.sh puts in RESULTS.md and the README.
void SummaryRow(const Options& options, const std::vector<std::string>& cells);
void Fail(const std::string& problem);
// Prints the failures, if any; the program's exit status.
int Finish();

// fio's bandwidth in bytes per second for args (its own options); negative
// after a failure, which is recorded. cpuSeconds, if given, gets the CPU
// time fio reports for the job (user and system).
double Fio(const std::vector<std::string>& args, bool write, double* cpuSeconds = nullptr);

// Writes size bytes that do not compress, syncs them and drops them from the cache.
bool MakeDataFile(const fs::path& path, std::uint64_t size);

// CPU time this process has used, all threads.
double ProcessCpuSeconds();

// A field of a /proc status file in its own unit (kB for memory), 0 if absent.
std::uint64_t StatusField(const fs::path& status, const std::string& key);

struct EngineRun {
    bool ok = false;
    std::string line;
    double lineWriteMBps = 0, lineReadMBps = 0; // the line's "MB/sec" times 1.024
    double writeSec = 0, readSec = 0;           // the engine's own intervals (whole ms)
    std::uint64_t rssGrowKiB = 0; // in-process file test: peak resident memory over that before
};
// The program users run: sarnoval-cli --json, the drive test with folder as
// the drive's root, or the file test.
EngineRun CliDriveTest(const fs::path& folder, std::uint64_t bytes);
EngineRun CliFileTest(const fs::path& path, std::uint64_t bytes);
// The file test in this process, where the kernel's count of peak memory
// sees the engine's buffers alone, which no other program can measure.
EngineRun RunFileTest(const fs::path& path, std::uint64_t bytes);

// A test run in this process, timed at the engine's own clock readings: the
// steady clock and the test thread's CPU time just before each.
struct TracedRun {
    bool ok = false;
    std::vector<double> seconds;    // steady clock, from the first reading
    std::vector<double> cpuSeconds; // the test thread's CPU time, from the first reading
};
// The drive test (drive C mapped to folder; sizeId one of IDC_SIZE_*) or the
// file test of path.
TracedRun TracedDriveTest(const fs::path& folder, int sizeId);
TracedRun TracedFileTest(const fs::path& path);
// The drive test as the dialog starts it: run starts it, returns once it has
// ended, and says whether it gave a line.
TracedRun TracedDriveTestAsStarted(const std::function<bool()>& run);

} // namespace bench
