#include "drive_fixture.h"
#include "engine/figures.h"
#include "engine/file_io.h"
#include "res/resource.h"
#include "throttled_disk.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <functional>
#include <regex>

namespace sarnoval::testing {
namespace {

const std::regex kDriveLine(
    R"(^C:\\, \d+x Read \(\d+ MB/sec\), \d+x Write \(\d+ MB/sec\), (\d+) KB read and written in \d+ Seconds\.$)");

TEST_F(DriveTest, WritesReadsAndRemovesTheFile) {
    struct Case {
        int option;
        std::uint64_t size;
        const char* kb;
    };
    for (const Case& c :
         {Case{IDC_SIZE_1MB, 1000000, "976"}, Case{IDC_SIZE_5MB, 5000000, "4882"}}) {
        HeadlessWindow window;
        window.SetDriveLetters(letters_);
        for (const SizeOption& option : kSizeOptions) {
            window.SetChecked(option.id, option.id == c.option);
        }
        // The drive text is read before writing, twice before the rename and once at
        // the end: look at the count and the counter loop at those moments.
        std::vector<std::uint64_t> countAtRead;
        std::atomic<bool> firstExisted{false};
        window.SetTextSource([&](int id, int index) {
            if (id == IDC_DRIVE_LETTER) {
                countAtRead.push_back(g_bytesDone.load());
                if (index == 1) {
                    firstExisted = fs::exists(driveC_ / kFirstTempName);
                }
                if (index == 1 || index == 3) {
                    std::this_thread::sleep_for(60ms); // several counter periods
                }
            }
            return std::string("C");
        });
        ASSERT_TRUE(RunCase(window, DriveWriteReadTest));

        ASSERT_EQ(window.Lines().size(), 1u)
            << (window.Messages().empty() ? "" : window.Messages()[0]);
        const std::string line = window.Lines()[0];
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, kDriveLine)) << line;
        EXPECT_EQ(match[1].str(), c.kb);
        EXPECT_EQ(countAtRead, (std::vector<std::uint64_t>{0, c.size, c.size, 0}));
        EXPECT_TRUE(firstExisted.load());
        const auto shown = window.ShownValues(IDC_KB_COUNT);
        const auto full = std::find(shown.begin(), shown.end(), c.size >> 10);
        ASSERT_NE(full, shown.end()) << "counter never showed the written size";
        EXPECT_NE(std::find(full, shown.end(), 0u), shown.end()) << "counter never fell to 0";
        for (std::uint64_t value : shown) {
            EXPECT_LE(value, c.size >> 10);
        }
        ExpectNothingLeft();
    }
}

TEST_F(DriveTest, NoSizeChosenGivesALineOfZeros) {
    ChooseSize(0);
    RunAndWait(DriveWriteReadTest);
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_TRUE(std::regex_match(
        window_.Lines()[0],
        std::regex(
            R"(^C:\\, 0x Read \(0 MB/sec\), 0x Write \(0 MB/sec\), 0 KB read and written in \d+ Seconds\.$)")))
        << window_.Lines()[0];
    ExpectNothingLeft();
}

TEST_F(DriveTest, TextThatNamesNoDriveCannotOpenForWriting) {
    ChooseSize(IDC_SIZE_1MB);
    for (const std::string& text :
         {std::string(), std::string("Q"), std::string("1"), std::string(":"), std::string("CD"),
          std::string("E"), std::string("C:\\"), std::string(150, 'C')}) {
        HeadlessWindow window;
        window.SetDriveLetters(letters_);
        window.SetText(IDC_DRIVE_LETTER, text);
        window.SetChecked(IDC_SIZE_1MB, true);
        ASSERT_TRUE(RunCase(window, DriveWriteReadTest)) << text;
        EXPECT_EQ(window.Messages(), std::vector<std::string>{kOpenWriteFailed}) << text;
        EXPECT_TRUE(window.Lines().empty()) << text;
        EXPECT_EQ(g_bytesDone.load(), 0u);
        ExpectNothingLeft();
    }
}

TEST_F(DriveTest, LowerCaseLetterNamesTheSameDrive) {
    ChooseSize(IDC_SIZE_1MB);
    window_.SetText(IDC_DRIVE_LETTER, "d");
    RunAndWait(DriveWriteReadTest);
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_EQ(window_.Lines()[0].rfind("d:\\, ", 0), 0u);
    ExpectNothingLeft();
}

