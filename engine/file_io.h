// Thin, checked file access for the tests: every call reports failure, reads
// and writes go straight to the system without a stream buffer, and the cache
// can be told to let go of a file so the drive, not memory, is measured.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sarnoval {

// What a test does to its files and the clock, in order. Engine tests record
// these to check that each interval times exactly what it should.
enum class IoStep {
    Open,
    Write,
    StartWriteback,
    WaitWriteback,
    Sync,
    DropCache,
    Close,
    Rename,
    Remove,
    Read,
    Clock,
};

class IoTrace {
public:
    virtual ~IoTrace() = default;
    virtual void Step(IoStep step) = 0;
};

// A clock reading that the trace, if any, sees in its place among the steps.
std::uint64_t ReadClock(IoTrace* trace);

// Which file a name leads to: the device and the file's number on it, in 128
// bits (ReFS numbers do not fit 64; POSIX fills only the low word). A number
// of 0 is one the system did not give.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t inodeHigh = 0;
    bool Known() const { return inode != 0 || inodeHigh != 0; }
    // Compare with SameFile, never field by field.
    friend bool operator==(const FileId&, const FileId&) = delete;
};

// Whether both ids name one file. An unknown id is never the same as any, not
// even another unknown one: whether a file is ours decides whether it is read
// back or deleted.
inline bool SameFile(const FileId& a, const FileId& b) {
    return a.Known() && a.device == b.device && a.inode == b.inode && a.inodeHigh == b.inodeHigh;
}

// What a rename or a second link keeps of a file, where the file system gives
// the new name a new number (sshfs numbers names, not files).
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Asked between waits of a read that may block (a pipe, a terminal, a device).
using StopCheck = bool (*)();

// Whether files may be switched to direct transfers (the default). Tests turn
// this off to measure the buffered path that other file systems take.
void AllowDirectTransfers(bool allow);
bool DirectTransfersAllowed();

// Memory for direct transfers: page-aligned, in huge pages where the system
// gives them (fewer pages to pin per transfer), and touched, so no page is
// first faulted in inside a timed interval. Null when none can be had.
struct FreeTransferBuffer {
    void operator()(unsigned char* buffer) const;
};
using TransferBuffer = std::unique_ptr<unsigned char[], FreeTransferBuffer>;
TransferBuffer AllocateTransferBuffer(std::size_t bytes);

// Called first in each program: on Windows a drive with no medium (an empty
// card reader) fails the open with an error, not the system's "no disk" box.
void NoSystemErrorBoxes();

// The path as text for messages: the reverse of PathFromText, with '?' for
// what the code page lacks.
std::string TextFromPath(const std::filesystem::path& path);

// A path from the dialog's text: bytes in the system's ANSI code page on
// Windows, taken as they are elsewhere. Empty when the text cannot be a name.
std::filesystem::path PathFromText(std::string_view text);

class File {
public:
    enum class Mode {
        Read,      // an existing file or device, links followed
        CreateNew, // a new regular file; fails if the name is taken by anything
        ReadBack,  // an existing regular file, no link followed; check Id()
    };

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // An empty path never opens.
    static File Open(const std::filesystem::path& path, Mode mode, IoTrace* trace = nullptr);

    bool IsOpen() const;
    explicit operator bool() const { return IsOpen(); }
    // Whether the open failed because the system refused it for lack of
    // rights, not for a missing folder, a name taken or a full disk.
    bool Refused() const { return refused_; }
    // Whether the open failed because something stands at the name.
    bool Taken() const { return taken_; }
    // The system's reason for a failed open, in its words.
    std::string Why() const;
    FileId Id() const { return id_; }

    // Reads until size bytes or the end of the file; returns the bytes read.
    // A failed read sets failed. A read that would block waits until data
    // comes or stop() says so; then it returns what it has.
    std::size_t ReadFull(void* buffer, std::size_t size, bool& failed, StopCheck stop = nullptr);
    // Writes all of it or reports false.
    bool WriteAll(const void* buffer, std::size_t size);
    // Starts writing the range to the drive without waiting for it. False
    // when the system already knows the write failed.
    bool StartWriteback(std::uint64_t offset, std::uint64_t length);
    // Waits until the range, started earlier, is on the drive. False when
    // writing it failed: the system reports that once per open file, so a
    // later Sync would not see it again.
    bool WaitWriteback(std::uint64_t offset, std::uint64_t length);
    // Waits until what was written is on the drive.
    bool Sync();
    // Switches the file to direct transfers between the drive and the
    // caller's memory, past the system's cache, where the file system takes
    // them. Returns the alignment that buffers, lengths and offsets must then
    // keep (a power of two no larger than a page), or 0 where the file stays
    // with the cache. A transfer the file system refuses after all is done
    // through the cache. Windows: a file opened for reading whose reads
    // bypass the cache, or a new file, opened again past the cache.
    std::size_t StartDirect();
    // Back to the cache, for a last part shorter than the alignment.
    void EndDirect();
    // Reads the next up to size bytes of a regular file or device into into
    // and tells only how many came, short at the end of the file: for a
    // reader that never looks at the bytes, so nothing is copied on the way.
    // On a direct file, into and size keep the alignment.
    std::size_t ReadCount(unsigned char* into, std::size_t size, bool& failed);
    // Asks the system to drop the file's cached pages (clean pages only).
    void DropCache();
    // Sets the file's modification time to now, so that another copy of the
    // program sees the file in use. Nothing on Windows.
    bool Touch();
    // Size, modification time, mode and owner as the system reports them now;
    // none when it cannot.
    std::optional<FileStamp> Stamp() const;
    // When the file was last modified, by the file system's clock.
    std::optional<std::chrono::system_clock::time_point> Modified() const;
    bool Close();

#ifndef _WIN32
    // The name in the folder dir refers to; Open with AT_FDCWD.
    static File OpenAt(int dir, const char* name, Mode mode, IoTrace* trace = nullptr);
#endif

    // Whether reads bypass the system's cache: after StartDirect on Linux;
    // on Windows for disk files, unless the file system refused (some network
    // redirectors) and reads are buffered.
    bool ReadsBypassCache() const;

private:
    // What reads and writes past the cache need, per platform; none where the
    // file's reads go through the cache.
    struct Bypass;
    struct Release {
        void operator()(Bypass* bypass) const;
    };
    std::unique_ptr<Bypass, Release> bypass_;

#ifdef _WIN32
    using Native = void*; // HANDLE
    static constexpr Native kNone = nullptr;
#else
    using Native = int; // descriptor
    static constexpr Native kNone = -1;
#endif
    void Note(IoStep step) const;

    Native native_ = kNone;
    FileId id_;
    bool mayBlock_ = false; // not a regular file: reads wait for a peer
    bool refused_ = false;
    bool taken_ = false;
    int error_ = 0; // errno, or GetLastError() on Windows
    IoTrace* trace_ = nullptr;
};

} // namespace sarnoval
