// The dialog's own cost: CPU and memory while it sits open, how late the GUI
// thread answers a 1 ms timer during a drive test, and how long the program
// takes from process start to the dialog on screen.
#include "bench_common.h"
#include "engine/test_state.h"
#include "res/resource.h"
#include "ui/throughput_app.h"
#include "ui/throughput_dlg.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace bench;

namespace {

// The steady clock, which all processes share, in ms.
double NowMs() {
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

// In the child of a start-up measurement: prints the time of the dialog's
// first paint, from when on it is on screen, and ends the program.
class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            std::printf("%.3f\n", NowMs());
            std::fflush(stdout);
            watched->removeEventFilter(this);
            QCoreApplication::exit(0);
        }
        return false;
    }
};

// Milliseconds from just before a child starts to its dialog's first paint, or -1.
double MeasureStartup() {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const double start = NowMs();
    child.start("/proc/self/exe", {"--child-startup"});
    bool painted = false;
    const double paint = child.waitForFinished(30000) && child.exitCode() == 0
                             ? child.readAllStandardOutput().trimmed().toDouble(&painted)
                             : 0;
    return painted ? paint - start : -1;
}

// Runs the event loop for ms milliseconds.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Process CPU as % of a core while the dialog's event loop runs for ms.
double IdleCpuPercent(int ms) {
    const double c0 = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    RunFor(ms);
    return (ProcessCpuSeconds() - c0) / (static_cast<double>(wall.nsecsElapsed()) / 1e9) * 100;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100 * static_cast<double>(v.size())));
    return v.empty() ? NAN : v[std::max<std::size_t>(rank, 1) - 1];
}

// The line arrives just before the test frees its slot, and a test started
// while one runs is ignored: waits for the slot as a user's next click would.
void WaitForTestSlot() {
    for (int i = 0; i < 2000 && sarnoval::g_testRunning.load(); ++i) {
        RunFor(1);
    }
}

// Runs the drive test as a user starts it; the line it gave, or "" and a
// failure recorded with the message shown. With late, a 1 ms GUI timer runs
// meanwhile and each tick's lateness beyond 1 ms goes there; without, the
// GUI thread has only the dialog's own work and a look for a message box
// every 50 ms.
QString DialogDriveTest(CThroughputDlg& dlg, std::vector<double>* late) {
    WaitForTestSlot();
    const int before = dlg.m_resultList->count();
    std::string message;
    dlg.OnTest();
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (late && last >= 0) {
            late->push_back(std::max(0.0, static_cast<double>(now - last) / 1e6 - 1.0));
        }
        last = now;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            message = box->text().toStdString();
            box->done(QMessageBox::Ok);
        }
        if (!message.empty() || dlg.m_resultList->count() > before || now > 120'000'000'000) {
            loop.quit();
        }
    });
    QObject::connect(dlg.m_resultList->model(), &QAbstractItemModel::rowsInserted, &loop,
                     &QEventLoop::quit);
    tick.start(late ? 1 : 50);
    loop.exec();
    if (!message.empty()) {
        Fail("the dialog's drive test showed '" + message + "'");
    }
    return dlg.m_resultList->count() > before ? dlg.m_resultList->item(before)->text() : "";
}

