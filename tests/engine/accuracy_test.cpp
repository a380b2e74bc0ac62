// The figures are the drive's: on a disk held to a known pace, each write and
// read figure, taken from the engine's own intervals, is that pace within
// 5%, by direct transfers and by the buffered path alike. The disk is a loop
// device made for the test, so the throttle applies to it alone. Needs root,
// losetup, mkfs.ext4 and a throttling cgroup controller.
#include "engine/drive_write_read.h"
#include "engine/file_io.h"
#include "engine/file_read.h"
#include "engine/test_state.h"
#include "res/resource.h"
#include "tests/support/headless_window.h"
#include "throttled_disk.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace sarnoval::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::uint64_t kPace = 10000000; // bytes per second
constexpr std::uint64_t kBytes = 20000000;

// An ext4 volume on a loop device over a sparse file, mounted for the test.
class LoopVolume {
public:
    LoopVolume() {
        base_ = fs::temp_directory_path() / ("sarnoval-accuracy-" + std::to_string(::getpid()));
        fs::create_directories(base_ / "mnt");
        const fs::path image = base_ / "disk.img";
        std::ofstream(image).close();
        fs::resize_file(image, 96u << 20);
        if (::geteuid() != 0) {
            why_ = "needs root to make a loop device";
            return;
        }
        device_ = Output("losetup --find --show " + image.string() + " 2>/dev/null");
        // Inode tables written now, not by a background thread during the test.
        if (device_.empty() ||
            std::system(("mkfs.ext4 -q -E lazy_itable_init=0,lazy_journal_init=0 " + device_ +
                         " >/dev/null 2>&1")
                            .c_str()) != 0 ||
            ::mount(device_.c_str(), Path().c_str(), "ext4", 0, nullptr) != 0) {
            why_ = "could not make an ext4 loop device (losetup, mkfs.ext4)";
            return;
        }
        mounted_ = true;
    }
    ~LoopVolume() {
        if (mounted_) {
            ::umount2(Path().c_str(), 0);
        }
        if (!device_.empty()) {
            std::system(("losetup -d " + device_).c_str());
        }
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }
    LoopVolume(const LoopVolume&) = delete;
    LoopVolume& operator=(const LoopVolume&) = delete;

    fs::path Path() const { return base_ / "mnt"; }
    const std::string& WhyNot() const { return why_; }

private:
    static std::string Output(const std::string& command) {
        std::string text;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe)) {
                text += buffer;
            }
            ::pclose(pipe);
        }
        while (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }

    fs::path base_;
    std::string device_;
    bool mounted_ = false;
    std::string why_;
};

// The steady clock just before each of the engine's clock readings.
class Timing final : public IoTrace {
public:
    void Step(IoStep step) override {
        if (step == IoStep::Clock) {
            readings.push_back(Clock::now());
        }
    }
    std::vector<Clock::time_point> readings;
};

// The counter every millisecond while a test runs.
class CounterSamples {
public:
    CounterSamples()
        : thread_([this] {
              while (!done_.load()) {
                  samples_.emplace_back(Clock::now(), g_bytesDone.load());
                  std::this_thread::sleep_for(1ms);
              }
          }) {}
    ~CounterSamples() { Stop(); }
    void Stop() {
        done_.store(true);
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    // The count last seen at or before when; after Stop.
    std::uint64_t At(Clock::time_point when) const {
        std::uint64_t count = 0;
        for (const auto& [time, value] : samples_) {
            if (time <= when) {
                count = value;
            }
        }
        return count;
    }

private:
    std::atomic<bool> done_{false};
    std::vector<std::pair<Clock::time_point, std::uint64_t>> samples_;
    std::thread thread_;
};

// Pages of the file that sit in the cache.
std::size_t CachedPages(const fs::path& path) {
    const auto size = static_cast<std::size_t>(fs::file_size(path));
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((size + page - 1) / page);
    std::size_t cached = resident.size();
    if (map != MAP_FAILED && ::mincore(map, size, resident.data()) == 0) {
        cached = 0;
        for (unsigned char r : resident) {
            cached += r & 1;
        }
    }
    ::munmap(map, size);
    return cached;
}

class Accuracy : public ::testing::Test {
protected:
    void SetUp() override {
        if (!volume_.WhyNot().empty()) {
            GTEST_SKIP() << volume_.WhyNot();
        }
        window_.SetDriveLetters({{'C', volume_.Path()}});
        window_.SetText(IDC_DRIVE_LETTER, "C");
        window_.SetChecked(IDC_SIZE_20MB, true);
        RecordTargets(&window_, &window_);
    }
    void TearDown() override { AllowDirectTransfers(true); }

