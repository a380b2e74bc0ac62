// The dialog's own cost: CPU and memory while it sits open, how late the GUI
// thread answers a 1 ms timer during a drive test, and how long the program
// takes from process start to the dialog on screen.
#include "bench_common.h"
#include "engine/test_state.h"
#include "res/resource.h"
#include "ui/drive_map_source.h"
#include "ui/throughput_app.h"
#include "ui/throughput_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace bench;

namespace {

std::int64_t MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Notes the dialog's first paint: from then on it is on screen.
class FirstPaint final : public QObject {
public:
    explicit FirstPaint(std::int64_t startNs) : startNs_(startNs) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            std::printf("%.3f\n", static_cast<double>(MonotonicNs() - startNs_) / 1e6);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::int64_t startNs_;
    bool seen_ = false;
};

// The child of a start-up measurement: the program's own start, up to the first paint.
int ChildStartup(int argc, char** argv, std::int64_t startNs) {
    CThroughputApp app(argc, argv);
    CThroughputDlg dlg;
    FirstPaint watch(startNs);
    dlg.installEventFilter(&watch);
    dlg.show();
    QTimer::singleShot(30000, &app, [] { QCoreApplication::exit(1); });
    return app.exec();
}

// Milliseconds from just before the child starts to its first paint, or -1.
double MeasureStartup() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::string self = "/proc/self/exe", flag = "--child-startup";
    std::string when = std::to_string(MonotonicNs());
    char* args[] = {self.data(), flag.data(), when.data(), nullptr};
    pid_t pid = 0;
    const bool started = ::posix_spawn(&pid, self.c_str(), &actions, nullptr, args, environ) == 0;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::FILE* in = ::fdopen(fds[0], "r");
    double ms = -1;
    const bool read = std::fscanf(in, "%lf", &ms) == 1;
    std::fclose(in);
    int status = -1;
    if (started) {
        ::waitpid(pid, &status, 0);
    }
    return read && status == 0 ? ms : -1;
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

// How late each tick of a 1 ms timer came, in ms, until done() is true or the
// time runs out. done is asked on every tick.
std::vector<double> TimerLateness(int timeoutMs, const std::function<bool()>& done) {
    std::vector<double> late;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0) {
            late.push_back(std::max(0.0, static_cast<double>(now - last) / 1e6 - 1.0));
        }
        last = now;
        if (done() || now / 1000000 > timeoutMs) {
            loop.quit();
        }
    });
    tick.start();
    loop.exec();
    return late;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100 * static_cast<double>(v.size())));
    return v[std::min(v.size() - 1, rank == 0 ? 0 : rank - 1)];
}

void Check(QWidget* control, bool on) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setChecked(on);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child-startup") {
        return ChildStartup(argc, argv, std::strtoll(argv[2], nullptr, 10));
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
    auto dlg = std::make_unique<CThroughputDlg>();
    dlg->DriveMap().SetSource([folder] { return sarnoval::DriveMap{{'C', folder}}; });
    dlg->show();

    const int settleMs = options.tiny ? 200 : 1000;
    const int windowMs = options.tiny ? 300 : 2000;
    RunFor(settleMs);
    std::vector<double> idleCpu, idleAfterCpu;
    for (int rep = 0; rep < options.reps; ++rep) {
        idleCpu.push_back(IdleCpuPercent(windowMs));
    }
    const std::uint64_t rssIdle = StatusField("/proc/self/status", "VmRSS:");

    // The drive test as a user starts it: drive mode, a size, Test.
    Check(dlg->Control(IDC_MODE_DRIVE), true);
    Check(dlg->Control(options.tiny ? IDC_SIZE_1MB : IDC_SIZE_100MB), true);
    const std::uint64_t kb = (options.tiny ? 1000000 : 100000000) >> 10;
    std::vector<double> lateTest;
    for (int rep = 0; rep < options.reps; ++rep) {
        // The line arrives just before the test frees its slot, and a Test while
        // one runs is ignored: wait for the slot as a user's next click would.
        for (int i = 0; i < 2000 && sarnoval::g_testRunning.load(); ++i) {
            RunFor(1);
        }
        const int before = dlg->m_resultList->count();
        std::string message;
        dlg->OnTest();
        const std::vector<double> late = TimerLateness(120000, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                message = box->text().toStdString();
                box->done(QMessageBox::Ok);
                return true;
            }
            return dlg->m_resultList->count() > before;
        });
        lateTest.insert(lateTest.end(), late.begin(), late.end());
        const std::string line = dlg->m_resultList->count() > before
                                     ? dlg->m_resultList->item(before)->text().toStdString()
                                     : std::string();
        if (!message.empty()) {
            Fail("drive test showed a message: " + message);
        } else if (line.rfind("C:\\, ", 0) != 0 ||
                   line.find(" " + std::to_string(kb) + " KB read and written") ==
                       std::string::npos) {
            Fail("drive test gave no proper line: '" + line + "'");
        }
    }
    RunFor(settleMs);
    // The counter loop started with the first test and runs until the dialog goes.
    for (int rep = 0; rep < options.reps; ++rep) {
        idleAfterCpu.push_back(IdleCpuPercent(windowMs));
    }
    const std::string platform = QGuiApplication::platformName().toStdString();
    dlg.reset();

    const double p99 = Percentile(lateTest, 99);
    std::printf("The dialog's own cost (Qt platform: %s)\n\n%-58s %10s %10s %10s\n",
                platform.c_str(), "", "median", "min", "max");
    PrintStats("idle CPU before any test, % of a core (" + Fixed(windowMs / 1000.0, 1) +
                   " s windows)",
               idleCpu, 3);
    PrintStats("idle CPU after a test (counter loop started), % of a core", idleAfterCpu, 3);
    PrintStats("process start to the dialog's first paint, ms", startup, 1);
    std::printf("Resident memory, idle: %.1f MiB. A 1 ms GUI timer during the drive test: %zu "
                "ticks, lateness beyond 1 ms median %.3f, 99th percentile %.3f, max %.3f ms.\n",
                static_cast<double>(rssIdle) / 1024, lateTest.size(), Percentile(lateTest, 50), p99,
                Percentile(lateTest, 100));

    const double idle = Summarize(idleCpu).median, after = Summarize(idleAfterCpu).median,
                 start = Summarize(startup).median;
    Figure(options, "dialog.idle_cpu_pct", idle);
    Figure(options, "dialog.idle_after_cpu_pct", after);
    Figure(options, "dialog.rss_kib", static_cast<double>(rssIdle));
    Figure(options, "dialog.lateness_p99_ms", lateTest.empty() ? NAN : p99);
    Figure(options, "dialog.startup_ms", start);
    SummaryRow(options,
               {"Dialog idle, before any test, % of a core", Fixed(idle, 3), "", "", "under 0.2"});
    SummaryRow(options, {"Dialog idle, after a test (counter loop started), % of a core",
                         Fixed(after, 3), "", "", "under 0.2"});
    SummaryRow(options, {"Dialog resident memory, idle, MiB",
                         Fixed(static_cast<double>(rssIdle) / 1024, 1), "", "", ""});
    SummaryRow(options, {"GUI timer lateness during the drive test, 99th percentile, ms",
                         Fixed(p99, 2), "", "", "under 20"});
    SummaryRow(options, {"Process start to dialog shown, ms", Fixed(start, 0), "", "", ""});
    return Finish();
}
