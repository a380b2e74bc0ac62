#include "bench_common.h"

#include "engine/drive_write_read.h"
#include "engine/file_io.h"
#include "engine/file_read.h"
#include "engine/test_state.h"
#include "res/resource.h"
#include "tests/support/headless_window.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace bench {

namespace {

std::vector<std::string> g_failures; // main thread only

void Append(const Options& options, const char* file, const std::string& text) {
    if (!options.out.empty()) {
        std::ofstream(options.out / file, std::ios::app) << text;
    }
}

// Launches test and waits for its line; the kernel keeps the peak memory, so
// nothing polls meanwhile.
bool LaunchAndWait(sarnoval::TestProc test, sarnoval::HeadlessWindow& window, EngineRun& run) {
    const fs::path status = "/proc/self/status";
    const std::uint64_t before = StatusField(status, "VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5"; // restarts VmHWM from now
    sarnoval::RecordTargets(&window, &window);
    sarnoval::Launch(test);
    const bool reported = window.WaitForReports(1, std::chrono::minutes(10));
    sarnoval::StopTests();
    run.rssGrowKiB =
        std::max({before, StatusField(status, "VmHWM:"), StatusField(status, "VmRSS:")}) - before;
    if (!reported || !window.Messages().empty()) {
        Fail(reported ? "engine showed: " + window.Messages().front() : "engine gave no line");
        return false;
    }
    run.line = window.Lines().front();
    return true;
}

// Takes the line's "MB/sec" figures; false, recorded, unless the line has them
// and the expected KB count. A file test's line starts with its path, which
// may hold anything, so this reads from the last "x Read (".
bool ReadLine(EngineRun& run, std::uint64_t bytes, bool drive) {
    const std::size_t at = std::min(run.line.rfind("x Read ("), run.line.size());
    const char* text = run.line.c_str() + at;
    unsigned long long readKb = 0, writeKb = 0, kb = 0;
    const bool parsed =
        drive ? std::sscanf(text,
                            "x Read (%llu MB/sec), %*ux Write (%llu MB/sec), %llu KB read and "
                            "written in",
                            &readKb, &writeKb, &kb) == 3
              : std::sscanf(text, "x Read (%llu MB/sec), %llu KB read in", &readKb, &kb) == 2;
    if (!parsed || kb != bytes >> 10) {
        Fail("unexpected line: " + run.line);
        return false;
    }
    run.lineWriteMBps = static_cast<double>(writeKb) * 1.024;
    run.lineReadMBps = static_cast<double>(readKb) * 1.024;
    return true;
}

} // namespace

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--tiny") {
            options.tiny = true;
        } else if (arg == "--folder" && hasValue) {
            options.folder = argv[++i];
        } else if (arg == "--out" && hasValue) {
            options.out = argv[++i];
        } else if (arg == "--reps" && hasValue) {
            options.reps = std::atoi(argv[++i]);
        } else if (arg == "--intervals") {
            options.intervals = true;
        } else if (arg == "--ceiling" && hasValue) {
            options.ceilingMBps = std::atof(argv[++i]);
        } else {
            options.reps = 0; // reported below
            break;
        }
    }
    std::error_code ec;
    if (!fs::is_directory(options.folder, ec) || options.reps < 1 || options.reps > 100 ||
        options.ceilingMBps < 0) {
        std::fprintf(stderr,
                     "usage: %s --folder DIR [--tiny] [--reps 1-100] [--out DIR] [--ceiling MBPS] "
                     "[--intervals]\n",
                     argv[0]);
        std::exit(2);
    }
    options.folder = fs::absolute(options.folder);
    return options;
}

