// Accuracy of the drive write-and-read test: sarnoval-cli against fio with
// direct I/O in the same folder, and what a cache-hitting measurement claims.
// With --ceiling (run_all.sh throttles the disk) every size, as ratios to the ceiling.
#include "bench_common.h"
#include "engine/drive_write_read.h"

#include <array>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

// The series, each a write and a read; the short names head the columns and key the figures.
enum { kLine, kExact, kDirect, kSame, kCache, kSeries };
const char* const kLabels[kSeries] = {"ours, result line", "ours, exact", "fio --direct=1",
                                      "fio, the engine's method", "fio buffered, cache-hitting"};
const char* const kShort[kSeries] = {"line", "exact", "direct", "same", "cache"};

// fio's options for a series. Direct: sequential, the write flushed at the end,
// of as many whole pages as the engine's file of bytes fills, in blocks of a
// divisor of that count: a disk throttle counts time in slices, and a few
// bytes more than fit one slice cost the next. Cache: buffered in 1 MiB
// blocks, cache kept (what a test that hits the cache sees). Same: the
// engine's own method, 200,000-byte blocks, writeback every 4 MB, fsync at the
// end, cache dropped before reading.
std::vector<std::string> FioArgs(int series, const fs::path& file, std::uint64_t bytes,
                                 bool write) {
    std::vector<std::string> args{
        std::string("--name=") + kShort[series] + (write ? "-write" : "-read"),
        "--filename=" + file.string(), write ? "--rw=write" : "--rw=read"};
    if (series == kDirect) {
        const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
        const std::uint64_t pages = (bytes + page - 1) / page;
        std::uint64_t perBlock = 1;
        for (std::uint64_t d = 2; d <= (2u << 20) / page; ++d) {
            perBlock = pages % d == 0 ? d : perBlock;
        }
        args.insert(args.end(), {"--bs=" + std::to_string(perBlock * page),
                                 "--size=" + std::to_string(pages * page), "--direct=1"});
    } else {
        // Whole 1 MiB blocks: the nearest whole number of MiB.
        const std::uint64_t mib = std::max<std::uint64_t>(1, (bytes + (1 << 19)) >> 20);
        args.insert(args.end(), {"--size=" + std::to_string(mib) + "M", "--direct=0",
                                 series == kCache ? "--bs=1M" : "--bs=200000"});
        args.push_back(series == kCache ? "--invalidate=0"
                       : write          ? "--sync_file_range=write:20"
                                        : "--invalidate=1");
    }
    if (write && series != kCache) {
        args.push_back("--end_fsync=1");
    }
    return args;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    const bool ceiling = options.ceilingMBps > 0;
    // 100 MB, or 20 MB when tiny: enough that the engine's whole-millisecond
    // intervals are not 0 (a virtual disk served from its host's memory reads
    // 5 MB in under one). With a ceiling every size, or 5 MB when tiny: more
    // than the throttle lets through at once at 10 MB/s, so it still shows.
    std::vector sizes(std::begin(sarnoval::kSizeOptions), std::end(sarnoval::kSizeOptions));
    if (options.tiny || !ceiling) {
        sizes = {sizes[!options.tiny ? 3 : ceiling ? 1 : 2]};
    }
    const double unit = ceiling ? options.ceilingMBps : 1; // figures as ratios to the ceiling
    const int decimals = ceiling ? 3 : 0;
    const int last = ceiling ? kDirect : kCache;
    const fs::path file = options.folder / "sarnoval-bench-fio.dat";
    // [size][write, read][series], MB/s
    std::vector<std::array<std::array<std::vector<double>, kSeries>, 2>> mbps(sizes.size());

    std::printf("Drive test against fio, MB/s (1 MB = 1,000,000 bytes)%s\n",
                ceiling
                    ? (", as ratios to the disk's ceiling of " + Fixed(unit, 0) + " MB/s").c_str()
                    : "");
    std::printf("Each run is sarnoval-cli drive FOLDER --size N --json. ours, result line: the "
                "line's \"MB/sec\" (KiB per ms plus one, truncated) times 1.024. ours, exact: "
                "the bytes over the engine's own write and read-back intervals, in whole ms, as "
                "its JSON reports them.\n\nrun    size");
    for (int s = 0; s <= last; ++s) {
        std::printf(" %7s W %7s R", kShort[s], kShort[s]);
    }
    for (int rep = 0; rep < options.reps; ++rep) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::uint64_t bytes = sizes[i].bytes;
            const EngineRun run = CliDriveTest(options.folder, bytes);
            std::printf("\n%3d %4d MB", rep + 1, static_cast<int>(bytes / 1000000));
            for (int s = 0; s <= last; ++s) {
                for (int phase = 0; phase < 2; ++phase) {
                    const bool write = phase == 0;
                    double got = write ? run.lineWriteMBps : run.lineReadMBps;
                    if (s == kExact) {
                        // Under a millisecond is no figure: skipped, as a failed run is.
                        const double sec = write ? run.writeSec : run.readSec;
                        got = sec > 0 ? bytes / sec / kMB : 0;
                    } else if (s >= kDirect) {
                        got = Fio(FioArgs(s, file, bytes, write), write) / kMB;
                    }
                    std::printf(" %9s", Fixed(got / unit, decimals).c_str());
                    if (run.ok && got > 0) {
                        mbps[i][phase][s].push_back(got);
                    }
                }
                std::error_code ec;
                fs::remove(file, ec);
            }
        }
    }

    std::printf("\n\n%-58s %10s %10s %10s\n", "Median of all runs", "median", "min", "max");
    double median[2][kSeries]; // at the largest size
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        for (int phase = 0; phase < 2; ++phase) {
            for (int s = 0; s <= last; ++s) {
                median[phase][s] = PrintStats(std::to_string(sizes[i].bytes / 1000000) + " MB " +
                                                  (phase ? "read: " : "write: ") + kLabels[s],
                                              mbps[i][phase][s], decimals, unit);
            }
        }
    }
    std::printf("\nfio runs at the largest size (plus --output-format=json):\n");
    for (int s = kDirect; s <= last; ++s) {
        for (int write = 1; write >= 0; --write) {
            std::printf("fio");
            for (const std::string& arg : FioArgs(s, file, sizes.back().bytes, write)) {
                std::printf(" %s", arg.c_str());
            }
            std::printf("\n");
        }
    }

    if (ceiling) {
        // fio direct far above the ceiling at the largest size: the throttle did not hold.
        if (!(median[0][kDirect] < 2 * unit && median[1][kDirect] < 2 * unit)) {
            Fail("fio direct ran above twice the ceiling: the disk was not throttled");
        }
        return Finish();
    }
    for (int phase = 0; phase < 2; ++phase) {
        for (int s = 0; s < kSeries; ++s) {
            Figure(options, std::string(phase ? "drive.read." : "drive.write.") + kShort[s],
                   median[phase][s]);
        }
    }
    Figure(options, "drive.bytes", static_cast<double>(sizes[0].bytes));
    Figure(options, "drive.reps", options.reps);
    const std::string size = std::to_string(sizes[0].bytes / 1000000) + " MB";
    for (int s : {kDirect, kSame}) {
        for (int phase = 0; phase < 2; ++phase) {
            const double* m = median[phase];
            const bool direct = s == kDirect;
            SummaryRow(
                options,
                {std::string("Drive test ") + (phase ? "read" : "write") +
                     (direct ? ", " + size + ", MB/s" : ", against fio buffered like Sarnoval"),
                 Fixed(m[kLine], 0), Fixed(m[s], 0) + (direct ? " (fio direct)" : ""),
                 Fixed(m[kLine] / m[s], 3), direct ? "0.85 to 1.15" : ""});
        }
    }
    SummaryRow(options, {"What a cache-hitting test would claim, write / read, MB/s", "",
                         Fixed(median[0][kCache], 0) + " / " + Fixed(median[1][kCache], 0),
                         Fixed(median[0][kCache] / median[0][kDirect], 2) + " / " +
                             Fixed(median[1][kCache] / median[1][kDirect], 2) + " x fio direct",
                         ""});
    return Finish();
}
