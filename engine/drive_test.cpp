#include "drive_test.h"

#include "drive_paths.h"
#include "figures.h"
#include "file_io.h"
#include "resource.h"
#include "test_state.h"

#include <filesystem>
#include <optional>
#include <string>

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

// The drive's root joined with name, or empty when the text names no drive.
fs::path TempPath(const char* name) {
    const auto root = DriveRoot(DriveText());
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

// Renames our file from first to second, only if first is still our file and
// second is free. False leaves ours where it was.
bool MoveToSecondName(OwnFile& ours, const fs::path& first, const fs::path& second,
                      IoTrace* trace) {
    if (first.empty() || second.empty() || !IsSameFile(first, ours.id)) {
        return false; // the letter now names another drive, or the name was taken over
    }
    if (!RenameNoReplace(first, second, trace)) {
        RemoveIfSame(second, ours.id, trace); // a half-done move left a second name
        return false;
    }
    ours.path = second;
    return IsSameFile(second, ours.id);
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
    const std::uint64_t size = ChosenSize();

    // Write: one copy of the program at a time tests a folder.
    const std::optional<fs::path> root = DriveRoot(DriveText());
    const std::optional<FolderLock> lock =
        root ? std::optional<FolderLock>(std::in_place, *root) : std::nullopt;
    File out = lock && lock->Held() ? CreateFirstFile(*root, trace) : File();
    if (!out) {
        Tell(kOpenWriteFailed);
        return;
    }
    OwnFile ours{*root / kFirstTempName, out.Id()};
    std::uint64_t writeMs = 0;
    bool ok = WriteBlocks(out, size, trace, writeMs);
    if (ok) {
        out.DropCache(); // the read-back must come from the drive
    }
    ok = out.Close() && ok;
    if (!ok || StopRequested()) {
        RemoveIfSame(ours.path, ours.id, trace);
        Tell(kWriteFailed);
        return;
    }

    // Move: the field is read afresh, so a letter changed meanwhile moves the rename.
    const fs::path first = TempPath(kFirstTempName);
    const fs::path second = TempPath(kSecondTempName);
    if (!MoveToSecondName(ours, first, second, trace)) {
        Tell(kOpenReadFailed);
        RemoveIfSame(ours.path, ours.id, trace);
        return;
    }

    // Read back the file written, and only it.
    const std::uint64_t t2 = ReadClock(trace);
    File in = File::Open(second, File::Mode::ReadBack, trace);
    if (!in || in.Id() != ours.id) {
        in.Close();
        Tell(kOpenReadFailed);
        RemoveIfSame(ours.path, ours.id, trace);
        return;
    }
    ok = ReadBlocks(in);
    ok = in.Close() && ok;
    // The read interval ends here: deleting the file is not reading it.
    DriveFigures figures;
    figures.readMsA = ReadClock(trace) - t2;
    figures.readMsB = ReadClock(trace) - t2;
    figures.readMsC = ReadClock(trace) - t2;
    RemoveIfSame(ours.path, ours.id, trace);
    if (!ok) {
        Tell(kReadFailed);
        return;
    }

    // Report.
    figures.sizeBytes = size;
    figures.writeMs = writeMs;
    const std::string line = FormatDriveResult(DriveName(DriveText()), figures);
    if (!StopRequested()) {
        g_resultList.load()->AddString(line);
    }
}

} // namespace sarnoval