Stats Summarize(std::vector<double> values) {
    Stats s;
    if (values.empty()) {
        s.median = s.min = s.max = NAN;
        return s;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.min = values.front();
    s.max = values.back();
    return s;
}

double PrintStats(const std::string& label, const std::vector<double>& values, int decimals,
                  double divisor) {
    const Stats s = Summarize(values);
    std::printf("%-58s %10s %10s %10s\n", label.c_str(),
                Fixed(s.median / divisor, decimals).c_str(),
                Fixed(s.min / divisor, decimals).c_str(), Fixed(s.max / divisor, decimals).c_str());
    return s.median;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Figure(const Options& options, const std::string& key, double value, int decimals) {
    if (!std::isfinite(value) || value < 0) {
        Fail("figure " + key + " is " + Fixed(value, 4));
    }
    Append(options, "figures.tsv", key + '\t' + Fixed(value, 4) + '\n');
    return Fixed(value, decimals);
}

void SummaryRow(const Options& options, const std::vector<std::string>& cells) {
    std::string row = "|";
    for (const std::string& cell : cells) {
        row += " " + cell + " |";
    }
    Append(options, "summary.md", row + '\n');
}

void Fail(const std::string& problem) {
    g_failures.push_back(problem);
}

int Finish() {
    for (const std::string& failure : g_failures) {
        std::printf("FAILED: %s\n", failure.c_str());
    }
    return g_failures.empty() ? 0 : 1;
}

double Fio(const std::vector<std::string>& args, bool write, double* cpuSeconds) {
    QStringList list{"--output-format=json"};
    for (const std::string& arg : args) {
        list << QString::fromStdString(arg);
    }
    QProcess fio;
    fio.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fio.start("fio", list);
    const bool ran = fio.waitForFinished(-1) && fio.exitStatus() == QProcess::NormalExit;
    // fio may put notes before the report itself.
    const QByteArray out = fio.readAllStandardOutput();
    const QJsonObject root =
        QJsonDocument::fromJson(out.mid(std::max<qsizetype>(0, out.indexOf('{')))).object();
    const QJsonObject job = root["jobs"][0].toObject();
    const double bw = job[write ? "write" : "read"]["bw_bytes"].toDouble(-1);
    if (!ran || fio.exitCode() != 0 || job["error"].toInt(-1) != 0 || !(bw > 0)) {
        Fail("fio " + args.front() + ": exit code " + std::to_string(fio.exitCode()) + ", error " +
             std::to_string(job["error"].toInt(-1)));
        return -1;
    }
    if (cpuSeconds) {
        // Percentages of the job's run time.
        *cpuSeconds = (job["usr_cpu"].toDouble() + job["sys_cpu"].toDouble()) / 100 *
                      job["job_runtime"].toDouble() / 1000;
    }
    return bw;
}

bool MakeDataFile(const fs::path& path, std::uint64_t size) {
    const std::vector<unsigned char> block = sarnoval::MakeWriteBlock();
    std::error_code ec;
    fs::remove(path, ec); // a file left by a run that was killed
    sarnoval::File out = sarnoval::File::Open(path, sarnoval::File::Mode::CreateNew);
    bool ok = static_cast<bool>(out);
    for (std::uint64_t done = 0; ok && done < size; done += block.size()) {
        ok = out.WriteAll(block.data(), std::min<std::uint64_t>(block.size(), size - done));
    }
    ok = ok && out.Sync();
    if (ok) {
        out.DropCache();
    }
    return out.Close() && ok;
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::uint64_t StatusField(const fs::path& status, const std::string& key) {
    std::ifstream in(status);
    std::string word;
    while (in >> word) {
        if (word == key) {
            std::uint64_t value = 0;
            in >> value;
            return value;
        }
        in.ignore(4096, '\n');
    }
    return 0;
}

EngineRun RunFileTest(const fs::path& path, std::uint64_t bytes) {
    EngineRun run;
    sarnoval::HeadlessWindow window;
    window.SetText(IDC_FILE_PATH, path.string());
    run.ok = LaunchAndWait(sarnoval::FileReadTest, window, run) && ReadLine(run, bytes, false);
    return run;
}

namespace {

// The steady clock and the process's CPU time at each of the engine's clock
// readings: the read-back's check runs on a thread of its own.
class ClockTrace final : public sarnoval::IoTrace {
public:
    void Step(sarnoval::IoStep step) override {
        if (step == sarnoval::IoStep::Clock) {
            timespec cpu{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
            cpus.push_back(static_cast<double>(cpu.tv_sec) +
                           static_cast<double>(cpu.tv_nsec) / 1e9);
            times.push_back(Clock::now());
        }
    }
    std::vector<Clock::time_point> times;
    std::vector<double> cpus;
};

std::atomic<sarnoval::IoTrace*> g_trace{nullptr};

TracedRun Timed(const ClockTrace& trace, bool ok, std::size_t readings) {
    TracedRun run;
    if (!ok || trace.times.size() != readings) {
        Fail("the engine gave no line or read its clock " + std::to_string(trace.times.size()) +
             " times, not " + std::to_string(readings));
        return run;
    }
    for (std::size_t i = 0; i < readings; ++i) {
        run.seconds.push_back(
            std::chrono::duration<double>(trace.times[i] - trace.times[0]).count());
        run.cpuSeconds.push_back(trace.cpus[i] - trace.cpus[0]);
    }
    run.ok = true;
    return run;
}

TracedRun Traced(sarnoval::HeadlessWindow& window, sarnoval::TestProc test, std::size_t readings) {
    ClockTrace trace;
    g_trace.store(&trace);
    EngineRun engine;
    const bool ok = LaunchAndWait(test, window, engine);
    g_trace.store(nullptr);
    return Timed(trace, ok, readings);
}

// Runs sarnoval-cli with args plus --json --quiet and takes its one JSON line.
EngineRun RunCli(QStringList args, std::uint64_t bytes, bool drive) {
    EngineRun run;
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cli.start(SARNOVAL_CLI, args << "--json"
                                 << "--quiet");
    const bool ran = cli.waitForFinished(-1) && cli.exitStatus() == QProcess::NormalExit;
    const QJsonObject o = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    if (!ran || cli.exitCode() != 0 || o.isEmpty()) {
        Fail("sarnoval-cli " + args.join(' ').toStdString() + ": exit code " +
             std::to_string(cli.exitCode()));
        return run;
    }
    run.line = o["line"].toString().toStdString();
    run.writeSec = o["write_ms"].toDouble() / 1000;
    run.readSec = o["read_ms"].toDouble() / 1000;
    run.ok = ReadLine(run, bytes, drive);
    return run;
}

} // namespace

TracedRun TracedDriveTest(const fs::path& folder, int sizeId) {
    sarnoval::HeadlessWindow window;
    window.SetText(IDC_DRIVE_LETTER, "C");
    window.SetChecked(sizeId, true);
    window.SetDriveLetters({{'C', folder}});
    // Write start and end, read-back start, then the read figures' three readings.
    return Traced(
        window, [] { sarnoval::DriveWriteReadTest(g_trace.load()); }, 6);
}

TracedRun TracedDriveTestAsStarted(const std::function<bool()>& run) {
    ClockTrace trace;
    sarnoval::TraceDriveTests(&trace);
    const bool ok = run();
    sarnoval::TraceDriveTests(nullptr);
    return Timed(trace, ok, 6);
}

TracedRun TracedFileTest(const fs::path& path) {
    sarnoval::HeadlessWindow window;
    window.SetText(IDC_FILE_PATH, path.string());
    return Traced(
        window, [] { sarnoval::FileReadTest(g_trace.load()); }, 2);
}

EngineRun CliDriveTest(const fs::path& folder, std::uint64_t bytes) {
    return RunCli({"drive", QString::fromStdString(folder.string()), "--size",
                   QString::number(bytes / 1000000)},
                  bytes, true);
}

EngineRun CliFileTest(const fs::path& path, std::uint64_t bytes) {
    return RunCli({"file", QString::fromStdString(path.string())}, bytes, false);
}

} // namespace bench
