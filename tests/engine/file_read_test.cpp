#include "engine/figures.h"
#include "engine/file_read.h"
#include "engine_fixture.h"
#include "res/resource.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <regex>

namespace sarnoval::testing {
namespace {

using FileRead = EngineTest;

// "<shown name>, Nx Read (N MB/sec), N KB read in N Seconds."
std::string KbInLine(const std::string& line) {
    static const std::regex pattern(
        R"(, \d+x Read \(\d+ MB/sec\), (\d+) KB read in \d+ Seconds\.$)");
    std::smatch match;
    return std::regex_search(line, match, pattern) ? match[1].str() : "no match: " + line;
}

TEST_F(FileRead, CountsTheBytesActuallyRead) {
    struct Case {
        std::size_t size;
        const char* kb;
    };
    for (const Case& c : {Case{0, "0"}, Case{99999, "97"}, Case{100000, "97"}, Case{150000, "146"},
                          Case{350000, "341"}, Case{1000000, "976"}}) {
        const fs::path path = MakeFile("f" + std::to_string(c.size), c.size);
        HeadlessWindow window;
        window.SetText(IDC_FILE_PATH, path.string());
        ASSERT_TRUE(RunCase(window, FileReadTest));
        ASSERT_EQ(window.Lines().size(), 1u);
        EXPECT_EQ(KbInLine(window.Lines()[0]), c.kb) << c.size;
        EXPECT_EQ(window.Lines()[0].rfind(path.string(), 0), 0u) << window.Lines()[0];
        EXPECT_EQ(g_bytesDone.load(), 0u);
    }
}

TEST_F(FileRead, ErrorLinesNameThePathWhole) {
    fs::create_directories(dir_ / "folder");
    // Longer than any fixed buffer would hold; must be reported in full.
    const std::string longMissing = (dir_ / std::string(200, 'm')).string() + "/" +
                                    std::string(200, 'n') + "/" + std::string(700, 'o');
    for (const std::string& path : {std::string(), (dir_ / "missing.bin").string(),
                                    (dir_ / "folder").string(), longMissing}) {
        HeadlessWindow window;
        window.SetText(IDC_FILE_PATH, path);
        ASSERT_TRUE(RunCase(window, FileReadTest)) << path;
        EXPECT_EQ(window.Lines(), std::vector<std::string>{path + " - ERROR Reading File."});
        EXPECT_TRUE(window.Messages().empty());
        EXPECT_FALSE(g_testRunning.load());
    }
}

// The dialog hands over names as the system's own text (the ANSI code page on
// Windows): they open the file they name.
TEST_F(FileRead, NamesBeyondAsciiOpenTheirFile) {
    int spelt = 0;
    for (const char8_t* name : {u8"caf\u00e9.bin", u8"\u20ac and \u2122.bin", u8"\u0416.bin"}) {
        const fs::path path = dir_ / fs::path(name);
        std::ofstream(path, std::ios::binary) << std::string(5000, 'n');
        const std::optional<std::string> text = DialogText(path);
        if (!text) {
            continue; // not in this code page: the dialog cannot pick it either
        }
        ++spelt;
        HeadlessWindow window;
        window.SetText(IDC_FILE_PATH, *text);
        ASSERT_TRUE(RunCase(window, FileReadTest));
        ASSERT_EQ(window.Lines().size(), 1u);
        EXPECT_EQ(KbInLine(window.Lines()[0]), "4") << window.Lines()[0];
    }
    EXPECT_GT(spelt, 0);
}

TEST_F(FileRead, UnreadableFileGivesTheErrorLine) {
    const fs::path path = MakeFile("locked.bin", 1000);
    window_.SetText(IDC_FILE_PATH, path.string());
    EXPECT_TRUE(WhileUnreadable(path, [&] {
        FileReadTest();
        return window_.Lines() ==
               std::vector<std::string>{path.string() + " - ERROR Reading File."};
    }));
}

TEST_F(FileRead, PathOver999BytesIsOpenedWhole) {
    fs::path folder = dir_;
    for (int i = 0; i < 5; ++i) {
        folder /= std::string(200, static_cast<char>('a' + i));
    }
    fs::create_directories(folder);
    const fs::path path = folder / "tail-of-the-path.bin";
    ASSERT_GT(path.string().size(), 999u);
    std::ofstream(path, std::ios::binary) << std::string(5000, 'z');
    window_.SetText(IDC_FILE_PATH, path.string());
    RunAndWait(FileReadTest);
    ASSERT_EQ(window_.Lines().size(), 1u);
    const std::string line = window_.Lines()[0];
    EXPECT_EQ(line.substr(0, 62), "..." + path.string().substr(path.string().size() - 59));
    EXPECT_EQ(KbInLine(line), "4");
}

TEST_F(FileRead, SparseFileOf5GBReportsItsTrueSize) {
    const fs::path path = dir_ / "sparse.bin";
    std::ofstream(path, std::ios::binary).close();
    fs::resize_file(path, 5000000000ull);
    window_.SetText(IDC_FILE_PATH, path.string());
    RunAndWait(FileReadTest);
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_EQ(KbInLine(window_.Lines()[0]), "4882812");
}

// A FIFO lets the test hold the reader mid-file and look at the counter.
TEST_F(FileRead, CounterShowsKilobytesWhileReadingAndZeroAfter) {
    BlockingPipe pipe(dir_, "pipe");
    ASSERT_TRUE(pipe.Ready());
    window_.SetText(IDC_FILE_PATH, pipe.Path().string());
    Launch(FileReadTest);

    const std::string chunk(50000, 'q');
    for (int i = 0; i < 5; ++i) { // 250,000 bytes: two whole blocks and half of a third
        ASSERT_TRUE(pipe.Write(chunk.data(), chunk.size()));
    }
    const auto deadline = std::chrono::steady_clock::now() + kReportWait;
    std::vector<std::uint64_t> shown;
    do {
        std::this_thread::sleep_for(5ms);
        shown = window_.ShownValues(IDC_KB_COUNT);
    } while ((shown.empty() || shown.back() != 200000 / 1024) &&
             std::chrono::steady_clock::now() < deadline);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), 200000u / 1024);
    EXPECT_TRUE(window_.Lines().empty());

