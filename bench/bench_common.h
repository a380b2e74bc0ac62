// Shared pieces of the benchmark programs: options, the machine's description,
// statistics, running fio, and the plain tables they print.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
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
    fs::path figures;       // "key<TAB>value" lines for run_all.sh; empty for none
    double ceilingMBps = 0; // the rate run_all.sh --ceiling throttles the disk to; 0: none
};

// Parses --folder DIR, --tiny, --reps N, --figures FILE, --ceiling MBPS; exits on bad input.
Options ParseOptions(int argc, char** argv, const char* what);

struct Machine {
    std::string cpu;
    unsigned cores = 0;
    std::string kernel;
    std::string memory;
    std::string storage; // filesystem and device behind the folder
    std::string date;    // UTC
    std::string load;    // /proc/loadavg when described: others' work skews the figures
};
Machine DescribeMachine(const fs::path& folder);
void PrintHeader(const std::string& title, const Machine& machine, const Options& options);

struct Stats {
    double median = 0;
    double min = 0;
    double max = 0;
    std::size_t count = 0;
};
// Empty input gives count 0.
Stats Summarize(std::vector<double> values);

double Seconds(Clock::duration d);

// A run of fio; failed when fio could not run or reported an error.
struct FioRun {
    bool ok = false;
    std::string error;
    std::uint64_t readBytes = 0;
    double readBytesPerSec = 0;
    std::uint64_t writeBytes = 0;
    double writeBytesPerSec = 0;
};
// args are fio's own options; JSON output is added here. The command is
// echoed to commandOut when it is not null.
FioRun RunFio(const std::vector<std::string>& args, const fs::path& scratch,
              std::string* commandOut = nullptr);
// Exits with a clear message when fio cannot be run.
void RequireFio();

// Writes size bytes that do not compress, syncs them and drops them from the cache.
bool MakeDataFile(const fs::path& path, std::uint64_t size);
// Lets the system forget a file's cached pages.
void DropCache(const fs::path& path);

// Plain column table; the first column is left-aligned, the rest right-aligned.
class Table {
public:
    explicit Table(std::vector<std::string> header);
    void Add(std::vector<std::string> row);
    void Print() const;

private:
    std::vector<std::vector<std::string>> rows_;
};

std::string Fixed(double value, int decimals);

// Appends "key<TAB>value" to the figures file (if any).
void Figure(const Options& options, const std::string& key, double value);
void Figure(const Options& options, const std::string& key, const std::string& value);

// The number after the first occurrence of marker, e.g. "(" in "(123 MB/sec)".
std::optional<std::uint64_t> NumberAfter(const std::string& text, const std::string& marker);

// Resident memory of this process, in KiB, from /proc/self/status (0 if unknown).
std::uint64_t ResidentKiB();

// The program's exit status: prints the failures, if any, and returns 1 for them.
int ReportFailures(std::vector<std::string> failures);

} // namespace bench
