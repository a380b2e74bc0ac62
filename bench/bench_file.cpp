// Accuracy and overhead of the file read test: the engine against fio reading
// the same file in the same 100,000-byte blocks after dropping its cache.
#include "bench_common.h"
#include "engine_runs.h"

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

using namespace bench;

int main(int argc, char** argv) {
    const Options options = ParseOptions(
        argc, argv,
        "Reads a file with the engine's file test and with fio (--bs=100000 --direct=0 "
        "--invalidate=1), interleaved, and prints medians in decimal MB/s and the ratio.");
    RequireFio();

    const std::uint64_t bytes = options.tiny ? 20000000 : 1000000000;
    const fs::path file = options.folder / "sarnoval-bench-file.dat";
    if (!MakeDataFile(file, bytes)) {
        std::cerr << "could not write " << file << "\n";
        std::error_code ec;
        fs::remove(file, ec);
        return 1;
    }
    const std::string size = "--size=" + std::to_string(bytes);
    const std::string name = "--filename=" + file.string();
    const std::vector<std::string> fioRead{
        "--name=file-read", name, "--rw=read", "--bs=100000", size, "--direct=0", "--invalidate=1"};
    const std::vector<std::string> fioCached{
        "--name=file-read-cached", name, "--rw=read", "--bs=100000", size, "--direct=0",
        "--invalidate=0"};
    // fio tells the kernel the read is sequential, which widens read-ahead; the
    // engine gives no such hint. This run shows how much of any gap that is.
    std::vector<std::string> fioNoHint = fioRead;
    fioNoHint[0] = "--name=file-read-no-hint";
    fioNoHint.push_back("--fadvise_hint=0");
    std::string commands[3];

    std::vector<double> ours, outside, fio, cached, noHint;
    std::vector<std::string> lines, failures;
    for (int rep = 0; rep < options.reps; ++rep) {
        const EngineRun run = RunFileTest(file, bytes);
        if (!run.ok) {
            failures.push_back("engine run " + std::to_string(rep + 1) + ": " + run.problem);
        } else {
            lines.push_back(run.line);
            ours.push_back(KbPerMsToMBps(run.lineReadKbPerMs));
            outside.push_back(static_cast<double>(bytes) / run.outsideReadSec / kMB);
        }
        const FioRun h = RunFio(fioNoHint, options.folder, &commands[2]);
        const FioRun f = RunFio(fioRead, options.folder, &commands[0]);
        // Straight after a buffered read the file is in the cache.
        const FioRun c = RunFio(fioCached, options.folder, &commands[1]);
        for (const FioRun* r : {&h, &f, &c}) {
            if (!r->ok) {
                failures.push_back("fio run " + std::to_string(rep + 1) + ": " + r->error);
            } else if (r->readBytes != bytes) {
                failures.push_back("fio read " + std::to_string(r->readBytes) + " bytes, not " +
                                   std::to_string(bytes));
            }
        }
        if (h.ok && f.ok && c.ok) {
            noHint.push_back(h.readBytesPerSec / kMB);
            fio.push_back(f.readBytesPerSec / kMB);
            cached.push_back(c.readBytesPerSec / kMB);
        }
        DropCache(file);
    }
    std::error_code ec;
    fs::remove(file, ec);

    PrintHeader("File read test against fio, " + std::to_string(bytes) + "-byte file",
                DescribeMachine(options.folder), options);
    Table table({"Read, MB/s (1 MB = 1,000,000 bytes)", "median", "min", "max"});
    const Stats o = Summarize(ours), x = Summarize(outside), f = Summarize(fio),
                c = Summarize(cached), h = Summarize(noHint);
    const auto row = [&table](const std::string& label, const Stats& s) {
        table.Add({label, Fixed(s.median, 0), Fixed(s.min, 0), Fixed(s.max, 0)});
    };
    row("ours, result line", o);
    row("ours, timed outside the engine", x);
    row("fio --bs=100000 --direct=0 --invalidate=1", f);
    row("fio, same without the sequential hint (--fadvise_hint=0)", h);
    row("fio, same file still cached (cache-hitting)", c);
    table.Print();

    const double ratio = o.median / f.median;
    const double outsideRatio = x.median / f.median;
    std::cout << "\n";
    Table ratios({"Ratio of medians", "value", "target"});
    ratios.Add({"ours (result line) / fio", Fixed(ratio, 3), "at least 0.95"});
    ratios.Add({"ours (timed outside) / fio", Fixed(outsideRatio, 3), ""});
    ratios.Add({"ours (result line) / fio without the hint", Fixed(o.median / h.median, 3), ""});
    ratios.Add({"cache-hitting / fio", Fixed(c.median / f.median, 2), ""});
    ratios.Print();

    std::cout << "\nHow the figures are taken:\n"
              << "- ours, result line: the line's \"MB/sec\" (KiB per ms) times 1.024. The "
                 "engine evicts the file's pages before its clock starts.\n"
              << "- ours, timed outside: from the engine's read of the path field to the "
                 "line's arrival (microsecond clock); adds open, eviction and formatting.\n"
              << "- Commands (plus --output-format=json):\n";
    for (const std::string& command : commands) {
        std::cout << "    " << command << "\n";
    }
    std::cout << "\nEngine result lines:\n";
    for (const std::string& line : lines) {
        std::cout << "    " << line << "\n";
    }

    Figure(options, "file.bytes", static_cast<double>(bytes));
    Figure(options, "file.ours", o.median);
    Figure(options, "file.ours_outside", x.median);
    Figure(options, "file.fio", f.median);
    Figure(options, "file.cache", c.median);
    Figure(options, "file.fio_no_hint", h.median);
    Figure(options, "file.ratio", ratio);
    Figure(options, "file.ratio_outside", outsideRatio);

    bool figuresOk = true;
    for (double v : {o.median, x.median, f.median, c.median, h.median, ratio}) {
        figuresOk = figuresOk && std::isfinite(v) && v > 0;
    }
    if (failures.empty() && !figuresOk) {
        failures.push_back("a figure is missing or not a positive number");
    }
    return ReportFailures(std::move(failures));
}