    pipe.CloseWriter(); // end of file for the reader
    ASSERT_TRUE(window_.WaitForReports(1, kReportWait));
    EXPECT_EQ(KbInLine(window_.Lines()[0]), "244");
    const auto zeroBy = std::chrono::steady_clock::now() + kReportWait;
    while (window_.ShownValues(IDC_KB_COUNT).back() != 0 &&
           std::chrono::steady_clock::now() < zeroBy) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(window_.ShownValues(IDC_KB_COUNT).back(), 0u);
}

// Starts the file test on path, whose reads block for ever without a stop,
// sees it still waiting, and requires the stop to end it at once, with no line.
void ExpectStopEndsTheWait(const std::string& path) {
    HeadlessWindow window;
    window.SetText(IDC_FILE_PATH, path);
    RecordTargets(&window, &window);
    Launch(FileReadTest);
    std::this_thread::sleep_for(200ms); // in the read by now
    EXPECT_TRUE(g_testRunning.load()) << path;
    const auto start = std::chrono::steady_clock::now();
    StopTests();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << path;
    EXPECT_TRUE(window.Lines().empty()) << path;
}

// A pipe whose writer never writes, and (not on Windows, which has no pty) a
// terminal nobody types into.
TEST_F(FileRead, ReadThatBlocksEndsPromptlyOnAStop) {
    BlockingPipe pipe(dir_, "silent");
    ASSERT_TRUE(pipe.Ready());
    ExpectStopEndsTheWait(pipe.Path().string());
#ifndef _WIN32
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    ExpectStopEndsTheWait(::ptsname(terminal));
    ::close(terminal);
#endif
}

#ifdef _WIN32
// A serial port nobody sends to. Under Wine, with_comm_port.py lends one
// (a pseudo-terminal) and names it here.
TEST_F(FileRead, CommPortReadEndsPromptlyOnAStop) {
    const char* port = std::getenv("SARNOVAL_COMM_PORT");
    if (!port) {
        GTEST_SKIP() << "no comm port lent";
    }
    ExpectStopEndsTheWait(port);
}
#endif

// A device with nothing to read that is no port ends the read at once.
TEST_F(FileRead, EmptyDeviceReadsZeroBytes) {
#ifdef _WIN32
    const std::string device = "NUL";
#else
    const std::string device = "/dev/null";
#endif
    window_.SetText(IDC_FILE_PATH, device);
    RunAndWait(FileReadTest);
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_EQ(KbInLine(window_.Lines()[0]), "0");
}

} // namespace
} // namespace sarnoval::testing
