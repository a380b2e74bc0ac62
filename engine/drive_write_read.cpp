#include "engine/drive_write_read.h"

#include "engine/chunk_pace.h"
#include "engine/drive_paths.h"
#include "engine/figures.h"
#include "engine/file_io.h"
#include "engine/folder.h"
#include "engine/leftover.h"
#include "engine/test_state.h"
#include "res/resource.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace sarnoval {

namespace fs = std::filesystem;

namespace {

// The file this test created: its name in the folder, which file it is, and
// what a move keeps of it where the new name gets a new number.
struct OwnFile {
    const char* name;
    FileId id;
    std::optional<FileStamp> stamp;
};

TargetWindow& Window() {
    return *g_targetWindow.load();
}

std::string DriveText() {
    return Window().GetDlgItemText(IDC_DRIVE_LETTER, kDriveTextCapacity);
}

std::optional<fs::path> ChosenRoot() {
    return DriveRoot(Window().DriveLetters(), DriveText());
}

// No message once the program is closing: nobody is there to dismiss it.
void Tell(const char* text) {
    if (!StopRequested()) {
        Window().MessageBox(text);
    }
}

std::uint64_t ChosenSize() {
    std::uint64_t size = 0;
    for (const SizeOption& option : kSizeOptions) {
        if (Window().IsDlgButtonChecked(option.id)) {
            size = option.bytes;
        }
    }
    return size;
}

// Creates the first file afresh. Our own files left at either name by a run
// that was killed are cleared first; anything else there makes this fail.
File CreateFirstFile(const Folder& folder, IoTrace* trace) {
    if (!folder.ClearLeftover(kFirstTempName, trace)) {
        return File();
    }
    // A leftover second file would only take room the new one needs.
    folder.ClearLeftover(kSecondTempName, trace);
    return folder.Create(kFirstTempName, trace);
}

// The file's bytes: byte i of the file is byte i % kDriveBlockBytes of the
// write block. 64 blocks are a whole number of pages (12,800,000 bytes are
// 3,125 pages of 4 KiB), so every aligned range of the file, up to where this
// memory ends, is a range of it, and direct writes send it without a copy.
// The read-back reads into it too: what it holds then is never looked at.
constexpr std::uint64_t kPatternBytes = 64 * kDriveBlockBytes;

// Memory for a file of size bytes: no more than the file needs.
TransferBuffer MakePattern(std::uint64_t size) {
    const std::uint64_t bytes = std::min(kPatternBytes, size);
    TransferBuffer pattern =
        bytes ? AllocateTransferBuffer(static_cast<std::size_t>(bytes)) : nullptr;
    if (pattern) {
        const std::vector<unsigned char> block = MakeWriteBlock();
        for (std::uint64_t at = 0; at < bytes; at += kDriveBlockBytes) {
            std::copy(block.begin(), block.end(), pattern.get() + at);
        }
    }
    return pattern;
}

// The counter and every figure count whole blocks.
std::uint64_t WholeBlocks(std::uint64_t bytes) {
    return bytes / kDriveBlockBytes * kDriveBlockBytes;
}

std::uint64_t AlignUp(std::uint64_t bytes, std::size_t align) {
    return (bytes + align - 1) / align * align;
}

// Writes size bytes a block at a time through the cache, the count following
// the drive. False on a failure or a stop.
bool WriteThroughCache(File& out, std::uint64_t size) {
    const std::vector<unsigned char> block = MakeWriteBlock();
    std::uint64_t chunkStart = 0;
    while (g_bytesDone.load() < size) {
        if (StopRequested() || !out.WriteAll(block.data(), block.size())) {
            return false;
        }
        const std::uint64_t written = g_bytesDone.fetch_add(kDriveBlockBytes) + kDriveBlockBytes;
        if (written - chunkStart == kWriteBehindBytes) {
            // A failed writeback is reported once per open file: the Sync
            // below would not see it again.
            if (!out.StartWriteback(chunkStart, kWriteBehindBytes) ||
                (chunkStart >= kWriteBehindBytes &&
                 !out.WaitWriteback(chunkStart - kWriteBehindBytes, kWriteBehindBytes))) {
                return false;
            }
            chunkStart = written;
        }
    }
    return true;
}

// Writes size bytes of the pattern straight to the drive, in chunks that
// follow its pace, so the count is what the drive has taken; the last part
// under a page (unit) goes through the cache, into a page of its own. False
// on a failure or a stop.
bool WriteDirect(File& out, const unsigned char* pattern, std::uint64_t size, std::size_t unit) {
    const std::uint64_t direct = size / unit * unit;
    ChunkPace pace;
    std::uint64_t written = 0;
    while (written < direct) {
        const std::uint64_t at = written % kPatternBytes;
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>({pace.Bytes(), direct - written, kPatternBytes - at}));
        const auto start = std::chrono::steady_clock::now();
        if (StopRequested() || !out.WriteAll(pattern + at, length)) {
            return false;
        }
        pace.Took(length, std::chrono::steady_clock::now() - start);
        written += length;
        g_bytesDone.store(WholeBlocks(written));
    }
    out.EndDirect();
    if (written < size && !out.WriteAll(pattern + written % kPatternBytes,
                                        static_cast<std::size_t>(size - written))) {
        return false;
    }
    g_bytesDone.store(size);
    return true;
}

