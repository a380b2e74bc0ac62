// The order of file steps and clock readings: each interval times the drive
// and nothing else. Data is on the drive before the write clock stops, the
// cache is dropped before anything is read, and deleting is not reading.
#include "drive_fixture.h"
#include "engine/file_io.h"
#include "engine/file_read.h"
#include "engine/leftover.h"
#include "engine/pattern.h"

#ifdef _WIN32
#include "engine/windows_api.h"
#endif

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <tuple>

namespace sarnoval::testing {
namespace {

const char* Name(IoStep step) {
    switch (step) {
    case IoStep::Open:
        return "Open";
    case IoStep::Write:
        return "Write";
    case IoStep::StartWriteback:
        return "StartWriteback";
    case IoStep::WaitWriteback:
        return "WaitWriteback";
    case IoStep::Sync:
        return "Sync";
    case IoStep::DropCache:
        return "DropCache";
    case IoStep::Close:
        return "Close";
    case IoStep::Rename:
        return "Rename";
    case IoStep::Remove:
        return "Remove";
    case IoStep::Read:
        return "Read";
    case IoStep::Clock:
        return "Clock";
    }
    return "?";
}

// Records the steps; onStep may act at a given step (called before it is done).
class Recorder final : public IoTrace {
public:
    std::function<void(IoStep, int countOfThisStep)> onStep;

    void Step(IoStep step) override {
        steps_.push_back(step);
        if (onStep) {
            onStep(step, static_cast<int>(std::count(steps_.begin(), steps_.end(), step)));
        }
    }

    // "Open Clock Write*5 ...": runs of one step folded.
    std::string Text() const {
        std::ostringstream text;
        for (std::size_t i = 0; i < steps_.size();) {
            std::size_t run = 1;
            while (i + run < steps_.size() && steps_[i + run] == steps_[i]) {
                ++run;
            }
            text << (i ? " " : "") << Name(steps_[i]);
            if (run > 1) {
                text << '*' << run;
            }
            i += run;
        }
        return text.str();
    }

private:
    std::vector<IoStep> steps_;
};

// Direct transfers on or off for one case; the file system decides whether a
// file takes them.
class DirectTransfers {
public:
    explicit DirectTransfers(bool allow) { AllowDirectTransfers(allow); }
    ~DirectTransfers() { AllowDirectTransfers(true); }
    DirectTransfers(const DirectTransfers&) = delete;
    DirectTransfers& operator=(const DirectTransfers&) = delete;