// A root that refuses new files for lack of rights (the root of C: to anyone
// not elevated) is tested through the user's temporary folder, but only on
// the same volume; the line still names the drive.
TEST_F(DriveTest, RootThatRefusesNewFilesUsesTheTempFolderOnItsVolume) {
#ifdef _WIN32
    // Wine, run as root, refuses a create only where its host does: in a
    // folder ctest made immutable. Its temporary folder beside it is on the
    // same volume (the host's root, Z:).
    const char* host = std::getenv("SARNOVAL_REFUSING_ROOT");
    if (!host) {
        GTEST_SKIP() << "SARNOVAL_REFUSING_ROOT names no folder that refuses new files";
    }
    std::string name = std::string("Z:") + host;
    std::replace(name.begin(), name.end(), '/', '\\');
    const fs::path root = name;
    const fs::path temp = root.parent_path() / "refusing-temp";
    if (!File::Open(root / kFirstTempName, File::Mode::CreateNew).Refused()) {
        std::error_code ignored;
        fs::remove(root / kFirstTempName, ignored);
        GTEST_SKIP() << "the host could not make " << name << " refuse new files";
    }
    fs::create_directories(temp);
    const std::wstring before = _wgetenv(L"TMP") ? _wgetenv(L"TMP") : L"";
    _wputenv_s(L"TMP", temp.c_str());
    letters_['C'] = root;
    window_.SetDriveLetters(letters_);
    ChooseSize(IDC_SIZE_1MB);
    DriveWriteReadTest();
    _wputenv_s(L"TMP", before.c_str());
    EXPECT_TRUE(window_.Messages().empty());
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_EQ(window_.Lines()[0].rfind("C:\\, ", 0), 0u) << window_.Lines()[0];
    EXPECT_TRUE(Entries(temp).empty());
    fs::remove_all(temp);
#else
    struct Case {
        const char* name;
        fs::path temp;
        bool tested;
    };
    const Case cases[] = {
        {"temp on the same volume", dir_ / "temp", true},
        {"temp on another volume", "/dev/shm/sarnoval-test-temp", false},
    };
    ChooseSize(IDC_SIZE_1MB);
    fs::permissions(driveC_, fs::perms::owner_read | fs::perms::owner_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    for (const Case& c : cases) {
        std::error_code error;
        fs::create_directories(c.temp, error);
        struct stat temp {};
        struct stat root {};
        if (error || ::stat(c.temp.c_str(), &temp) != 0 || ::stat(driveC_.c_str(), &root) != 0 ||
            (temp.st_dev == root.st_dev) != c.tested) {
            GTEST_SKIP() << c.name << ": " << c.temp << " is not on the volume the case needs";
        }
        fs::permissions(c.temp, fs::perms::all);
        EXPECT_TRUE(AsUnprivileged([&] {
            ::setenv("TMPDIR", c.temp.c_str(), 1);
            DriveWriteReadTest();
            if (!c.tested) {
                return window_.Messages() == std::vector<std::string>{kOpenWriteFailed} &&
                       window_.Lines().empty();
            }
            return window_.Messages().empty() && window_.Lines().size() == 1 &&
                   window_.Lines()[0].rfind("C:\\, ", 0) == 0;
        })) << c.name;
        EXPECT_TRUE(Entries(c.temp).empty()) << c.name;
        fs::remove_all(c.temp, error);
    }
    fs::permissions(driveC_, fs::perms::owner_all);
    ExpectNothingLeft();
#endif
}

TEST_F(DriveTest, LetterChangedWhileWritingLeavesNothingOnEitherDrive) {
    ChooseSize(IDC_SIZE_1MB);
    window_.SetTextSource([](int, int index) { return std::string(index == 0 ? "C" : "D"); });
    RunAndWait(DriveWriteReadTest);
    EXPECT_EQ(window_.Messages(), std::vector<std::string>{kOpenReadFailed});
    EXPECT_TRUE(window_.Lines().empty());
    EXPECT_EQ(g_bytesDone.load(), 1000000u); // the counter keeps the written size
    ExpectNothingLeft();
}

TEST_F(DriveTest, WriteBlockIsFixedAndDoesNotCompress) {
    const auto block = MakeWriteBlock();
    ASSERT_EQ(block.size(), kDriveBlockBytes);
    EXPECT_EQ(block, MakeWriteBlock());
    std::array<int, 256> counts{};
    for (unsigned char byte : block) {
        ++counts[byte];
    }
    // Every byte value turns up near its share: no run of zeros or short cycle.
    for (int count : counts) {
        EXPECT_GT(count, 600);
        EXPECT_LT(count, 960);
    }
}

// A full disk, for real: the child may write only 3 MB.
TEST_F(DriveTest, FullDiskIsReportedAndLeavesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "needs RLIMIT_FSIZE to fill the disk at 3 MB, which Windows lacks";
#else
    ChooseSize(IDC_SIZE_5MB);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{3000000, 3000000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        DriveWriteReadTest(); // on this thread: no threads are started in the child
        const bool told = window_.Messages() == std::vector<std::string>{kWriteFailed};
        ::_exit(told && window_.Lines().empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "expected the write-failure message and no line";
    ExpectNothingLeft();
#endif
}

TEST_F(DriveTest, StopDuringA100MBWriteIsPromptAndLeavesNothing) {
    ChooseSize(IDC_SIZE_100MB);
    Launch(DriveWriteReadTest);
    const auto deadline = std::chrono::steady_clock::now() + kReportWait;
    while (g_bytesDone.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_GT(g_bytesDone.load(), 0u);
    const auto start = std::chrono::steady_clock::now();
    StopTests();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(window_.Lines().empty());
    EXPECT_TRUE(window_.Messages().empty());
    ExpectNothingLeft();
}

// On a drive held to 10 MB/s the count climbs at the drive's pace, not the
// cache's, and a stop waits for one chunk of write-behind at most.
TEST_F(DriveTest, CountFollowsASlowDriveAndAStopIsPrompt) {
    const ThrottledDisk slow(driveC_, 10000000);
    if (!slow.WhyNot().empty()) {
        GTEST_SKIP() << slow.WhyNot();
    }
    ChooseSize(IDC_SIZE_100MB);
    Launch(DriveWriteReadTest);
    std::this_thread::sleep_for(3s);
    // The cache alone would take all 100 MB in well under a second.
    EXPECT_LT(g_bytesDone.load(), 60000000u);
    EXPECT_GT(g_bytesDone.load(), 0u);
    const auto start = std::chrono::steady_clock::now();
    StopTests();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    ExpectNothingLeft();
}

} // namespace
} // namespace sarnoval::testing
