#include "engine/drive_write_read.h"

#include "engine/chunk_pace.h"
#include "engine/drive_paths.h"
#include "engine/figures.h"
#include "engine/file_io.h"
#include "engine/folder.h"
#include "engine/leftover.h"
#include "engine/pattern.h"
#include "engine/test_state.h"
#include "res/resource.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace sarnoval {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> g_checkReadBack{true};
std::atomic<IoTrace*> g_driveTrace{nullptr};

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
void Tell(const char* text, const FailureDetail& detail = {}) {
    if (!StopRequested()) {
        Window().MessageBox(text, detail);
    }
}

// "/home/ann/SarnovalTemp.TMP: not a file of ours."
std::string About(const fs::path& path, const std::string& why) {
    return TextFromPath(path) + ": " + why + ".";
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
// that was killed are cleared first, their age judged by the file system's
// clock; anything else at the first name makes this fail, and why says which
// file and why. secondWhy says what stays at the second name.
File CreateFirstFile(const Folder& folder, IoTrace* trace, std::string& why,
                     std::string& secondWhy) {
    const auto clock = std::chrono::system_clock::now;
    std::string reason;
    File out = folder.Create(kFirstTempName, trace);
    if (!out && out.Taken()) {
        if (!folder.ClearLeftover(kFirstTempName, folder.Now(kSecondTempName).value_or(clock()),
                                  reason, trace)) {
            why = About(folder.Path() / kFirstTempName, reason);
            return File();
        }
        out = folder.Create(kFirstTempName, trace);
    }
    if (!out) {
        why = About(folder.Path() / kFirstTempName, out.Why());
        return out;
    }
    // A leftover second file would only take room the new one needs. The new
    // file's time is the file system's clock.
    if (!folder.ClearLeftover(kSecondTempName, out.Modified().value_or(clock()), reason, trace)) {
        secondWhy = About(folder.Path() / kSecondTempName, reason);
    }
    return out;
}

std::uint64_t AlignUp(std::uint64_t bytes, std::size_t align) {
    return (bytes + align - 1) / align * align;
}

// The memory of the whole test, had before any file is made, so that a failed
// allocation leaves nothing behind. Direct transfers write from write, whose
// byte i holds the base of file byte j wherever i = j % writeBytes, and read
// into the two halves of read in turn, one checked while the next is read.
struct Buffers {
    std::vector<unsigned char> block; // through the cache
    TransferBuffer write;
    std::size_t writeBytes = 0;
    TransferBuffer read;
    std::size_t readBytes = 0;
};

std::optional<Buffers> MakeBuffers(std::uint64_t size) {
    Buffers buffers;
    try {
        buffers.block.resize(kDriveBlockBytes);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!DirectTransfersAllowed() || size == 0) {
        return buffers;
    }
    buffers.writeBytes = static_cast<std::size_t>(
        std::min<std::uint64_t>(AlignUp(size, kPeriodBytes), ChunkPace::kMostBytes));
    buffers.readBytes = static_cast<std::size_t>(
        std::min<std::uint64_t>(AlignUp(size, kPageBytes), ChunkPace::kMostBytes));
    buffers.write = AllocateTransferBuffer(buffers.writeBytes);
    buffers.read = buffers.write ? AllocateTransferBuffer(2 * buffers.readBytes) : nullptr;
    if (!buffers.read) {
        buffers.write.reset(); // through the cache, then
        return buffers;
    }
    for (std::size_t at = 0; at < buffers.writeBytes; at += kPeriodBytes) {
        std::memcpy(buffers.write.get() + at, Pattern::Base(), kPeriodBytes);
    }
    return buffers;
}

// The counter and every figure count whole blocks.
std::uint64_t WholeBlocks(std::uint64_t bytes) {
    return bytes / kDriveBlockBytes * kDriveBlockBytes;
}

// Writes size bytes a block at a time through the cache, the count following
// the drive. False on a failure or a stop.
bool WriteThroughCache(File& out, const Pattern& pattern, std::vector<unsigned char>& block,
                       std::uint64_t size) {
    std::uint64_t chunkStart = 0;
    while (g_bytesDone.load() < size) {
        const std::uint64_t at = g_bytesDone.load();
        pattern.Fill(block.data(), at, block.size());
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

// Writes size bytes straight to the drive, in chunks that follow its pace, so
// the count is what the drive has taken; the last part under a page (unit)
// goes through the cache, into a page of its own. Each chunk is written from
// where its bases already stand, its pages stamped first. False on a failure
// or a stop.
bool WriteDirect(File& out, const Pattern& pattern, Buffers& buffers, std::uint64_t size,
                 std::size_t unit, bool& direct) {
    unsigned char* const memory = buffers.write.get();
    const std::uint64_t whole = size / unit * unit;
    ChunkPace pace;
    std::uint64_t written = 0;
    while (written < whole) {
        const std::size_t at = static_cast<std::size_t>(written % buffers.writeBytes);
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>({pace.Bytes(), whole - written, buffers.writeBytes - at}));
        pattern.Stamp(memory + at, written, length);
        const auto start = std::chrono::steady_clock::now();
        if (StopRequested() || !out.WriteAll(memory + at, length)) {
            return false;
        }
        pace.Took(length, std::chrono::steady_clock::now() - start);
        written += length;
        g_bytesDone.store(WholeBlocks(written));
    }
    direct = out.ReadsBypassCache(); // unless the file system refused after all
    out.EndDirect();
    if (written < size) {
        const std::size_t at = static_cast<std::size_t>(written % buffers.writeBytes);
        const auto rest = static_cast<std::size_t>(size - written);
        pattern.Stamp(memory + at, written, rest);
        if (!out.WriteAll(memory + at, rest)) {
            return false;
        }
    }
    g_bytesDone.store(size);
    return true;
}

// Writes size bytes, directly where the file system takes it. False on a
// failure or a stop; writeMs ends once the data is on the drive.
bool WriteBlocks(File& out, const Pattern& pattern, Buffers& buffers, std::uint64_t size,
                 IoTrace* trace, std::uint64_t& writeMs, bool& direct) {
    const std::size_t align = buffers.write ? out.StartDirect() : 0;
    std::size_t unit = align ? std::max<std::size_t>(align, kPageBytes) : 0;
    if (unit && buffers.writeBytes % unit != 0) {
        out.EndDirect();
        unit = 0;
    }
    const std::uint64_t t0 = ReadClock(trace);
    direct = false;
    const bool written = unit ? WriteDirect(out, pattern, buffers, size, unit, direct)
                              : WriteThroughCache(out, pattern, buffers.block, size);
    if (!written || !out.Sync()) {
        return false;
    }
    writeMs = ReadClock(trace) - t0;
    return true;
}

// Compares what comes back with what was written, a chunk at a time, on a
// thread of its own while the next chunk is read; in line where no thread can
// be had. Its owner's scope ends it.
class Checker {
public:
    Checker(const Pattern& pattern, bool threaded)
        : pattern_(pattern), enabled_(g_checkReadBack.load()) {
        try {
            if (threaded && enabled_) {
                thread_ = std::thread([this] { Run(); });
            }
        } catch (const std::system_error&) {
        }
    }
    ~Checker() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Takes file bytes [offset, offset + size), once the chunk before is
    // checked; data stays untouched until the next call or Wait. False once
    // a difference was found.
    bool Check(const unsigned char* data, std::uint64_t offset, std::size_t size) {
        if (!enabled_) {
            return true;
        }
        if (!thread_.joinable()) {
            found_ = found_ ? found_ : pattern_.Check(data, offset, size);
            return !found_;
        }
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !job_; });
        job_ = Job{data, offset, size};
        changed_.notify_all();
        return !found_;
    }

    // As Check, for the last chunk, and waits for it: half is checked on the
    // thread and half here, so that the end of the read waits for half a check.
    bool CheckLast(const unsigned char* data, std::uint64_t offset, std::size_t size) {
        if (!enabled_ || !thread_.joinable()) {
            return Check(data, offset, size) && !Wait();
        }
        const std::size_t half = size / 2 / kPageBytes * kPageBytes;
        if (!Check(data, offset, half)) {
            return false;
        }
        std::optional<Mismatch> later = pattern_.Check(data + half, offset + half, size - half);
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !job_; });
        found_ = found_ ? found_ : later; // the thread's half comes first in the file
        return !found_;
    }

    // Waits for every chunk taken; the first difference, if any.
    std::optional<Mismatch> Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !job_; });
        return found_;
    }

