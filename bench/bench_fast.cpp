// The engine on a fast device (run_all.sh --fast-device: a RAM-backed loop
// device): the 100 MB drive test and the 1 GB file test against fio with
// direct I/O in the engine's largest request, one request at a time,
// interleaved, and the CPU time each spends per GB; and the read-back without
// its check of every byte, to show what the check costs. The engine runs in this
// process, timed at its own clock readings to the microsecond: at these speeds
// a phase lasts tens of milliseconds, too short for whole milliseconds.
#include "bench_common.h"
#include "engine/chunk_pace.h"
#include "engine/drive_write_read.h"
#include "res/resource.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace bench;

namespace {

// Drive tests with and without the read-back check, per run.
constexpr int kCheckPairs = 5;

enum { kWrite, kRead, kFile, kPhases };
const char* const kPhaseNames[kPhases] = {"drive test write", "drive test read-back",
                                          "file test read"};

// The fio references, each direct, on the engine's bytes rounded up to whole
// pages: like for like (the engine's largest request, one at a time, from
// huge pages as the engine's memory is), the same with fio's default
// buffers, and the device's best (io_uring, 32 requests of 1 MiB in flight).
enum { kLike, kDefaultBuffers, kBest, kReferences };
const char* const kReferenceNames[kReferences] = {"fio like for like", "fio, default buffers",
                                                  "fio, io_uring QD32"};

std::vector<std::string> FioArgs(const fs::path& file, std::uint64_t bytes, bool write,
                                 int reference) {
    const std::uint64_t pages = (bytes + 4095) / 4096 * 4096;
    const std::uint64_t request = std::min<std::uint64_t>(
        pages, reference == kBest ? std::uint64_t{1} << 20 : sarnoval::ChunkPace::kMostBytes);
    std::vector<std::string> args{write ? "--name=direct-write" : "--name=direct-read",
                                  "--filename=" + file.string(),
                                  write ? "--rw=write" : "--rw=read",
                                  "--bs=" + std::to_string(request),
                                  "--size=" + std::to_string(pages),
                                  "--direct=1"};
    if (reference == kBest) {
        args.insert(args.end(), {"--ioengine=io_uring", "--iodepth=32"});
    } else {
        args.insert(args.end(), {"--ioengine=psync", "--iodepth=1"});
    }
    if (reference != kDefaultBuffers) {
        args.emplace_back("--mem=shmhuge");
    }
    if (write) {
        // A new file grown by its writes, as the engine's: no preallocation,
        // whose unwritten extents each write would have to convert.
        args.insert(args.end(), {"--end_fsync=1", "--fallocate=none"});
    }
    return args;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    const std::uint64_t driveBytes = options.tiny ? 5000000 : 100000000;
    const int sizeId = options.tiny ? IDC_SIZE_5MB : IDC_SIZE_100MB;
    const std::uint64_t fileBytes = options.tiny ? 20000000 : 1000000000;
    const std::uint64_t bytes[kPhases] = {driveBytes, driveBytes, fileBytes};
    const fs::path fioFile = options.folder / "sarnoval-bench-fio.dat";
    const fs::path dataFile = options.folder / "sarnoval-bench-file.dat";
    // [phase] and [phase][reference]: MB/s and CPU seconds per GB
    std::vector<double> ours[kPhases], oursCpu[kPhases];
    std::vector<double> fio[kPhases][kReferences], fioCpu[kPhases][kReferences];
    // The read-back in the check's pairs: [0] checked, [1] unchecked.
    std::vector<double> pairRate[2], pairCpu[2], pairRatio;

    if (!MakeDataFile(dataFile, fileBytes)) {
        Fail("could not write " + dataFile.string());
        return Finish();
    }
    std::printf("The engine against fio --direct=1 --bs=%zu --ioengine=psync --iodepth=1 "
                "--mem=shmhuge (like for like), MB/s (1 MB = 1,000,000 bytes), and CPU seconds "
                "per GB\n\nrun",
                sarnoval::ChunkPace::kMostBytes);
    for (const char* name : {"W ours", "W fio", "R ours", "R fio", "F ours", "F fio"}) {
        std::printf(" %9s", name);
    }
    std::printf("\n");
    for (int rep = 0; rep < options.reps; ++rep) {
        double mbps[kPhases][2] = {};
        const TracedRun drive = TracedDriveTest(options.folder, sizeId);
        const TracedRun file = TracedFileTest(dataFile);
        // The check's cost: drive tests with and without it, in adjacent
        // pairs that take turns to go first, since on this device the
        // second of two runs in a row is often the faster. A pair's ratio
        // is little moved by what the machine does meanwhile.
        for (int pair = 0; pair < kCheckPairs; ++pair) {
            const bool uncheckedFirst = (rep * kCheckPairs + pair) % 2;
            TracedRun runs[2]; // checked, unchecked
            for (int i = 0; i < 2; ++i) {
                const bool check = (i == 0) != uncheckedFirst;
                sarnoval::CheckReadBack(check);
                runs[check ? 0 : 1] = TracedDriveTest(options.folder, sizeId);
            }
            sarnoval::CheckReadBack(true);
            if (runs[0].ok && runs[1].ok) {
                double rate[2];
                for (int i = 0; i < 2; ++i) {
                    const double sec = runs[i].seconds[3] - runs[i].seconds[2];
                    rate[i] = driveBytes / sec / kMB;
                    pairCpu[i].push_back((runs[i].cpuSeconds[3] - runs[i].cpuSeconds[2]) /
                                         (driveBytes / 1e9));
                    pairRate[i].push_back(rate[i]);
                }
                pairRatio.push_back(rate[0] / rate[1]);
            }
        }
        if (drive.ok && file.ok) {
            const double sec[kPhases] = {drive.seconds[1], drive.seconds[3] - drive.seconds[2],
                                         file.seconds[1]};
            const double cpu[kPhases] = {
                drive.cpuSeconds[1], drive.cpuSeconds[3] - drive.cpuSeconds[2], file.cpuSeconds[1]};
            for (int p = 0; p < kPhases; ++p) {
                mbps[p][0] = bytes[p] / sec[p] / kMB;
                ours[p].push_back(mbps[p][0]);
                oursCpu[p].push_back(cpu[p] / (bytes[p] / 1e9));
            }
        }
        for (int p = 0; p < kPhases; ++p) {
            for (int r = 0; r < kReferences; ++r) {
                double cpu = 0;
                const bool write = p == kWrite;
                const double bw =
                    Fio(FioArgs(p == kFile ? dataFile : fioFile, bytes[p], write, r), write, &cpu);
                if (bw > 0) {
                    mbps[p][1] = r == kLike ? bw / kMB : mbps[p][1];
                    fio[p][r].push_back(bw / kMB);
                    fioCpu[p][r].push_back(cpu / (bytes[p] / 1e9));
                }
            }
        }
        std::error_code ec;
        fs::remove(fioFile, ec);
        std::printf("%3d", rep + 1);
        for (const auto& phase : mbps) {
            std::printf(" %9.0f %9.0f", phase[0], phase[1]);
        }
        std::printf("\n");
    }
    std::error_code ec;
    fs::remove(dataFile, ec);

    std::printf("\n%-58s %10s %10s %10s\n", "Median of all runs", "median", "min", "max");
    for (int p = 0; p < kPhases; ++p) {
        const std::string name =
            std::string(kPhaseNames[p]) + ", " + std::to_string(bytes[p] / 1000000) + " MB";
        const double o = PrintStats(name + ", ours, MB/s", ours[p], 0);
        const double oc = PrintStats(name + ", ours, CPU s per GB", oursCpu[p], 3);
        double f[kReferences] = {};
        double fc[kReferences] = {};
        for (int r = 0; r < kReferences; ++r) {
            f[r] = PrintStats(name + ", " + kReferenceNames[r] + ", MB/s", fio[p][r], 0);
            fc[r] =
                PrintStats(name + ", " + kReferenceNames[r] + ", CPU s per GB", fioCpu[p][r], 3);
        }
        const std::string key = std::string("fast.") + (p == kWrite  ? "write"
                                                        : p == kRead ? "read"
                                                                     : "file");
        SummaryRow(options, {"Fast device: " + name, Figure(options, key + ".ours", o, 0),
                             Figure(options, key + ".fio", f[kLike], 0), Fixed(o / f[kLike], 3),
                             Figure(options, key + ".fio_default", f[kDefaultBuffers], 0),
                             Figure(options, key + ".fio_best", f[kBest], 0),
                             Figure(options, key + ".cpu", oc, 3) + " / " +
                                 Figure(options, key + ".fiocpu", fc[kLike], 3)});
    }
    const char* const pairNames[2] = {"checked", "unchecked"};
    double rate[2], cpu[2];
    for (int i = 0; i < 2; ++i) {
        const std::string name = std::string("drive test read-back in pairs, ") + pairNames[i];
        rate[i] = PrintStats(name + ", MB/s", pairRate[i], 0);
        cpu[i] = PrintStats(name + ", CPU s per GB", pairCpu[i], 3);
    }
    const double ratio =
        PrintStats("drive test read-back, checked / unchecked, each pair", pairRatio, 3);
    SummaryRow(options, {"Fast device: read-back checked / unchecked, " +
                             std::to_string(pairRatio.size()) + " pairs",
                         Figure(options, "fast.read_checked", rate[0], 0) + " / " +
                             Figure(options, "fast.read_unchecked", rate[1], 0),
                         "", Figure(options, "fast.check_ratio", ratio, 3), "", "",
                         Figure(options, "fast.read_checked_cpu", cpu[0], 3) + " / " +
                             Figure(options, "fast.read_unchecked_cpu", cpu[1], 3)});
    return Finish();
}