// The drive test's write and read intervals at the engine's own clock
// readings: the dialog's, the same engine's on a headless window in this
// process, as the CLI runs it but timed to the microsecond, and sarnoval-cli's
// own in whole milliseconds; runs interleaved.
int MeasureIntervals(const Options& options, CThroughputDlg& dlg, std::uint64_t bytes) {
    enum { kDialog, kHeadless, kCli, kWays };
    const char* const names[kWays] = {"dialog", "engine alone (headless window)",
                                      "sarnoval-cli (whole ms)"};
    std::vector<double> write[kWays], read[kWays];
    std::vector<double> writeRatio, readRatio; // dialog over engine alone, in each round
    // Three times the runs asked for: a run is a tenth of a second here, and
    // the read-back's spread from run to run is several times what is looked for.
    for (int rep = 0; rep < 3 * options.reps; ++rep) {
        for (int k = 0; k < kWays; ++k) {
            // The dialog and the engine alone take turns to go first, and
            // each follows sarnoval-cli as often as the other.
            const int way = k == kCli ? kCli : (rep + k) % 2;
            WaitForTestSlot();
            if (way == kCli) {
                const EngineRun run = CliDriveTest(options.folder, bytes);
                if (run.ok) {
                    write[way].push_back(run.writeSec * 1000);
                    read[way].push_back(run.readSec * 1000);
                }
                continue;
            }
            const TracedRun run =
                way == kDialog
                    ? TracedDriveTestAsStarted(
                          [&] { return !DialogDriveTest(dlg, nullptr).isEmpty(); })
                    : TracedDriveTest(options.folder, options.tiny ? IDC_SIZE_1MB : IDC_SIZE_100MB);
            if (run.ok) {
                write[way].push_back(run.seconds[1] * 1000);
                read[way].push_back((run.seconds[3] - run.seconds[2]) * 1000);
            }
        }
        if (write[kDialog].size() == write[kHeadless].size() &&
            write[kDialog].size() == static_cast<std::size_t>(rep) + 1) {
            writeRatio.push_back(write[kDialog].back() / write[kHeadless].back());
            readRatio.push_back(read[kDialog].back() / read[kHeadless].back());
        }
    }
    std::printf("The drive test's intervals, %llu MB, at the engine's clock readings (Qt "
                "platform: %s), ms\n\n%-58s %10s %10s %10s\n",
                static_cast<unsigned long long>(bytes / 1000000),
                QApplication::platformName().toStdString().c_str(), "", "median", "min", "max");
    double w[kWays], r[kWays];
    for (int way = 0; way < kWays; ++way) {
        w[way] = PrintStats(std::string("write, ") + names[way], write[way], 3);
        r[way] = PrintStats(std::string("read-back, ") + names[way], read[way], 3);
    }
    const double wr = PrintStats("write, dialog / engine alone, each round", writeRatio, 3);
    const double rr = PrintStats("read-back, dialog / engine alone, each round", readRatio, 3);
    SummaryRow(options,
               {"Fast device: the dialog's drive test intervals, write / read-back, ms",
                Fixed(w[kDialog], 3) + " / " + Fixed(r[kDialog], 3),
                Fixed(w[kHeadless], 3) + " / " + Fixed(r[kHeadless], 3) + " (engine alone)",
                Figure(options, "dialog.write_ratio", wr, 3) + " / " +
                    Figure(options, "dialog.read_ratio", rr, 3) + " (median of " +
                    std::to_string(readRatio.size()) + " rounds)",
                Fixed(w[kCli], 0) + " / " + Fixed(r[kCli], 0) + " (sarnoval-cli, whole ms)", "",
                ""});
    return Finish();
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--child-startup") {
        CThroughputApp app(argc, argv);
        CThroughputDlg dlg;
        FirstPaint watch;
        dlg.installEventFilter(&watch);
        dlg.show();
        return app.exec();
    }
    const Options options = ParseOptions(argc, argv);

    std::vector<double> startup;
    for (int rep = 0; rep < options.reps; ++rep) {
        const double ms = MeasureStartup();
        if (ms < 0) {
            Fail("start-up run " + std::to_string(rep + 1) + ": the child did not show the dialog");
        } else {
            startup.push_back(ms);
        }
    }

    int qargc = 1;
    char* qargv[] = {argv[0], nullptr};
    CThroughputApp app(qargc, qargv);
    const fs::path folder = options.folder;
    CThroughputDlg dlg;
    dlg.DriveMap().SetSource([folder] { return sarnoval::DriveMap{{'C', folder}}; });
    dlg.show();

    if (options.intervals) {
        qobject_cast<QAbstractButton*>(dlg.Control(IDC_MODE_DRIVE))->setChecked(true);
        qobject_cast<QAbstractButton*>(dlg.Control(options.tiny ? IDC_SIZE_1MB : IDC_SIZE_100MB))
            ->setChecked(true);
        return MeasureIntervals(options, dlg, options.tiny ? 1000000 : 100000000);
    }
    const int settleMs = options.tiny ? 200 : 1000;
    const int windowMs = options.tiny ? 300 : 2000;
    RunFor(settleMs);
    std::vector<double> idleCpu, idleAfterCpu;
    for (int rep = 0; rep < options.reps; ++rep) {
        idleCpu.push_back(IdleCpuPercent(windowMs));
    }
    const std::uint64_t rssIdle = StatusField("/proc/self/status", "VmRSS:");

    // The drive test as a user starts it: drive mode, a size, Test.
    for (int id : {IDC_MODE_DRIVE, options.tiny ? IDC_SIZE_1MB : IDC_SIZE_100MB}) {
        qobject_cast<QAbstractButton*>(dlg.Control(id))->setChecked(true);
    }
    const std::uint64_t kb = (options.tiny ? 1000000 : 100000000) >> 10;
    std::vector<double> late; // each tick's lateness beyond 1 ms while a test runs
    for (int rep = 0; rep < options.reps; ++rep) {
        // The line arrives just before the test frees its slot, and a Test while
        // one runs is ignored: wait for the slot as a user's next click would.
        for (int i = 0; i < 2000 && sarnoval::g_testRunning.load(); ++i) {
            RunFor(1);
        }
        const QString line = DialogDriveTest(dlg, &late);
        if (!line.startsWith("C:\\, ") ||
            !line.contains(QString(" %1 KB read and written").arg(kb))) {
            Fail("drive test gave the line '" + line.toStdString() + "'");
        }
    }
    RunFor(settleMs);
    // The counter loop started with the first test and runs until the dialog goes.
    for (int rep = 0; rep < options.reps; ++rep) {
        idleAfterCpu.push_back(IdleCpuPercent(windowMs));
    }

    const double p99 = Percentile(late, 99);
    std::printf("The dialog's own cost (Qt platform: %s)\n\n%-58s %10s %10s %10s\n",
                QApplication::platformName().toStdString().c_str(), "", "median", "min", "max");
    const double idle = PrintStats("idle CPU before any test, % of a core (" +
                                       Fixed(windowMs / 1000.0, 1) + " s windows)",
                                   idleCpu, 3);
    const double after =
        PrintStats("idle CPU after a test (counter loop started), % of a core", idleAfterCpu, 3);
    const double start = PrintStats("process start to the dialog's first paint, ms", startup, 1);
    std::printf("Resident memory, idle: %.1f MiB. A 1 ms GUI timer during the drive test: %zu "
                "ticks, lateness beyond 1 ms median %.3f, 99th percentile %.3f, max %.3f ms.\n",
                static_cast<double>(rssIdle) / 1024, late.size(), Percentile(late, 50), p99,
                Percentile(late, 100));

    Figure(options, "dialog.rss_kib", static_cast<double>(rssIdle));
    SummaryRow(options, {"Dialog idle, before any test, % of a core",
                         Figure(options, "dialog.idle_cpu_pct", idle, 3), "", "", "under 0.2"});
    SummaryRow(options,
               {"Dialog idle, after a test (counter loop started), % of a core",
                Figure(options, "dialog.idle_after_cpu_pct", after, 3), "", "", "under 0.2"});
    SummaryRow(options, {"Dialog resident memory, idle, MiB",
                         Fixed(static_cast<double>(rssIdle) / 1024, 1), "", "", ""});
    SummaryRow(options, {"GUI timer lateness during the drive test, 99th percentile, ms",
                         Figure(options, "dialog.lateness_p99_ms", p99, 2), "", "", "under 20"});
    SummaryRow(options, {"Process start to dialog shown, ms",
                         Figure(options, "dialog.startup_ms", start, 0), "", "", ""});
    return Finish();
}