private:
    struct Job {
        const unsigned char* data;
        std::uint64_t offset;
        std::size_t size;
    };

    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return job_ || quit_; });
            if (!job_) {
                return;
            }
            const Job job = *job_;
            const bool found = found_.has_value();
            lock.unlock();
            std::optional<Mismatch> mismatch =
                found ? std::nullopt : pattern_.Check(job.data, job.offset, job.size);
            lock.lock();
            found_ = found_ ? found_ : mismatch;
            job_.reset();
            changed_.notify_all();
        }
    }

    const Pattern& pattern_;
    const bool enabled_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Job> job_;
    std::optional<Mismatch> found_;
    bool quit_ = false;
    std::thread thread_; // last: started once the rest is there
};

// Reads back what was written, the count falling to 0, each chunk checked as
// it comes. False on a short read, a failure, a difference or a stop. The
// file is touched now and then, so that another copy of the program never
// takes it for a leftover during a long read.
class ReadBack {
public:
    ReadBack(File& in, Checker& checker) : in_(in), checker_(checker) {}

    // A block at a time through the cache, each checked before the next
    // is read into its memory.
    bool ThroughCache(std::vector<unsigned char>& block, std::uint64_t size) {
        while (g_bytesDone.load() != 0) {
            bool failed = false;
            const std::uint64_t at = size - g_bytesDone.load();
            if (!Going() ||
                in_.ReadFull(block.data(), block.size(), failed, StopRequested) != block.size() ||
                failed || !checker_.Check(block.data(), at, block.size()) || checker_.Wait()) {
                return false;
            }
            g_bytesDone.fetch_sub(kDriveBlockBytes);
        }
        return true;
    }