    LoopVolume volume_;
    HeadlessWindow window_;
};

TEST_F(Accuracy, FiguresAreTheDisksPaceEitherWay) {
    // The file test's file, on the disk and out of the cache before the throttle.
    const fs::path data = volume_.Path() / "data.bin";
    {
        const std::vector<unsigned char> block = MakeWriteBlock();
        File out = File::Open(data, File::Mode::CreateNew);
        for (std::uint64_t done = 0; done < kBytes; done += block.size()) {
            ASSERT_TRUE(out.WriteAll(block.data(), block.size()));
        }
        ASSERT_TRUE(out.Sync());
        out.DropCache();
    }
    const ThrottledDisk throttle(volume_.Path(), kPace);
    if (!throttle.WhyNot().empty()) {
        GTEST_SKIP() << throttle.WhyNot();
    }
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "through the cache");
        AllowDirectTransfers(direct);

        Timing drive;
        CounterSamples counter;
        DriveWriteReadTest(&drive);
        counter.Stop();
        window_.SetText(IDC_FILE_PATH, data.string());
        FileReadTest();
        // The engine's own intervals, in whole milliseconds, behind the lines.
        const std::vector<ResultFigures> figures = window_.Figures();
        ASSERT_EQ(figures.size(), direct ? 2u : 4u);
        const ResultFigures& written = figures[figures.size() - 2];
        const ResultFigures& file = figures.back();
        ASSERT_EQ(written.bytes, kBytes);
        ASSERT_EQ(file.bytes, kBytes);
        const auto pace = [](std::uint64_t ms) { return kBytes * 1000.0 / ms / kPace; };
        EXPECT_NEAR(pace(written.writeMs), 1.0, 0.05) << "write";
        EXPECT_NEAR(pace(written.readMs), 1.0, 0.05) << "read-back";
        EXPECT_NEAR(pace(file.readMs), 1.0, 0.05) << "file test";
        if (direct) {
            EXPECT_EQ(CachedPages(data), 0u) << "direct reads went through the cache";
        }
        // Halfway through the write interval (between the engine's first two
        // clock readings) the count is near half: it follows the drive, not
        // the cache (through the cache, two chunks of write-behind may be ahead).
        ASSERT_GE(drive.readings.size(), 2u);
        const auto half = drive.readings[0] + (drive.readings[1] - drive.readings[0]) / 2;
        const double shown = static_cast<double>(counter.At(half)) / kBytes;
        EXPECT_GT(shown, 0.3);
        EXPECT_LT(shown, direct ? 0.6 : 0.95);
    }
    EXPECT_TRUE(window_.Messages().empty());
}

// At 1 MB/s a stop waits for the chunk under way: under about a second.
// A stop waits for the transfer under way: at 1 MB/s once the transfers have
// shrunk, and at 200 kB/s during the very first one.
TEST_F(Accuracy, StopOnASlowDiskIsPrompt) {
    struct Case {
        std::uint64_t pace;
        std::chrono::milliseconds after;
        std::chrono::milliseconds within;
    };
    for (const Case& c : {Case{1000000, 2500ms, 1000ms}, Case{200000, 300ms, 1500ms}}) {
        const ThrottledDisk throttle(volume_.Path(), c.pace);
        if (!throttle.WhyNot().empty()) {
            GTEST_SKIP() << throttle.WhyNot();
        }
        window_.SetChecked(IDC_SIZE_20MB, false);
        window_.SetChecked(IDC_SIZE_100MB, true);
        Launch(DriveWriteReadTest);
        std::this_thread::sleep_for(c.after);
        EXPECT_TRUE(fs::exists(volume_.Path() / kFirstTempName)) << "not writing yet";
        const auto start = Clock::now();
        StopTests();
        EXPECT_LT(Clock::now() - start, c.within) << c.pace;
        EXPECT_TRUE(window_.Lines().empty());
        EXPECT_FALSE(fs::exists(volume_.Path() / kFirstTempName));
        RecordTargets(&window_, &window_); // StopTests forgets them
    }
}

} // namespace
} // namespace sarnoval::testing
