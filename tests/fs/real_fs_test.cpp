// The drive and file tests on real file systems, mounted for each case: a
// network share, a disk that loses data it accepted, a volume unmounted in
// the middle of a test, one share under two mount points, and the common disk
// formats. Mounting needs root and the tools; a case that cannot skips.
#include "engine/drive_write_read.h"
#include "engine/figures.h"
#include "engine/file_io.h"
#include "engine/file_read.h"
#include "engine/pattern.h"
#include "engine/volume.h"
#include "tests/engine/engine_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <regex>

namespace sarnoval::testing {
namespace {

// Runs a shell command; its output, and its exit code in status.
std::string Shell(const std::string& command, int& status) {
    std::string out;
    status = -1;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
            out.append(buffer, n);
        }
        const int result = ::pclose(pipe);
        status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }
    return out;
}

int Shell(const std::string& command) {
    int status = 0;
    Shell(command, status);
    return status;
}

const std::string kScript = std::string("bash ") + SARNOVAL_MOUNTS_SH;
constexpr int kCannot = 77; // the script's answer where this machine cannot mount

// A file system mounted by the script, taken down again when this goes.
class Mounted {
public:
    Mounted(fs::path state, fs::path backing)
        : state_(std::move(state)), backing_(std::move(backing)) {}
    Mounted(const Mounted&) = delete;
    Mounted& operator=(const Mounted&) = delete;
    ~Mounted() { Shell(kScript + " down " + state_.string()); }

    fs::path Root() const { return state_ / "mnt"; }
    // The folder shown at Root(), for the kinds that show one.
    fs::path Backing() const { return backing_.empty() ? state_ / "back" : backing_; }

private:
    fs::path state_;
    fs::path backing_;
};

// Acts once, just before the count-th step of its kind.
class ActAt final : public IoTrace {
public:
    ActAt(IoStep step, int count, std::function<void()> act)
        : step_(step), count_(count), act_(std::move(act)) {}
    void Step(IoStep step) override {
        if (step == step_ && ++seen_ == count_) {
            act_();
        }
    }

private:
    IoStep step_;
    int count_;
    std::function<void()> act_;
    int seen_ = 0;
};

class RealFsTest : public EngineTest {
protected:
    static void SetUpTestSuite() { Shell(kScript + " sweep"); } // what a killed run left

    // Null when it could not mount: the case is then skipped (no root, no
    // tool) or failed, and should return.
    std::unique_ptr<Mounted> Mount(const std::string& kind, const std::string& options = "-",
                                   const fs::path& backing = {}) {
        int status = 0;
        const std::string out = Shell("FAULT_FS='" SARNOVAL_FAULT_FS "' " + kScript + " up " +
                                          std::to_string(::getpid()) + " " + kind + " '" + options +
                                          "' " + backing.string() + " 2>&1",
                                      status);
        if (status == kCannot) {
            [&] { GTEST_SKIP() << kind << ": " << out; }();
            return nullptr;
        }
        if (status != 0) {
            ADD_FAILURE() << "could not mount " << kind << ": " << out;
            return nullptr;
        }
        return std::make_unique<Mounted>(out.substr(0, out.find('\n')), backing);
    }

    // A drive test of size on folder, as drive C, on this thread.
    static void DriveTestOn(HeadlessWindow& window, const fs::path& folder, int size,
                            IoTrace* trace = nullptr) {
        window.SetDriveLetters({{'C', folder}});
        window.SetText(IDC_DRIVE_LETTER, "C");
        for (const SizeOption& option : kSizeOptions) {
            window.SetChecked(option.id, option.id == size);
        }
        RecordTargets(&window, &window);
        DriveWriteReadTest(trace);
    }

    // Our temporary files in folder.
    static std::vector<std::string> TempFiles(const fs::path& folder) {
        std::vector<std::string> ours;
        for (const std::string& name : Entries(folder)) {
            if (name == kFirstTempName || name == kSecondTempName) {
                ours.push_back(name);
            }
        }
        return ours;
    }
};

const std::vector<std::string> kNone;

std::regex DriveLine(const char* kilobytes) {
    return std::regex(
        std::string(R"(^C:\\, \d+x Read \(\d+ MB/sec\), \d+x Write \(\d+ MB/sec\), )") + kilobytes +
        R"( KB read and written in \d+ Seconds\.$)");
}

// sshfs refuses a no-replace rename, and the link that stands in for it gives
// the new name a new inode number: the file written is still the one read
// back and deleted.
TEST_F(RealFsTest, NetworkShareGivesALineAndKeepsNothing) {
    const auto share = Mount("sshfs");
    if (!share) {
        return;
    }
    DriveTestOn(window_, share->Root(), IDC_SIZE_1MB);
    EXPECT_EQ(TempFiles(share->Backing()), kNone);
    EXPECT_EQ(window_.Messages(), kNone);
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_TRUE(std::regex_match(window_.Lines()[0], DriveLine("976"))) << window_.Lines()[0];
}

