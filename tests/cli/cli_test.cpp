// sarnoval-cli as a script sees it: exit statuses, where each text goes, and
// that what it prints is the dialog's line for the figures it reports.
#include "engine/figures.h"
#include "tests/cli/cli_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifdef _WIN32
#include "cli/platform.h"
#include "engine/windows_api.h"
#include "tests/support/portable.h"
#endif

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

namespace sarnoval::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Whether out is the formatter's line for reading bytes of path in some interval.
bool IsFileLine(const std::string& out, const std::string& path, std::uint64_t bytes) {
    for (std::uint64_t ms = 0; ms < 60000; ++ms) {
        if (out == FormatFileResult(path, bytes, ms) + "\n") {
            return true;
        }
    }
    return false;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("sarnoval-cli-test-" + std::to_string(std::random_device()()));
        folder_ = dir_ / "drive";
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path dir_;    // the outputs go here
    fs::path folder_; // the drive test's folder
};

TEST_F(CliTest, ExitStatusesAndWhereTheTextsGo) {
    const std::string missing = (dir_ / "missing.bin").string();
    const std::string usage = "\nusage: sarnoval-cli drive";
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;       // how stderr starts, or for usage errors how it ends
        std::size_t lines = 1; // of stderr, when the test failed
    };
    const std::vector<Case> cases = {
        {{"--version"}, 0, ""},
        {{"--help"}, 0, ""},
        {{}, 2, usage},
        {{"disk"}, 2, usage},
        {{"file"}, 2, usage},
        {{"file", "x", "--size", "5"}, 2, usage},
        {{"drive", "--size", "7"}, 2, usage},
        {{"drive", "--repeat", "0"}, 2, usage},
        {{"drive", "--json=yes"}, 2, usage},
        {{"drive", "C", "D"}, 2, usage},
        {{"file", missing}, 1, missing + " - ERROR Reading File.\n"},
        // The design's text, then which file and the system's reason.
        {{"drive", (dir_ / "none").string()},
         1,
         "Error testing drive, could not open file for writing.\n" + (dir_ / "none").string(),
         2},
        // An empty folder name is no folder: never the current one.
        {{"drive", ""}, 1, "Error testing drive, could not open file for writing.\nNo drive", 2},
    };
    std::vector<Case> all = cases;
    if (const char* empty = std::getenv("SARNOVAL_EMPTY_DRIVE")) {
        // A drive with no medium: the message, never the system's box, which
        // would wait for a click.
        all.push_back({{"drive", empty, "--size", "1"},
                       1,
                       "Error testing drive, could not open file for writing.\n",
                       2});
    }
    for (const Case& c : all) {
        const CliResult r = RunCli(c.args, dir_);
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0] + " ... " + c.args.back());
        EXPECT_EQ(r.code, c.code) << r.err;
        if (c.code == 2) {
            EXPECT_NE(r.err.find(usage), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
            EXPECT_EQ(static_cast<std::size_t>(std::count(r.err.begin(), r.err.end(), '\n')),
                      c.code ? c.lines : 0)
                << r.err;
        }
        EXPECT_EQ(r.out.empty(), c.code != 0) << r.out;
    }
    EXPECT_EQ(RunCli({"--version"}, dir_).out, "sarnoval-cli " SARNOVAL_VERSION "\n");
    // With --json a failure is an object too: the message and the detail.
    const json failed =
        json::parse(RunCli({"drive", (dir_ / "none").string(), "--json"}, dir_).out);
    EXPECT_EQ(failed["error"], "Error testing drive, could not open file for writing.");
    EXPECT_EQ(failed["detail"].get<std::string>().rfind((dir_ / "none").string(), 0), 0u);
}

