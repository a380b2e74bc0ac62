// Accuracy of the file read test: sarnoval-cli against fio reading the same
// file in the same 100,000-byte blocks after dropping its cache.
#include "bench_common.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace bench;

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    const std::uint64_t bytes = options.tiny ? 20000000 : 1000000000;
    const fs::path file = options.folder / "sarnoval-bench-file.dat";
    const std::vector<std::string> fioRead{
        "--name=file-read", "--filename=" + file.string(),     "--rw=read",
        "--bs=100000",      "--size=" + std::to_string(bytes), "--direct=0",
        "--invalidate=1"};
    std::vector<double> ours, fio;
    const bool made = MakeDataFile(file, bytes);
    if (!made) {
        Fail("could not write " + file.string());
    }
    for (int rep = 0; made && rep < options.reps; ++rep) {
        const EngineRun run = CliFileTest(file, bytes);
        const double f = Fio(fioRead, false) / kMB;
        if (run.ok && f > 0) {
            ours.push_back(run.lineReadMBps);
            fio.push_back(f);
        }
    }
    std::error_code ec;
    fs::remove(file, ec);

    std::printf("File read test against fio, %llu-byte file, MB/s (1 MB = 1,000,000 bytes)\n\n"
                "%-58s %10s %10s %10s\n",
                static_cast<unsigned long long>(bytes), "", "median", "min", "max");
    const double o = PrintStats("ours, result line (\"MB/sec\" times 1.024)", ours, 0);
    const double f = PrintStats("fio --bs=100000 --direct=0 --invalidate=1", fio, 0);
    std::printf("ours / fio: %.3f\n", o / f);
    Figure(options, "file.bytes", static_cast<double>(bytes));
    SummaryRow(options, {"File test read, " + std::to_string(bytes / 1000000) + " MB file, MB/s",
                         Figure(options, "file.ours", o, 0),
                         Figure(options, "file.fio", f, 0) + " (fio, cache dropped)",
                         Fixed(o / f, 3), "at least 0.95"});
    return Finish();
}
