#include "engine_runs.h"

#include "engine/drive_paths.h"
#include "engine/drive_write_read.h"
#include "engine/file_read.h"
#include "engine/test_state.h"
#include "res/resource.h"
#include "tests/support/headless_window.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace bench {

namespace {

using namespace std::chrono_literals;

// Hands the line on and notes when it came.
class TimedList final : public sarnoval::ResultList {
public:
    explicit TimedList(sarnoval::HeadlessWindow& window) : window_(window) {}
    void AddString(const std::string& line) override {
        at = Clock::now();
        window_.AddString(line);
    }
    Clock::time_point at;

private:
    sarnoval::HeadlessWindow& window_;
};

// Lets the kernel's peak-resident figure start again from now.
void ResetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
}

std::uint64_t PeakKiB() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmHWM:") {
            std::uint64_t kib = 0;
            in >> kib;
            return kib;
        }
        in.ignore(4096, '\n');
    }
    return 0;
}

// Launches test and waits for its one report. The kernel keeps the peak
// memory, so nothing polls meanwhile and disturbs what is measured.
bool LaunchAndWait(sarnoval::TestProc test, sarnoval::HeadlessWindow& window,
                   sarnoval::ResultList& list, EngineRun& run) {
    run.rssBeforeKiB = ResidentKiB();
    ResetPeak();
    sarnoval::RecordTargets(&window, &list);
    sarnoval::Launch(test);
    const bool reported = window.WaitForReports(1, 600s);
    sarnoval::StopTests();
    run.rssPeakKiB = std::max(PeakKiB(), ResidentKiB());
    if (!reported) {
        run.problem = "no result within 10 minutes";
        return false;
    }
    const auto messages = window.Messages();
    if (!messages.empty()) {
        run.problem = "engine showed a message: " + messages.front();
        return false;
    }
    run.line = window.Lines().front();
    return true;
}

} // namespace

EngineRun RunDriveTest(const fs::path& folder, int sizeId, std::uint64_t expectedBytes) {
    EngineRun run;
    sarnoval::HeadlessWindow window;
    std::vector<Clock::time_point> driveReads;
    // Called from the test thread under the window's lock; read here only after StopTests.
    window.SetTextSource([&driveReads](int id, int) -> std::string {
        if (id == IDC_DRIVE_LETTER) {
            driveReads.push_back(Clock::now());
            return "C";
        }
        return "";
    });
    window.SetChecked(sizeId, true);
    sarnoval::SetDriveMap({{'C', folder}});
    if (!LaunchAndWait(sarnoval::DriveWriteReadTest, window, window, run)) {
        return run;
    }

    unsigned long long readMult = 0, readKb = 0, writeMult = 0, writeKb = 0, kb = 0, secs = 0;
    if (std::sscanf(run.line.c_str(),
                    "C:\\, %llux Read (%llu MB/sec), %llux Write (%llu MB/sec), %llu KB read and "
                    "written in %llu Seconds.",
                    &readMult, &readKb, &writeMult, &writeKb, &kb, &secs) != 6) {
        run.problem = "unexpected line: " + run.line;
        return run;
    }
    run.lineReadKbPerMs = readKb;
    run.lineWriteKbPerMs = writeKb;
    run.lineKb = kb;
    if (kb != expectedBytes >> 10) {
        run.problem = "line reports " + std::to_string(kb) + " KB, expected " +
                      std::to_string(expectedBytes >> 10) + ": " + run.line;
        return run;
    }
    // Before writing, after writing (twice: rename paths), after reading back.
    if (driveReads.size() != 4) {
        run.problem = "drive text read " + std::to_string(driveReads.size()) +
                      " times, expected 4: the outside timing no longer fits the test";
        return run;
    }
    run.outsideWriteSec = Seconds(driveReads[1] - driveReads[0]);
    run.outsideReadSec = Seconds(driveReads[3] - driveReads[2]);
    for (const char* name : {sarnoval::kFirstTempName, sarnoval::kSecondTempName}) {
        std::error_code ec;
        if (fs::exists(folder / name, ec)) {
            run.problem = std::string("temporary file left behind: ") + name;
            return run;
        }
    }
    run.ok = true;
    return run;
}

EngineRun RunFileTest(const fs::path& path, std::uint64_t expectedBytes) {
    EngineRun run;
    sarnoval::HeadlessWindow window;
    Clock::time_point pathRead;
    const std::string text = path.string();
    window.SetTextSource([&pathRead, text](int id, int) -> std::string {
        if (id == IDC_FILE_PATH) {
            pathRead = Clock::now();
            return text;
        }
        return "";
    });
    TimedList list(window);
    if (!LaunchAndWait(sarnoval::FileReadTest, window, list, run)) {
        return run;
    }
    const auto readKb = NumberAfter(run.line, "x Read (");
    const auto kb = NumberAfter(run.line, "MB/sec), ");
    if (!readKb || !kb || run.line.find(" KB read in ") == std::string::npos) {
        run.problem = "unexpected line: " + run.line;
        return run;
    }
    run.lineReadKbPerMs = *readKb;
    run.lineKb = *kb;
    if (*kb != expectedBytes >> 10) {
        run.problem = "line reports " + std::to_string(*kb) + " KB, expected " +
                      std::to_string(expectedBytes >> 10) + ": " + run.line;
        return run;
    }
    run.outsideReadSec = Seconds(list.at - pathRead);
    run.ok = true;
    return run;
}

} // namespace bench