    // Straight from the drive into the halves of buffers' read memory in
    // turn, in chunks that follow its pace, counting down whole blocks.
    bool Direct(const Buffers& buffers, std::uint64_t size, std::size_t align) {
        ChunkPace pace;
        std::uint64_t read = 0;
        for (int turn = 0; read < size; turn ^= 1) {
            // Its chunk before last is checked: Check waited for that.
            unsigned char* into = buffers.read.get() + turn * buffers.readBytes;
            const auto length = static_cast<std::size_t>(
                std::min<std::uint64_t>(pace.Bytes(), AlignUp(size - read, align)));
            bool failed = false;
            const auto start = std::chrono::steady_clock::now();
            const std::size_t got = Going() ? in_.ReadCount(into, length, failed) : 0;
            const auto ours = static_cast<std::size_t>(std::min<std::uint64_t>(got, size - read));
            const bool last = read + ours == size;
            if (got == 0 || failed ||
                !(last ? checker_.CheckLast(into, read, ours) : checker_.Check(into, read, ours))) {
                return false;
            }
            pace.Took(got, std::chrono::steady_clock::now() - start);
            read += ours;
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
    Checker& checker_;
    std::chrono::steady_clock::time_point touched_ = std::chrono::steady_clock::now();
};

// Each phase below either succeeds or removes our file, tells the user (unless
// the program is closing) and returns false.

// Writes the whole file and leaves none of it in the cache.
bool WritePhase(const Folder& folder, File out, OwnFile& ours, const Pattern& pattern,
                Buffers& buffers, IoTrace* trace, DriveFigures& figures, bool& direct) {
    bool ok = WriteBlocks(out, pattern, buffers, figures.sizeBytes, trace, figures.writeMs, direct);
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
// replaced; secondWhy says what stood there.
bool MovePhase(const Folder& folder, const fs::path& root, OwnFile& ours, Moved& how,
               const std::string& secondWhy, IoTrace* trace) {
    const std::optional<fs::path> first = ChosenRoot();
    const std::optional<fs::path> second = ChosenRoot();
    how = Moved::No;
    if (first == root && second == root && folder.Holds(kFirstTempName, ours.id)) {
        how = folder.Rename(kFirstTempName, kSecondTempName, ours.id, trace);
    }
    if (how == Moved::No) {
        folder.RemoveIfSame(ours.name, ours.id, trace);
        Tell(kOpenReadFailed, {secondWhy});
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

// Reads back the file written, and only it, checking every byte. The
// interval ends when the last chunk is checked and the file closed: deleting
// the file is not reading it.
bool ReadBackPhase(const Folder& folder, OwnFile& ours, Moved how, const Pattern& pattern,
                   Buffers& buffers, IoTrace* trace, DriveFigures& figures, bool& direct) {
    Checker checker(pattern, buffers.read != nullptr); // its thread started before the clock
    const std::uint64_t t2 = ReadClock(trace);
    File in = folder.OpenReadBack(ours.name, trace);
    if (!in || !IsOurs(in, ours, how)) {
        in.Close();
        folder.RemoveIfSame(ours.name, ours.id, trace);
        Tell(kOpenReadFailed);
        return false;
    }
    ours.id = in.Id(); // the name's own number, where the file system numbers names
    const std::size_t align = buffers.read ? in.StartDirect() : 0;
    ReadBack reading(in, checker);
    bool ok = align ? reading.Direct(buffers, figures.sizeBytes, align)
                    : reading.ThroughCache(buffers.block, figures.sizeBytes);
    const std::optional<Mismatch> wrong = checker.Wait();
    direct = align && in.ReadsBypassCache() && direct;
    ok = in.Close() && ok && !wrong;
    figures.readMsA = ReadClock(trace) - t2;
    figures.readMsB = ReadClock(trace) - t2;
    figures.readMsC = ReadClock(trace) - t2;
    folder.RemoveIfSame(ours.name, ours.id, trace);
    if (wrong) {
        Tell(kDataWrong, {Describe(*wrong), wrong->offset, DamageName(wrong->how)});
    } else if (!ok) {
        Tell(kReadFailed);
    }
    return ok;
}

// Opens the folder for root and creates the first file there; where the root
// refuses it for lack of rights, in the stand-in folder on its volume. why
// says what stopped it.
File Start(std::optional<Folder>& folder, const fs::path& root, IoTrace* trace, std::string& why,
           std::string& secondWhy) {
    const auto in = [&](const fs::path& path) {
        folder.emplace(path);
        if (!folder->Held()) {
            why = About(path, folder->WhyNotHeld());
            return File();
        }
        return CreateFirstFile(*folder, trace, why, secondWhy);
    };
    File out = in(root);
    const std::optional<fs::path> standIn = out.Refused() ? StandInFolder(root) : std::nullopt;
    if (standIn) {
        why.clear();
        out = in(*standIn);
    }
    return out;
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

void CheckReadBack(bool check) {
    g_checkReadBack.store(check);
}

void TraceDriveTests(IoTrace* trace) {
    g_driveTrace.store(trace);
}

void DriveWriteReadTest() {
    DriveWriteReadTest(g_driveTrace.load());
}

void DriveWriteReadTest(IoTrace* trace) {
    g_bytesDone.store(0);
    DriveFigures figures;
    figures.sizeBytes = ChosenSize();
    const Pattern pattern(Pattern::NewTag());
    std::optional<Buffers> buffers = MakeBuffers(figures.sizeBytes);
    // One copy of the program at a time tests a folder, and every step acts
    // on the folder locked, whatever its path comes to lead to.
    const std::optional<fs::path> root = ChosenRoot();
    if (!buffers || !root) {
        Tell(kOpenWriteFailed, {buffers ? "No drive is named \"" + DriveText() + "\"."
                                        : "There is not enough memory for the test."});
        return;
    }
    std::optional<Folder> folder;
    std::string why;
    std::string secondWhy;
    File out = Start(folder, *root, trace, why, secondWhy);
    if (!out) {
        Tell(kOpenWriteFailed, {why});
        return;
    }
    OwnFile ours{kFirstTempName, out.Id(), std::nullopt};
    Moved how = Moved::No;
    bool direct = false;
    if (!WritePhase(*folder, std::move(out), ours, pattern, *buffers, trace, figures, direct) ||
        !MovePhase(*folder, *root, ours, how, secondWhy, trace) ||
        !ReadBackPhase(*folder, ours, how, pattern, *buffers, trace, figures, direct)) {
        return;
    }
    const std::string line = FormatDriveResult(DriveName(DriveText()), figures);
    if (!StopRequested()) {
        g_resultList.load()->AddResult(
            line, {figures.sizeBytes, figures.writeMs, figures.readMsB, direct, folder->Path()});
    }
}

} // namespace sarnoval