// Writes size bytes, directly where the file system takes it. False on a
// failure or a stop; writeMs ends once the data is on the drive.
bool WriteBlocks(File& out, const unsigned char* pattern, std::uint64_t size, IoTrace* trace,
                 std::uint64_t& writeMs) {
    // Ranges of whole 4 KiB pages, which are ranges of the pattern.
    const std::size_t align = pattern ? out.StartDirect() : 0;
    std::size_t unit = align ? std::max<std::size_t>(align, 4096) : 0;
    if (unit && kPatternBytes % unit != 0) {
        out.EndDirect();
        unit = 0;
    }
    const std::uint64_t t0 = ReadClock(trace);
    const bool written =
        unit ? WriteDirect(out, pattern, size, unit) : WriteThroughCache(out, size);
    if (!written || !out.Sync()) {
        return false;
    }
    writeMs = ReadClock(trace) - t0;
    return true;
}

// Reads back what was written, the count falling to 0. False on a short read,
// a failure or a stop. The file is touched now and then, so that another copy
// of the program never takes it for a leftover during a long read.
class ReadBack {
public:
    explicit ReadBack(File& in) : in_(in) {}

    // A block at a time through the cache.
    bool ThroughCache() {
        std::vector<unsigned char> block(kDriveBlockBytes);
        while (g_bytesDone.load() != 0) {
            bool failed = false;
            if (!Going() ||
                in_.ReadFull(block.data(), block.size(), failed, StopRequested) != block.size() ||
                failed) {
                return false;
            }
            g_bytesDone.fetch_sub(kDriveBlockBytes);
        }
        return true;
    }

    // Straight from the drive into into, in chunks that follow its pace,
    // counting down whole blocks.
    bool Direct(unsigned char* into, std::uint64_t size, std::size_t align) {
        ChunkPace pace;
        std::uint64_t read = 0;
        while (read < size) {
            const auto length = static_cast<std::size_t>(
                std::min<std::uint64_t>(pace.Bytes(), AlignUp(size - read, align)));
            bool failed = false;
            const auto start = std::chrono::steady_clock::now();
            const std::size_t got = Going() ? in_.ReadCount(into, length, failed) : 0;
            if (got == 0 || failed) {
                return false;
            }
            pace.Took(got, std::chrono::steady_clock::now() - start);
            read = std::min(size, read + got);
            g_bytesDone.store(size - WholeBlocks(read));
        }
        return true;
    }

private:
    bool Going() {
        if (std::chrono::steady_clock::now() - touched_ >= kTouchPeriod) {
            in_.Touch(); // a file system that refuses only makes a long read look idle
            touched_ = std::chrono::steady_clock::now();
        }
        return !StopRequested();
    }

    File& in_;
    std::chrono::steady_clock::time_point touched_ = std::chrono::steady_clock::now();
};

// Each phase below either succeeds or removes our file, tells the user (unless
// the program is closing) and returns false.

// Writes the whole file and leaves none of it in the cache.
bool WritePhase(const Folder& folder, File out, OwnFile& ours, const unsigned char* pattern,
                std::uint64_t size, IoTrace* trace, DriveFigures& figures) {
    bool ok = WriteBlocks(out, pattern, size, trace, figures.writeMs);
    if (ok) {
        out.DropCache(); // the read-back must come from the drive
        ours.stamp = out.Stamp();
    }
    ok = out.Close() && ok;
    if (!ok || StopRequested()) {
        folder.RemoveIfSame(ours.name, ours.id, trace);
        Tell(kWriteFailed);
        return false;
    }
    return true;
}

