#include "engine/drive_write_read.h"

#include "engine/drive_paths.h"
#include "engine/figures.h"
#include "engine/file_io.h"
#include "engine/folder.h"
#include "engine/leftover.h"
#include "engine/test_state.h"
#include "res/resource.h"

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
    if (!out.Sync()) {
        return false;
    }
    writeMs = ReadClock(trace) - t0;
    return true;
}

// Reads back what was written, the count falling to 0. False on a short read,
// a failure or a stop. The file is touched now and then, so that another copy
// of the program never takes it for a leftover during a long read.
bool ReadBlocks(File& in) {
    std::vector<unsigned char> block(kDriveBlockBytes);
    auto touched = std::chrono::steady_clock::now();
    while (g_bytesDone.load() != 0) {
        if (std::chrono::steady_clock::now() - touched >= kTouchPeriod) {
            in.Touch(); // a file system that refuses only makes a long read look idle
            touched = std::chrono::steady_clock::now();
        }
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
bool WritePhase(const Folder& folder, File out, OwnFile& ours, std::uint64_t size, IoTrace* trace,
                DriveFigures& figures) {
    bool ok = WriteBlocks(out, size, trace, figures.writeMs);
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
// changed meanwhile names another folder, where our file is not, and the test
// ends. Only our own file is ever moved, and nothing at the second name is
// replaced.
bool MovePhase(const Folder& folder, OwnFile& ours, Moved& how, IoTrace* trace) {
    const std::optional<fs::path> first = ChosenRoot();
    const std::optional<fs::path> second = ChosenRoot();
    how = Moved::No;
    if (first == folder.Path() && second == folder.Path() &&
        folder.Holds(kFirstTempName, ours.id)) {
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
    if (in.Id() == ours.id) {
        return true;
    }
    return how == Moved::Linked && ours.stamp && in.Stamp() == ours.stamp;
}

// Reads back the file written, and only it. The interval ends when it is
// closed: deleting the file is not reading it.
bool ReadBackPhase(const Folder& folder, OwnFile& ours, Moved how, IoTrace* trace,
                   DriveFigures& figures) {
    const std::uint64_t t2 = ReadClock(trace);
    File in = folder.OpenReadBack(ours.name, trace);
    if (!in || !IsOurs(in, ours, how)) {
        in.Close();
        folder.RemoveIfSame(ours.name, ours.id, trace);
        Tell(kOpenReadFailed);
        return false;
    }
    ours.id = in.Id(); // the name's own number, where the file system numbers names
    bool ok = ReadBlocks(in);
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
    const std::optional<Folder> folder =
        root ? std::optional<Folder>(std::in_place, *root) : std::nullopt;
    File out = folder && folder->Held() ? CreateFirstFile(*folder, trace) : File();
    if (!out) {
        Tell(kOpenWriteFailed);
        return;
    }
    OwnFile ours{kFirstTempName, out.Id(), std::nullopt};
    Moved how = Moved::No;
    if (!WritePhase(*folder, std::move(out), ours, figures.sizeBytes, trace, figures) ||
        !MovePhase(*folder, ours, how, trace) ||
        !ReadBackPhase(*folder, ours, how, trace, figures)) {
        return;
    }
    const std::string line = FormatDriveResult(DriveName(DriveText()), figures);
    if (!StopRequested()) {
        g_resultList.load()->AddResult(line, {figures.sizeBytes, figures.writeMs, figures.readMsB});
    }
}

} // namespace sarnoval