// What standard output holds: the version for -V, the help naming the short
// options, one line per result with a name's control characters shown as
// '?' (the JSON keeps them exact), and after --repeat a line of medians.
// Leading zeros count alike in --size and --repeat.
TEST_F(CliTest, StandardOutputIsOneLinePerResult) {
    struct Case {
        std::vector<std::string> args;
        std::string out; // a regular expression for the whole of it
    };
    std::vector<Case> cases = {
        {{"-V"}, "sarnoval-cli " SARNOVAL_VERSION "\n"},
        {{"-h"}, "[\\s\\S]*-q, --quiet[\\s\\S]*-h, --help[\\s\\S]*-V, --version[\\s\\S]*"},
        {{"drive", folder_.string(), "--size", "01", "--repeat", "002"},
         "(.:\\\\, [^\n]* 976 KB read and written in \\d+ Seconds\\.\n){2}"
         "Medians of 2 runs: write [^\n]+, read [^\n]+ \\(1 MB = 1,000,000 bytes\\)\\.\n"},
    };
#ifndef _WIN32
    const fs::path odd = dir_ / "a\nC:\\, forged line\x1b[2J.bin";
    std::ofstream(odd) << "x";
    cases.push_back(
        {{"file", odd.string()}, "[^\n]*/a\\?C:\\\\, forged line\\?\\[2J\\.bin, [^\n]*\n"});
    cases.push_back(
        {{"file", odd.string(), "--json"}, "\\{[^\n]*\\\\nC:[^\n]*\\\\u001b\\[2J[^\n]*\n"});
#endif
    for (const Case& c : cases) {
        const CliResult r = RunCli(c.args, dir_);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(std::regex_match(r.out, std::regex(c.out))) << r.out;
    }
}

// A 1 MB drive test three times: each line is the engine formatter's for the
// figures beside it, the summary holds their medians, and nothing is left.
TEST_F(CliTest, DriveJsonLinesAreTheDialogsLinesForTheirFigures) {
    const CliResult r =
        RunCli({"drive", folder_.string(), "--size", "1", "--json", "--repeat", "3"}, dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, ""); // no progress where standard error is no terminal
    std::istringstream lines(r.out);
    std::vector<json> objects;
    for (std::string text; std::getline(lines, text);) {
        objects.push_back(json::parse(text));
    }
    ASSERT_EQ(objects.size(), 4u) << r.out;
    std::vector<double> writes;
    for (int i = 0; i < 3; ++i) {
        const json& o = objects[i];
        const std::string line = o.at("line");
        const auto read = o.at("read_ms").get<std::uint64_t>();
        const DriveFigures f{o.at("bytes"), o.at("write_ms"), read, read, read};
        EXPECT_EQ(f.sizeBytes, 1000000u);
        EXPECT_EQ(line, FormatDriveResult(line.substr(0, 1) + ":\\", f));
        EXPECT_EQ(fs::path(o.at("folder").get<std::string>()), folder_);
        writes.push_back(static_cast<double>(f.writeMs));
    }
    std::sort(writes.begin(), writes.end());
    EXPECT_EQ(objects[3].at("runs"), 3);
    EXPECT_EQ(objects[3].at("median_write_ms").get<double>(), writes[1]);
    EXPECT_TRUE(fs::is_empty(folder_));
}

