#include "drive_test.h"
#include "engine_fixture.h"
#include "figures.h"
#include "resource.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <regex>

namespace sarnoval::testing {
namespace {

class DriveTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        driveC_ = dir_ / "c";
        driveD_ = dir_ / "d";
        fs::create_directories(driveC_);
        fs::create_directories(driveD_);
        SetDriveMap({{'C', driveC_}, {'D', driveD_}, {'E', dir_ / "absent"}});
        window_.SetText(IDC_DRIVE_LETTER, "C");
    }

    void ChooseSize(int id) {
        for (const SizeOption& option : kSizeOptions) {
            window_.SetChecked(option.id, option.id == id);
        }
    }

    void ExpectNothingLeft() {
        EXPECT_TRUE(Entries(driveC_).empty());
        EXPECT_TRUE(Entries(driveD_).empty());
        EXPECT_FALSE(fs::exists(dir_ / "absent"));
    }

    fs::path driveC_;
    fs::path driveD_;
};

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

TEST_F(DriveTest, ReadOnlyFolderCannotOpenForWriting) {
    ChooseSize(IDC_SIZE_1MB);
    fs::permissions(driveC_, fs::perms::owner_read | fs::perms::owner_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    EXPECT_TRUE(AsUnprivileged([&] {
        DriveWriteReadTest();
        return window_.Messages() == std::vector<std::string>{kOpenWriteFailed} &&
               window_.Lines().empty();
    }));
    fs::permissions(driveC_, fs::perms::owner_all);
    ExpectNothingLeft();
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

TEST_F(DriveTest, OnlyARegularFileAtTheFirstPathIsReplaced) {
    ChooseSize(IDC_SIZE_1MB);
    const fs::path first = driveC_ / kFirstTempName;
    const fs::path precious = MakeFile("precious.txt", 5, 'p');
    const fs::path elsewhere = dir_ / "elsewhere.bin";
    using Plant = std::function<void()>;
    const std::pair<const char*, Plant> cases[] = {
        {"link to a file", [&] { fs::create_symlink(precious, first); }},
        {"dangling link", [&] { fs::create_symlink(elsewhere, first); }},
        {"folder", [&] { fs::create_directory(first); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(first.c_str(), 0600), 0); }},
    };
    for (const auto& [name, plant] : cases) {
        plant();
        HeadlessWindow window;
        window.SetText(IDC_DRIVE_LETTER, "C");
        window.SetChecked(IDC_SIZE_1MB, true);
        ASSERT_TRUE(RunCase(window, DriveWriteReadTest)) << name;
        EXPECT_EQ(window.Messages(), std::vector<std::string>{kOpenWriteFailed}) << name;
        EXPECT_TRUE(window.Lines().empty()) << name;
        EXPECT_EQ(fs::file_size(precious), 5u) << name;
        EXPECT_FALSE(fs::exists(elsewhere)) << name;
        EXPECT_FALSE(fs::exists(driveC_ / kSecondTempName)) << name;
        fs::remove(first);
    }
}

TEST_F(DriveTest, StaleFilesFromAnEarlierRunAreReplaced) {
    ChooseSize(IDC_SIZE_1MB);
    std::ofstream(driveC_ / kFirstTempName) << "old first";
    std::ofstream(driveC_ / kSecondTempName) << "old second";
    RunAndWait(DriveWriteReadTest);
    ASSERT_EQ(window_.Lines().size(), 1u) << window_.Messages().size();
    const std::string line = window_.Lines()[0];
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, kDriveLine)) << line;
    EXPECT_EQ(match[1].str(), "976");
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

} // namespace
} // namespace sarnoval::testing
