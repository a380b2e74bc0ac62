#include "engine/drive_write_read.h"

#include "engine/drive_paths.h"
#include "engine/figures.h"
#include "engine/file_io.h"
#include "engine/test_state.h"
#include "res/resource.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace sarnoval {

namespace fs = std::filesystem;

namespace {

// The file this test created: where it stands now, and which file it is.
struct OwnFile {
    fs::path path;
    FileId id;
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

// The drive's root joined with name, or empty when the text names no drive.
fs::path TempPath(const char* name) {
    const auto root = ChosenRoot();
    return root ? *root / name : fs::path();
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
File CreateFirstFile(const fs::path& root, IoTrace* trace) {
    const fs::path first = root / kFirstTempName;
    if (!RemoveOwnStale(first, trace)) {
        return File();
    }
    // A stale second file would only take room the new one needs.
    RemoveOwnStale(root / kSecondTempName, trace);
    return File::Open(first, File::Mode::CreateNew, trace);
}

// Writes size bytes in blocks, the count following the drive. False on a
// failure or a stop; writeMs ends once the data is on the drive.
bool WriteBlocks(File& out, std::uint64_t size, IoTrace* trace, std::uint64_t& writeMs) {
    const std::vector<unsigned char> block = MakeWriteBlock();
    std::uint64_t chunkStart = 0;
    const std::uint64_t t0 = ReadClock(trace);
    while (g_bytesDone.load() < size) {
        if (StopRequested() || !out.WriteAll(block.data(), block.size())) {
            return false;
        }
        const std::uint64_t written = g_bytesDone.fetch_add(kDriveBlockBytes) + kDriveBlockBytes;
        if (written - chunkStart == kWriteBehindBytes) {
            out.StartWriteback(chunkStart, kWriteBehindBytes);
            if (chunkStart >= kWriteBehindBytes) {
                out.WaitWriteback(chunkStart - kWriteBehindBytes, kWriteBehindBytes);
            }
            chunkStart = written;
        }
    }
    if (!out.Sync()) {
        return false;
    }
    writeMs = ReadClock(trace) - t0;
    return true;
}

// Reads back what was written, the count falling to 0. False on a short read,
// a failure or a stop.
bool ReadBlocks(File& in) {
    std::vector<unsigned char> block(kDriveBlockBytes);
    while (g_bytesDone.load() != 0) {
        bool failed = false;
        if (StopRequested() ||
            in.ReadFull(block.data(), block.size(), failed, StopRequested) != block.size() ||
            failed) {
            return false;
        }
        g_bytesDone.fetch_sub(kDriveBlockBytes);
    }
    return true;
}

// Each phase below either succeeds or removes our file, tells the user (unless
// the program is closing) and returns false.

// Writes the whole file and leaves none of it in the cache.
bool WritePhase(File out, const OwnFile& ours, std::uint64_t size, IoTrace* trace,
                DriveFigures& figures) {
    bool ok = WriteBlocks(out, size, trace, figures.writeMs);
    if (ok) {
        out.DropCache(); // the read-back must come from the drive
    }
    ok = out.Close() && ok;
    if (!ok || StopRequested()) {
        RemoveIfSame(ours.path, ours.id, trace);
        Tell(kWriteFailed);
        return false;
    }
    return true;
}

// Renames our file to the second name. The field is read afresh, so a letter
// changed meanwhile moves the rename; only our own file is ever moved, and
// nothing at the second name is replaced.
bool MovePhase(OwnFile& ours, IoTrace* trace) {
    const fs::path first = TempPath(kFirstTempName);
    const fs::path second = TempPath(kSecondTempName);
    bool moved = false;
    if (!first.empty() && !second.empty() && IsSameFile(first, ours.id)) {
        if (RenameNoReplace(first, second, trace)) {
            ours.path = second;
            moved = IsSameFile(second, ours.id);
        } else {
            RemoveIfSame(second, ours.id, trace); // a half-done move left a second name
        }
    }
    if (!moved) {
        RemoveIfSame(ours.path, ours.id, trace);
        Tell(kOpenReadFailed);
    }
    return moved;
}

// Reads back the file written, and only it. The interval ends when it is
// closed: deleting the file is not reading it.
bool ReadBackPhase(const OwnFile& ours, IoTrace* trace, DriveFigures& figures) {
    const std::uint64_t t2 = ReadClock(trace);
    File in = File::Open(ours.path, File::Mode::ReadBack, trace);
    if (!in || in.Id() != ours.id) {
        in.Close();
        RemoveIfSame(ours.path, ours.id, trace);
        Tell(kOpenReadFailed);
        return false;
    }
    bool ok = ReadBlocks(in);
    ok = in.Close() && ok;
    figures.readMsA = ReadClock(trace) - t2;
    figures.readMsB = ReadClock(trace) - t2;
    figures.readMsC = ReadClock(trace) - t2;
    RemoveIfSame(ours.path, ours.id, trace);
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

    // One copy of the program at a time tests a folder.
    const std::optional<fs::path> root = ChosenRoot();
    const std::optional<FolderLock> lock =
        root ? std::optional<FolderLock>(std::in_place, *root) : std::nullopt;
    File out = lock && lock->Held() ? CreateFirstFile(*root, trace) : File();
    if (!out) {
        Tell(kOpenWriteFailed);
        return;
    }
    OwnFile ours{*root / kFirstTempName, out.Id()};
    if (!WritePhase(std::move(out), ours, figures.sizeBytes, trace, figures) ||
        !MovePhase(ours, trace) || !ReadBackPhase(ours, trace, figures)) {
        return;
    }
    const std::string line = FormatDriveResult(DriveName(DriveText()), figures);
    if (!StopRequested()) {
        g_resultList.load()->AddResult(line, {figures.sizeBytes, figures.writeMs, figures.readMsB});
    }
}

} // namespace sarnoval
