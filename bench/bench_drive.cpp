// Accuracy of the drive write-and-read test: the engine against fio with
// direct I/O in the same folder, and what a cache-hitting measurement claims.
#include "bench_common.h"
#include "engine_runs.h"
#include "res/resource.h"

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

using namespace bench;

namespace {

struct Series {
    std::string label;
    std::string key;
    std::vector<double> mbps;
};

void AddRow(Table& table, const Series& s) {
    const Stats st = Summarize(s.mbps);
    table.Add({s.label, Fixed(st.median, 0), Fixed(st.min, 0), Fixed(st.max, 0)});
}

void Remove(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(
        argc, argv,
        "Runs the engine's drive test and fio's sequential write and read of the same size in "
        "the folder, interleaved, and prints medians in decimal MB/s and the ratios.");
    RequireFio();

    const int sizeId = options.tiny ? IDC_SIZE_1MB : IDC_SIZE_100MB;
    const std::uint64_t bytes = options.tiny ? 1000000 : 100000000;
    // fio moves whole 1 MiB blocks: the nearest whole number of MiB.
    const std::uint64_t fioMiB = std::max<std::uint64_t>(1, (bytes + (1 << 19)) >> 20);
    const fs::path fioFile = options.folder / "sarnoval-bench-fio.dat";
    const std::string size = "--size=" + std::to_string(fioMiB) + "M";
    const std::string file = "--filename=" + fioFile.string();
    const std::vector<std::string> directWrite{
        "--name=direct-write", file, "--rw=write", "--bs=1M", size, "--direct=1", "--end_fsync=1"};
    const std::vector<std::string> directRead{
        "--name=direct-read", file, "--rw=read", "--bs=1M", size, "--direct=1"};
    const std::vector<std::string> cachedWrite{
        "--name=cached-write", file, "--rw=write", "--bs=1M", size, "--direct=0", "--invalidate=0"};
    const std::vector<std::string> cachedRead{
        "--name=cached-read", file, "--rw=read", "--bs=1M", size, "--direct=0", "--invalidate=0"};
    // The engine's own method: buffered 200,000-byte blocks, writeback started
    // every 40 blocks (8 MB), fsync at the end, cache dropped before reading with
    // a sequential hint. Separates how it measures from how well it times.
    const std::vector<std::string> sameWrite{"--name=engine-method-write",
                                             file,
                                             "--rw=write",
                                             "--bs=200000",
                                             size,
                                             "--direct=0",
                                             "--sync_file_range=write:40",
                                             "--end_fsync=1"};
    const std::vector<std::string> sameRead{"--name=engine-method-read",
                                            file,
                                            "--rw=read",
                                            "--bs=200000",
                                            size,
                                            "--direct=0",
                                            "--invalidate=1"};
    std::string commands[6];
    std::vector<double> deleteMs;

    Series ours[2] = {{"ours, result line", "ours", {}}, {"ours, result line", "ours", {}}};
    Series outside[2] = {{"ours, timed outside the engine", "ours_outside", {}},
                         {"ours, timed outside the engine", "ours_outside", {}}};
    Series direct[2] = {{"fio --direct=1 --end_fsync=1", "fio", {}}, {"fio --direct=1", "fio", {}}};
    Series same[2] = {{"fio, the engine's method (see below)", "same", {}},
                      {"fio, the engine's method (see below)", "same", {}}};
    Series cached[2] = {{"fio buffered, no fsync (cache-hitting)", "cache", {}},
                        {"fio buffered, right after writing (cache-hitting)", "cache", {}}};
    std::vector<std::string> lines;
    std::vector<std::string> failures;

    for (int rep = 0; rep < options.reps; ++rep) {
        const EngineRun run = RunDriveTest(options.folder, sizeId, bytes);
        if (!run.ok) {
            failures.push_back("engine run " + std::to_string(rep + 1) + ": " + run.problem);
        } else {
            lines.push_back(run.line);
            ours[0].mbps.push_back(KbPerMsToMBps(run.lineWriteKbPerMs));
            ours[1].mbps.push_back(KbPerMsToMBps(run.lineReadKbPerMs));
            outside[0].mbps.push_back(static_cast<double>(bytes) / run.outsideWriteSec / kMB);
            outside[1].mbps.push_back(static_cast<double>(bytes) / run.outsideReadSec / kMB);
        }

        const FioRun w = RunFio(directWrite, options.folder, &commands[0]);
        const FioRun r = RunFio(directRead, options.folder, &commands[1]);
        Remove(fioFile);
        const FioRun sw = RunFio(sameWrite, options.folder, &commands[4]);
        const FioRun sr = RunFio(sameRead, options.folder, &commands[5]);
        // The engine's read interval ends after it deletes its file: time a delete.
        const Clock::time_point d0 = Clock::now();
        Remove(fioFile);
        deleteMs.push_back(Seconds(Clock::now() - d0) * 1000);
        const FioRun cw = RunFio(cachedWrite, options.folder, &commands[2]);
        const FioRun cr = RunFio(cachedRead, options.folder, &commands[3]);
        Remove(fioFile);
        const std::pair<const FioRun*, const char*> fioRuns[] = {
            {&w, "direct write"},        {&r, "direct read"},   {&sw, "engine-method write"},
            {&sr, "engine-method read"}, {&cw, "cached write"}, {&cr, "cached read"}};
        bool fioOk = true;
        for (const auto& [result, name] : fioRuns) {
            if (!result->ok) {
                failures.push_back("fio " + std::string(name) + " run " + std::to_string(rep + 1) +
                                   ": " + result->error);
                fioOk = false;
            }
        }
        if (fioOk) {
            direct[0].mbps.push_back(w.writeBytesPerSec / kMB);
            direct[1].mbps.push_back(r.readBytesPerSec / kMB);
            same[0].mbps.push_back(sw.writeBytesPerSec / kMB);
            same[1].mbps.push_back(sr.readBytesPerSec / kMB);
            cached[0].mbps.push_back(cw.writeBytesPerSec / kMB);
            cached[1].mbps.push_back(cr.readBytesPerSec / kMB);
        }
    }

    PrintHeader("Drive write-and-read test against fio, " + std::to_string(bytes) +
                    " bytes (fio: " + std::to_string(fioMiB) + " MiB)",
                DescribeMachine(options.folder), options);

    const char* phases[2] = {"Write", "Read"};
    const char* keys[2] = {"write", "read"};
    for (int p = 0; p < 2; ++p) {
        Table table(
            {std::string(phases[p]) + ", MB/s (1 MB = 1,000,000 bytes)", "median", "min", "max"});
        AddRow(table, ours[p]);
        AddRow(table, outside[p]);
        AddRow(table, direct[p]);
        AddRow(table, same[p]);
        AddRow(table, cached[p]);
        table.Print();
        std::cout << "\n";
    }

    Table ratios({"Ratio of medians", "value", "target"});
    bool figuresOk = failures.empty();
    for (int p = 0; p < 2; ++p) {
        const Stats o = Summarize(ours[p].mbps);
        const Stats x = Summarize(outside[p].mbps);
        const Stats d = Summarize(direct[p].mbps);
        const Stats c = Summarize(cached[p].mbps);
        const Stats m = Summarize(same[p].mbps);
        const double lineRatio = o.median / d.median;
        const double outsideRatio = x.median / d.median;
        const double cacheRatio = c.median / d.median;
        for (double v : {o.median, x.median, d.median, c.median, lineRatio}) {
            figuresOk = figuresOk && std::isfinite(v) && v > 0;
        }
        ratios.Add({std::string(phases[p]) + ": ours (result line) / fio direct",
                    Fixed(lineRatio, 3), "0.85 to 1.15"});
        ratios.Add({std::string(phases[p]) + ": ours (timed outside) / fio direct",
                    Fixed(outsideRatio, 3), ""});
        ratios.Add({std::string(phases[p]) + ": ours (result line) / fio, engine's method",
                    Fixed(o.median / m.median, 3), ""});
        ratios.Add(
            {std::string(phases[p]) + ": cache-hitting / fio direct", Fixed(cacheRatio, 2), ""});
        const std::string k = std::string("drive.") + keys[p] + ".";
        Figure(options, k + ours[p].key, o.median);
        Figure(options, k + outside[p].key, x.median);
        Figure(options, k + direct[p].key, d.median);
        Figure(options, k + cached[p].key, c.median);
        Figure(options, k + same[p].key, m.median);
        Figure(options, k + "ratio", lineRatio);
        Figure(options, k + "ratio_outside", outsideRatio);
        Figure(options, k + "cache_ratio", cacheRatio);
    }
    ratios.Print();

    std::cout << "\nHow the figures are taken:\n"
              << "- ours, result line: the line's \"MB/sec\" is kilobytes (1024 bytes) per "
                 "millisecond, so it is multiplied by 1.024 to give MB/s. The engine's write "
                 "interval ends after fsync; its read-back starts after the file's pages were "
                 "evicted (posix_fadvise DONTNEED). Its clock counts whole milliseconds.\n"
              << "- ours, timed outside: " << bytes
              << " bytes over the time between the engine's reads of the drive field around "
                 "each phase (microsecond clock); the span also holds open, close, eviction, "
                 "rename and deletes. The line instead divides by whole milliseconds plus one, "
                 "which understates the speed of a phase lasting only a few milliseconds.\n"
              << "- fio reports whole-millisecond runtimes too. Commands (plus "
                 "--output-format=json):\n";
    for (const std::string& command : commands) {
        std::cout << "    " << command << "\n";
    }
    const Stats del = Summarize(deleteMs);
    std::cout << "- Deleting a file of this size here takes " << Fixed(del.median, 1)
              << " ms (median; min " << Fixed(del.min, 1) << ", max " << Fixed(del.max, 1)
              << "). The engine's read interval includes deleting its file, as the program "
                 "always has; fio's does not.\n";
    Figure(options, "drive.delete_ms", del.median);
    std::cout << "\nEngine result lines:\n";
    for (const std::string& line : lines) {
        std::cout << "    " << line << "\n";
    }
    Figure(options, "drive.bytes", static_cast<double>(bytes));
    Figure(options, "drive.reps", options.reps);

    if (failures.empty() && !figuresOk) {
        failures.push_back("a figure is missing or not a positive number");
    }
    return ReportFailures(std::move(failures));
}