// Renames our file to the second name. The field is read afresh: a letter
// changed meanwhile names another drive, where our file is not, and the test
// ends. Only our own file is ever moved, and nothing at the second name is
// replaced.
bool MovePhase(const Folder& folder, const fs::path& root, OwnFile& ours, Moved& how,
               IoTrace* trace) {
    const std::optional<fs::path> first = ChosenRoot();
    const std::optional<fs::path> second = ChosenRoot();
    how = Moved::No;
    if (first == root && second == root && folder.Holds(kFirstTempName, ours.id)) {
        how = folder.Rename(kFirstTempName, kSecondTempName, trace);
    }
    if (how == Moved::No) {
        folder.RemoveIfSame(ours.name, ours.id, trace);
        Tell(kOpenReadFailed);
        return false;
    }
    ours.name = kSecondTempName;
    return true;
}

// Whether in, opened at the second name, is the file written. A rename keeps
// the file's number; a second link on a file system that numbers names
// (sshfs) gives a new one, and then what a link keeps must match: size,
// modification time, mode and owner, all read when the writing ended.
bool IsOurs(const File& in, const OwnFile& ours, Moved how) {
    if (SameFile(in.Id(), ours.id)) {
        return true;
    }
    return how == Moved::Linked && ours.stamp && in.Stamp() == ours.stamp;
}

// Reads back the file written, and only it. The interval ends when it is
// closed: deleting the file is not reading it.
bool ReadBackPhase(const Folder& folder, OwnFile& ours, Moved how, unsigned char* into,
                   IoTrace* trace, DriveFigures& figures) {
    const std::uint64_t t2 = ReadClock(trace);
    File in = folder.OpenReadBack(ours.name, trace);
    if (!in || !IsOurs(in, ours, how)) {
        in.Close();
        folder.RemoveIfSame(ours.name, ours.id, trace);
        Tell(kOpenReadFailed);
        return false;
    }
    ours.id = in.Id(); // the name's own number, where the file system numbers names
    const std::size_t align = into ? in.StartDirect() : 0;
    ReadBack reading(in);
    bool ok = align ? reading.Direct(into, figures.sizeBytes, align) : reading.ThroughCache();
    ok = in.Close() && ok;
    figures.readMsA = ReadClock(trace) - t2;
    figures.readMsB = ReadClock(trace) - t2;
    figures.readMsC = ReadClock(trace) - t2;
    folder.RemoveIfSame(ours.name, ours.id, trace);
    if (!ok) {
        Tell(kReadFailed);
    }
    return ok;
}

} // namespace

std::vector<unsigned char> MakeWriteBlock() {
    std::vector<unsigned char> block(kDriveBlockBytes);
    std::uint64_t state = 0x9E3779B97F4A7C15ull; // xorshift64: fixed seed, fixed bytes
    for (unsigned char& byte : block) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<unsigned char>(state >> 56);
    }
    return block;
}

void DriveWriteReadTest() {
    DriveWriteReadTest(nullptr);
}

void DriveWriteReadTest(IoTrace* trace) {
    g_bytesDone.store(0);
    DriveFigures figures;
    figures.sizeBytes = ChosenSize();

    // One copy of the program at a time tests a folder, and every step acts
    // on the folder locked, whatever its path comes to lead to.
    const std::optional<fs::path> root = ChosenRoot();
    std::optional<Folder> folder;
    File out;
    if (root) {
        folder.emplace(*root);
        out = folder->Held() ? CreateFirstFile(*folder, trace) : File();
    }
    const std::optional<fs::path> standIn = out.Refused() ? StandInFolder(*root) : std::nullopt;
    if (standIn) {
        folder.emplace(*standIn);
        out = folder->Held() ? CreateFirstFile(*folder, trace) : File();
    }
    if (!out) {
        Tell(kOpenWriteFailed);
        return;
    }
    OwnFile ours{kFirstTempName, out.Id(), std::nullopt};
    Moved how = Moved::No;
    // Made before any clock starts; none where direct transfers are off.
    const TransferBuffer pattern =
        DirectTransfersAllowed() ? MakePattern(figures.sizeBytes) : nullptr;
    if (!WritePhase(*folder, std::move(out), ours, pattern.get(), figures.sizeBytes, trace,
                    figures) ||
        !MovePhase(*folder, *root, ours, how, trace) ||
        !ReadBackPhase(*folder, ours, how, pattern.get(), trace, figures)) {
        return;
    }
    const std::string line = FormatDriveResult(DriveName(DriveText()), figures);
    if (!StopRequested()) {
        g_resultList.load()->AddResult(line, {figures.sizeBytes, figures.writeMs, figures.readMsB});
    }
}

} // namespace sarnoval