// The disk accepts every write and loses the first block on its way from the
// cache. With 4 MB chunks, the wait for the first chunk is the only call told:
// Linux reports a writeback error once per open file, so the final fsync
// succeeds. The test must say so, not give a speed.
TEST_F(RealFsTest, DataLostAfterItWasAcceptedIsAWriteError) {
    const auto disk = Mount("fault", "eio_from=0,eio_bytes=200000");
    if (!disk) {
        return;
    }
    DriveTestOn(window_, disk->Root(), IDC_SIZE_20MB);
    EXPECT_EQ(window_.Messages(), std::vector<std::string>{kWriteFailed});
    EXPECT_EQ(window_.Lines(), kNone);
    EXPECT_EQ(Entries(disk->Backing()), kNone);
}

// A disk that returns other data than it was given gets an error, never a
// speed, and the file goes: a flipped bit, another place's page (one a whole
// pattern period away too, whose bytes under the stamp are the same), or
// zeros. Undamaged, the same layer gives a line.
TEST_F(RealFsTest, DataReadBackWrongIsAnErrorSayingWhereAndHow) {
    constexpr std::uint64_t kAt = 1234567;
    constexpr std::uint64_t kPage = kAt / kPageBytes * kPageBytes;
    const std::string at = ",damage_at=" + std::to_string(kAt);
    struct Case {
        std::string options;
        const char* damage; // null: undamaged
        std::uint64_t from;
    };
    const Case cases[] = {
        {"-", nullptr, 0},
        {"damage=bits" + at, "bits", 0},
        {"damage=moved,moved_from=40960" + at, "moved", 40960},
        {"damage=moved,moved_from=" + std::to_string(kPage - kPeriodBytes) + at, "moved",
         kPage - kPeriodBytes},
        {"damage=zeros" + at, "zeros", 0},
    };
    for (const Case& c : cases) {
        const auto disk = Mount("fault", c.options);
        if (!disk) {
            return;
        }
        HeadlessWindow window;
        DriveTestOn(window, disk->Root(), IDC_SIZE_5MB);
        EXPECT_EQ(Entries(disk->Backing()), kNone) << c.options;
        if (!c.damage) {
            EXPECT_EQ(window.Lines().size(), 1u) << c.options;
            continue;
        }
        EXPECT_EQ(window.Messages(), std::vector<std::string>{kDataWrong}) << c.options;
        EXPECT_EQ(window.Lines(), kNone) << c.options;
        ASSERT_EQ(window.Details().size(), 1u) << c.options;
        const FailureDetail detail = window.Details()[0];
        ASSERT_TRUE(detail.badOffset) << c.options;
        EXPECT_EQ(*detail.badOffset / kPageBytes, kPage / kPageBytes) << c.options;
        EXPECT_TRUE(std::string(c.damage) != "bits" || *detail.badOffset == kAt) << c.options;
        EXPECT_STREQ(detail.damage, c.damage) << c.options;
        EXPECT_NE(detail.text.find(std::to_string(c.from ? c.from : *detail.badOffset)),
                  std::string::npos)
            << c.options << ": " << detail.text;
    }
}

// A server whose clock runs two minutes behind this machine's: a file of ours
// at either name, modified just now by the server's clock (another copy's,
// through a second mount), is not taken for a stale leftover.
TEST_F(RealFsTest, LeftoverAgeIsTheServersClocks) {
    const std::pair<const char*, const char*> names[] = {
        {kFirstTempName, kOpenWriteFailed},
        {kSecondTempName, kOpenReadFailed},
    };
    for (const auto& [name, message] : names) {
        const auto share = Mount("fault", "skew=-120");
        if (!share) {
            return;
        }
        std::string bytes(1000000, '\0');
        Pattern(9).Fill(reinterpret_cast<unsigned char*>(bytes.data()), 0, bytes.size());
        std::ofstream(share->Backing() / name, std::ios::binary) << bytes;
        HeadlessWindow window;
        DriveTestOn(window, share->Root(), IDC_SIZE_1MB);
        EXPECT_EQ(window.Messages(), std::vector<std::string>{message}) << name;
        EXPECT_EQ(TempFiles(share->Backing()), std::vector<std::string>{name});
        std::ifstream in(share->Backing() / name, std::ios::binary);
        EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == bytes) << name;
    }
}