    // Whether a new file in folder is written directly, and a file there
    // read directly.
    static std::pair<bool, bool> TakenIn(const fs::path& folder) {
        const fs::path probe = folder / "probe";
        File file = File::Open(probe, File::Mode::CreateNew);
        const bool writes = file.StartDirect() != 0;
        file.Close();
        const bool reads = File::Open(probe, File::Mode::Read).StartDirect() != 0;
        fs::remove(probe);
        return {writes, reads};
    }
};

using OrderTest = DriveTest;

TEST_F(OrderTest, DriveTestTimesOnlyTheDrive) {
    const std::string chunk = "Write*20 StartWriteback";
    const std::string chunkAfterFirst = chunk + " WaitWriteback";
    const std::string readBack = "Close Rename Clock Open";
    const std::string small =
        "Open Clock Write*5 Sync Clock DropCache " + readBack + " Read*5 Close Clock*3 Remove";
    // Direct: 999,424 bytes (whole pages) straight to the drive in chunks of
    // 256 KiB and up, as the drive's pace allows, the last 576 through the
    // cache; read back the same way.
    const auto [writes, reads] = DirectTransfers::TakenIn(driveC_);
    const std::string smallDirect =
        "Open Clock " + std::string(writes ? "Write\\*[45]" : "Write\\*5") +
        " Sync Clock DropCache " + readBack + (reads ? " Read\\*[34]" : " Read\\*5") +
        " Close Clock\\*3 Remove";
    const auto literal = [](std::string text) {
        return std::regex_replace(text, std::regex(R"(\*)"), R"(\*)");
    };
    const std::tuple<bool, int, std::string> cases[] = {
        {false, IDC_SIZE_1MB, literal(small)},
        {false, IDC_SIZE_20MB,
         literal("Open Clock " + chunk + " " + chunkAfterFirst + " " + chunkAfterFirst + " " +
                 chunkAfterFirst + " " + chunkAfterFirst + " Sync Clock DropCache " + readBack +
                 " Read*100 Close Clock*3 Remove")},
        {true, IDC_SIZE_1MB, smallDirect},
    };
    for (const auto& [allow, size, expected] : cases) {
        const DirectTransfers transfers(allow);
        HeadlessWindow window;
        ForDriveC(window, size);
        RecordTargets(&window, &window);
        Recorder trace;
        DriveWriteReadTest(&trace);
        ASSERT_EQ(window.Lines().size(), 1u);
        EXPECT_TRUE(std::regex_match(trace.Text(), std::regex(expected))) << trace.Text() << "\n"
                                                                          << expected;
        ExpectNothingLeft();
    }
}

TEST_F(OrderTest, FileTestDropsTheCacheBeforeItsClockStarts) {
    window_.SetText(IDC_FILE_PATH, MakeFile("f.bin", 250000).string());
    const bool direct = DirectTransfers::TakenIn(dir_).second;
    for (const bool allow : {false, true}) {
        const DirectTransfers transfers(allow);
        Recorder trace;
        FileReadTest(&trace);
        // Direct: one chunk, short at the end of the file.
        EXPECT_EQ(trace.Text(), allow && direct ? "Open DropCache Clock Read Clock Close"
                                                : "Open DropCache Clock Read*3 Clock Close");
    }
    ASSERT_EQ(window_.Lines().size(), 2u);
}

// Every page of the file carries its offset and the run's tag over the
// pattern's bases, byte for byte, whichever way it is written: what the
// read-back checks and the leftover rule knows.
TEST_F(OrderTest, FileWrittenIsThePatternStamped) {
    for (const bool allow : {false, true}) {
        const DirectTransfers transfers(allow);
        ChooseSize(IDC_SIZE_20MB); // past the direct writes' memory
        Recorder trace;
        std::string written;
        trace.onStep = [&](IoStep step, int) {
            if (step == IoStep::Rename) {
                std::ifstream in(driveC_ / kFirstTempName, std::ios::binary);
                written.assign(std::istreambuf_iterator<char>(in), {});
            }
        };
        DriveWriteReadTest(&trace);
        ASSERT_EQ(written.size(), 20000000u) << allow;
        const auto* bytes = reinterpret_cast<const unsigned char*>(written.data());
        std::uint64_t tag = 0;
        std::memcpy(&tag, bytes + 8, sizeof tag);
        EXPECT_FALSE(Pattern(tag).Check(bytes, 0, written.size())) << allow;
        EXPECT_EQ(window_.Lines().size(), allow ? 2u : 1u);
    }
}

// A byte changed on the drive after the write is found where it is, direct
// and through the cache: in the first chunk read, and in the last chunk's
// second half, which the read-back checks in line with its own end.
TEST_F(OrderTest, ByteChangedOnTheDriveIsFoundWhereItIs) {
    constexpr std::uint64_t kSize = 5000000;
    for (const bool allow : {false, true}) {
        for (const std::uint64_t at : {std::uint64_t{12345}, kSize - 1}) {
            const DirectTransfers transfers(allow);
            HeadlessWindow window;
            ForDriveC(window, IDC_SIZE_5MB);
            RecordTargets(&window, &window);
            Recorder trace;
            trace.onStep = [&](IoStep step, int count) {
                if (step == IoStep::Clock && count == 3) { // t2: the read-back is about to open
                    std::fstream file(driveC_ / kSecondTempName,
                                      std::ios::in | std::ios::out | std::ios::binary);
                    file.seekg(static_cast<std::streamoff>(at));
                    const char changed = static_cast<char>(file.get() ^ 0x01);
                    file.seekp(static_cast<std::streamoff>(at));
                    file.put(changed);
                }
            };
            DriveWriteReadTest(&trace);
            EXPECT_EQ(window.Messages(), std::vector<std::string>{kDataWrong}) << at << allow;
            ASSERT_EQ(window.Details().size(), 1u) << at << allow;
            EXPECT_EQ(window.Details()[0].badOffset, at) << allow;
            ExpectNothingLeft();
        }
    }
}

// What a run killed at any point leaves (the file as it stood at that step)
// stops the next run, which says why, while it is fresh; once it is stale the
// next run removes it and reports its line.
TEST_F(OrderTest, WhatAKilledRunLeavesIsClearedOnceStale) {
    struct Case {
        const char* what;
        bool direct;
        IoStep step;
        int count;
        const char* name; // where it stood then
        const char* message;
    };
    const Case cases[] = {
        {"mid-write, direct", true, IoStep::Write, 3, kFirstTempName, kOpenWriteFailed},
        {"mid-write, through the cache", false, IoStep::Write, 3, kFirstTempName, kOpenWriteFailed},
        {"during the read-back", true, IoStep::Read, 2, kSecondTempName, kOpenReadFailed},
    };
    const fs::path kept = dir_ / "kept";
    for (const Case& c : cases) {
        const DirectTransfers transfers(c.direct);
        Recorder trace;
        trace.onStep = [&](IoStep step, int count) {
            if (step == c.step && count == c.count) {
                fs::copy_file(driveC_ / c.name, kept, fs::copy_options::overwrite_existing);
            }
        };
        ChooseSize(IDC_SIZE_5MB);
        RecordTargets(&window_, &window_);
        DriveWriteReadTest(&trace);
        const fs::path at = driveC_ / c.name;
        fs::rename(kept, at);
        for (const auto age : {kLeftoverAge / 4, 2 * kLeftoverAge}) {
            fs::last_write_time(at, fs::file_time_type::clock::now() - age);
            HeadlessWindow window;
            ForDriveC(window, IDC_SIZE_1MB);
            ASSERT_TRUE(RunCase(window, DriveWriteReadTest)) << c.what;
            if (age < kLeftoverAge) {
                EXPECT_EQ(window.Messages(), std::vector<std::string>{c.message}) << c.what;
                EXPECT_TRUE(std::regex_search(window.Details().at(0).text,
                                              std::regex("ended 1[5-9] seconds ago")))
                    << c.what << ": " << window.Details()[0].text;
                EXPECT_TRUE(fs::exists(at)) << c.what;
            } else {
                EXPECT_TRUE(window.Messages().empty()) << c.what;
                EXPECT_EQ(window.Lines().size(), 1u) << c.what;
                EXPECT_TRUE(Entries(driveC_).empty()) << c.what;
            }
        }
    }
}

TEST_F(OrderTest, StopWhileWritingEndsTheWritesAndRemovesTheFile) {
    ChooseSize(IDC_SIZE_100MB);
    Recorder trace;
    trace.onStep = [](IoStep step, int count) {
        if (step == IoStep::Write && count == 3) {
            RequestStop();
        }
    };
    DriveWriteReadTest(&trace);
    EXPECT_EQ(trace.Text(), "Open Clock Write*3 Close Remove");
    EXPECT_TRUE(window_.Lines().empty());
    EXPECT_TRUE(window_.Messages().empty());
    ExpectNothingLeft();
}

// Our stale file at the second name is gone before the first byte is written,
// so a small volume has room for the new one.
TEST_F(OrderTest, OwnStaleSecondFileIsRemovedBeforeWriting) {
    ChooseSize(IDC_SIZE_1MB);
    const fs::path second = driveC_ / kSecondTempName;
    PlantLeftover(second, 2 * kDriveBlockBytes, 2 * kLeftoverAge);
    Recorder trace;
    bool staleWhileWriting = true;
    trace.onStep = [&](IoStep step, int count) {
        if (step == IoStep::Write && count == 1) {
            staleWhileWriting = fs::exists(second);
        }
    };
    DriveWriteReadTest(&trace);
    EXPECT_FALSE(staleWhileWriting);
    EXPECT_EQ(window_.Lines().size(), 1u);
    ExpectNothingLeft();
}

// A file put at the second name between the rename and the read-back (a race
// in a shared folder) is not read: the figures would be its, not the drive's.
TEST_F(OrderTest, FileSwappedInBeforeTheReadBackIsNotRead) {
    ChooseSize(IDC_SIZE_1MB);
    const fs::path second = driveC_ / kSecondTempName;
    Recorder trace;
    trace.onStep = [&](IoStep step, int count) {
        if (step == IoStep::Clock && count == 3) { // t2: the read-back is about to open
            // Made before ours goes, so it cannot get our freed inode number.
            const fs::path other = driveC_ / "other";
            std::ofstream(other, std::ios::binary) << std::string(1000000, 'x');
            fs::rename(other, second);
        }
    };
    DriveWriteReadTest(&trace);
    EXPECT_EQ(window_.Messages(), std::vector<std::string>{kOpenReadFailed});
    EXPECT_TRUE(window_.Lines().empty());
    EXPECT_EQ(fs::file_size(second), 1000000u); // not ours: left alone
}

// The first file is only ever a new one: nothing that stands at the name is
// opened, whatever the checks before it let through.
TEST_F(OrderTest, CreateNewNeverOpensAnExistingName) {
    const fs::path file = MakeFile("exists.bin", 3);
    std::vector<fs::path> taken = {file, dir_};
    const fs::path link = dir_ / "link";
    if (MakeSymlink(dir_ / "nowhere", link)) { // not under Wine
        taken.push_back(link);
    }
    for (const fs::path& path : taken) {
        EXPECT_FALSE(File::Open(path, File::Mode::CreateNew)) << path;
    }
    EXPECT_EQ(fs::file_size(file), 3u);
    EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

#ifdef _WIN32
// A file swapped in at the first name just before the rename (a race in a
// shared folder) is not moved: the rename acts only on the file it checked.
TEST_F(OrderTest, FileSwappedInBeforeTheRenameIsNotMoved) {
    ChooseSize(IDC_SIZE_1MB);
    const fs::path first = driveC_ / kFirstTempName;
    Recorder trace;
    trace.onStep = [&](IoStep step, int) {
        if (step == IoStep::Rename) {
            fs::rename(first, dir_ / "ours");
            std::ofstream(first, std::ios::binary) << "theirs";
        }
    };
    DriveWriteReadTest(&trace);
    EXPECT_EQ(window_.Messages(), std::vector<std::string>{kOpenReadFailed});
    EXPECT_EQ(Entries(driveC_), std::vector<std::string>{kFirstTempName});
    EXPECT_EQ(fs::file_size(first), 6u);
}

// Whether this system deletes with POSIX semantics: the name goes at once
// while another handle still holds the file.
bool NameGoesAtOnce(const fs::path& scratch) {
    const HANDLE held = ::CreateFileW(scratch.c_str(), GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, 0, nullptr);
    const HANDLE other = ::CreateFileW(scratch.c_str(), DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    struct {
        DWORD flags;
    } posix{0x1 | 0x2}; // delete, POSIX semantics
    const bool done = ::SetFileInformationByHandle(
        other, static_cast<FILE_INFO_BY_HANDLE_CLASS>(21), &posix, sizeof posix);
    ::CloseHandle(other);
    const bool gone = done && !fs::exists(scratch);
    ::CloseHandle(held);
    return gone;
}

// Removed while a scanner holds the file open (it shares deletion): the name
// is free again at once where the system deletes with POSIX semantics, so the
// next run's create works; elsewhere the file goes when the scanner lets go.
TEST_F(OrderTest, FileHeldByAScannerIsRemovedAndItsNameFree) {
    ChooseSize(IDC_SIZE_1MB);
    const bool posix = NameGoesAtOnce(dir_ / "probe");
    std::cout << "delete path: " << (posix ? "POSIX semantics" : "fallback, on the last close")
              << "\n";
    const fs::path second = driveC_ / kSecondTempName;
    HANDLE scanner = INVALID_HANDLE_VALUE;
    Recorder trace;
    trace.onStep = [&](IoStep step, int) {
        if (step == IoStep::Remove) {
            scanner = ::CreateFileW(second.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        }
    };
    DriveWriteReadTest(&trace);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    EXPECT_EQ(window_.Lines().size(), 1u);
    File again = File::Open(second, File::Mode::CreateNew);
    EXPECT_EQ(static_cast<bool>(again), posix) << again.Why();
    again.Close();
    ::CloseHandle(scanner);
    fs::remove(second);
    ExpectNothingLeft();
}
#endif

} // namespace
} // namespace sarnoval::testing