// The default output is the formatter's line for some interval, byte for byte.
TEST_F(CliTest, FileDefaultOutputIsTheDialogsLine) {
    const fs::path data = dir_ / "data.bin";
    std::ofstream(data, std::ios::binary) << std::string(1000000, 'x');
    const CliResult r = RunCli({"file", data.string()}, dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(IsFileLine(r.out, data.string(), 1000000)) << r.out;
}

// The file named is the file read, whatever its characters: where an 8-bit
// code page would put a look-alike in place of one ("Ł" as "L"), the file
// of the look-alike name is never read.
TEST_F(CliTest, FileTestReadsTheNamedFileNeverALookAlike) {
    struct Case {
        std::u8string typed;
        std::u8string existing;
    };
    const Case cases[] = {
        {u8"Łódź.bin", u8"Lódz.bin"},
        {u8"Āpple.bin", u8"Apple.bin"},
        {u8"ｆｕｌｌ.bin", u8"full.bin"},
        {u8"Żółw ｆ.bin", u8"Żółw ｆ.bin"}, // only the named file: it is read
    };
    for (const Case& c : cases) {
        const fs::path typed = dir_ / c.typed, existing = dir_ / c.existing;
        std::ofstream(existing, std::ios::binary) << std::string(1000, 'x');
        const std::string name = typed.string(); // UTF-8 on every system
        SCOPED_TRACE(name);
        const CliResult r = RunCli({"file", name}, dir_);
        if (typed == existing) {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_TRUE(IsFileLine(r.out, name, 1000)) << r.out;
        } else {
            EXPECT_EQ(r.code, 1) << r.out;
            EXPECT_EQ(r.err, FormatFileError(name) + "\n");
            EXPECT_EQ(r.out, "");
        }
        fs::remove(existing);
    }
}

#ifdef _WIN32
// A logoff or shutdown mid-test: Windows may end the program as soon as it has
// answered WM_ENDSESSION, so by then the file must be gone.
TEST_F(CliTest, EndOfSessionStopsTheDriveTestAndRemovesItsFile) {
    std::wstring command =
        CliPath().wstring() + L" drive \"" + folder_.wstring() + L"\" --size=100";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &start, &process));
    EXPECT_TRUE(WaitForFile(folder_ / "SarnovalTemp.TMP", std::chrono::seconds(60)));
    HWND window = nullptr;
    for (int i = 0; i < 500 && !window; ++i, ::Sleep(10)) {
        while ((window = ::FindWindowExW(nullptr, window, cli::kSessionWindowClass, nullptr))) {
            DWORD owner = 0;
            if (::GetWindowThreadProcessId(window, &owner) && owner == process.dwProcessId) {
                break;
            }
        }
    }
    ASSERT_TRUE(window);
    EXPECT_EQ(::SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    ::SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(fs::is_empty(folder_));
    DWORD code = 0;
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(::GetExitCodeProcess(process.hProcess, &code) && code == 128 + SIGTERM) << code;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}
#endif

// A folder given whole: past MAX_PATH, and on Windows in the \\?\ form too.
// The test runs there, the line names the folder's drive, nothing is left.
TEST_F(CliTest, DriveTestInALongOrPrefixedFolder) {
    fs::path deep = folder_;
    while (deep.native().size() <= 300) {
        deep /= std::string(40, 'd');
    }
    fs::create_directories(deep);
    struct Case {
        std::string given;
        fs::path folder;
    };
    std::vector<Case> cases = {{deep.string(), deep}};
#ifdef _WIN32
    cases.push_back({"\\\\?\\" + folder_.string(), folder_});
    cases.push_back({"\\\\?\\" + deep.string(), deep});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        const CliResult r = RunCli({"drive", c.given, "--size", "1", "--json"}, dir_);
        ASSERT_EQ(r.code, 0) << r.err;
        const json o = json::parse(r.out);
        EXPECT_EQ(fs::path(o.at("folder").get<std::string>()), c.folder);
#ifdef _WIN32
        EXPECT_EQ(o.at("line").get<std::string>().substr(0, 3),
                  c.folder.root_name().string() + "\\");
#endif
        for (const auto& entry : fs::directory_iterator(c.folder)) {
            EXPECT_NE(entry.path().filename().string().rfind("Sarnoval", 0), 0u) << entry.path();
        }
    }
}

#ifdef _WIN32
// On a console a name shows as it is, whatever the console's code page; the
// bytes written to a file or pipe are the test above's.
TEST_F(CliTest, ConsoleShowsNamesAsTheyAre) {
    for (const std::u8string name : {u8"Łódź.bin", u8"ｆｕｌｌ Żółw.bin"}) {
        const std::string path = (dir_ / name).string();
        SCOPED_TRACE(path);
        const std::string shown = RunCliOnConsole({"file", path});
        if (shown.empty()) {
            GTEST_SKIP() << "no console to be had";
        }
        EXPECT_EQ(shown, FormatFileError(path));
    }
}
#endif

} // namespace
} // namespace sarnoval::testing