// A volume unmounted lazily mid-test: the names lead to the empty mount point,
// but the test still acts on the volume it locked and leaves nothing there.
TEST_F(RealFsTest, VolumeUnmountedMidTestKeepsNoFileOfOurs) {
    const std::pair<IoStep, const char*> moments[] = {
        {IoStep::Write, "the first write"},
        {IoStep::Rename, "the rename"},
        {IoStep::Read, "the read-back"},
    };
    for (const auto& [step, when] : moments) {
        const auto volume = Mount("bind");
        if (!volume) {
            return;
        }
        const fs::path at = volume->Root();
        ActAt trace(step, 1, [&] { EXPECT_EQ(Shell("umount -l " + at.string()), 0) << when; });
        HeadlessWindow window;
        DriveTestOn(window, at, IDC_SIZE_1MB, &trace);
        EXPECT_EQ(window.Lines().size() + window.Messages().size(), 1u) << when;
        EXPECT_EQ(TempFiles(volume->Backing()), kNone) << "unmounted before " << when;
        EXPECT_EQ(Entries(at), kNone) << "unmounted before " << when;
    }
}

// Names the second copy's folder in the child process.
constexpr const char* kSecondVariable = "SARNOVAL_FS_SECOND";

// One share under two mount points: the folder lock on one does not reach
// the other. A second copy, started on the other mount while the first
// writes, must not take the file being written for a leftover: it is
// refused, and the first completes.
TEST_F(RealFsTest, SecondMountOfOneShareLeavesTheFirstCopysFile) {
    if (const char* folder = std::getenv(kSecondVariable)) {
        DriveTestOn(window_, folder, IDC_SIZE_1MB);
        EXPECT_EQ(window_.Messages(), std::vector<std::string>{kOpenWriteFailed});
        EXPECT_EQ(window_.Lines(), kNone);
        return;
    }
    const auto one = Mount("fault");
    if (!one) {
        return;
    }
    const auto two = Mount("fault", "-", one->Backing());
    if (!two) {
        return;
    }
    const auto* self = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test = std::string(self->test_suite_name()) + "." + self->name();
    int second = -1;
    ActAt trace(IoStep::Write, 3, [&] {
        ChildRun child(test, kSecondVariable, two->Root().string());
        second = child.Wait();
    });
    DriveTestOn(window_, one->Root(), IDC_SIZE_5MB, &trace);
    EXPECT_EQ(second, 0) << "the second copy did not leave the first's file alone";
    EXPECT_EQ(Entries(one->Backing()), kNone);
    EXPECT_EQ(window_.Messages(), kNone);
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_TRUE(std::regex_match(window_.Lines()[0], DriveLine("4882"))) << window_.Lines()[0];
}

// The formats a user's disks and sticks come in: both tests work there, and
// say whether they went past the cache; where they could not, the result
// warns that the figures may be the cache's.
struct Format {
    const char* kind;
    bool direct;
};

class DiskFormatTest : public RealFsTest, public ::testing::WithParamInterface<Format> {};

TEST_P(DiskFormatTest, DriveAndFileTestsGiveTheirLines) {
    const auto disk = Mount(GetParam().kind);
    if (!disk) {
        return;
    }
    const std::vector<std::string> before = Entries(disk->Root()); // lost+found
    DriveTestOn(window_, disk->Root(), IDC_SIZE_1MB);
    EXPECT_EQ(Entries(disk->Root()), before);
    EXPECT_EQ(window_.Messages(), kNone);
    ASSERT_EQ(window_.Lines().size(), 1u);
    EXPECT_TRUE(std::regex_match(window_.Lines()[0], DriveLine("976"))) << window_.Lines()[0];
    const ResultFigures figures = window_.Figures().at(0);
    EXPECT_EQ(figures.direct, GetParam().direct);
    EXPECT_EQ(Warnings(DescribeStorage(figures.where), figures.direct, 0, 0).empty(),
              GetParam().direct);

    const fs::path file = disk->Root() / "data.bin";
    std::ofstream(file, std::ios::binary) << std::string(300000, 'd');
    HeadlessWindow window;
    window.SetText(IDC_FILE_PATH, file.string());
    RecordTargets(&window, &window);
    FileReadTest();
    ASSERT_EQ(window.Lines().size(), 1u);
    static const std::regex line(R"(, \d+x Read \(\d+ MB/sec\), 292 KB read in \d+ Seconds\.$)");
    EXPECT_TRUE(std::regex_search(window.Lines()[0], line)) << window.Lines()[0];
}

INSTANTIATE_TEST_SUITE_P(RealFs, DiskFormatTest,
                         ::testing::Values(Format{"ext4", true}, Format{"xfs", true},
                                           Format{"btrfs", true}, Format{"exfat", false},
                                           Format{"tmpfs", false}),
                         [](const auto& info) { return std::string(info.param.kind); });

} // namespace
} // namespace sarnoval::testing
