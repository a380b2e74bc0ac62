// Thin, checked file access for the tests: every call reports failure, reads
// and writes go straight to the system without a stream buffer, and the cache
// can be told to let go of a file so the drive, not memory, is measured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
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

// Which file a name leads to; equal ids are the same file.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileId&, const FileId&) = default;
};

// Asked between waits of a read that may block (a pipe, a terminal, a device).
using StopCheck = bool (*)();

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
    FileId Id() const { return id_; }

    // Reads until size bytes or the end of the file; returns the bytes read.
    // A failed read sets failed. A read that would block waits until data
    // comes or stop() says so; then it returns what it has.
    std::size_t ReadFull(void* buffer, std::size_t size, bool& failed, StopCheck stop = nullptr);
    // Writes all of it or reports false.
    bool WriteAll(const void* buffer, std::size_t size);
    // Starts writing the range to the drive without waiting for it.
    void StartWriteback(std::uint64_t offset, std::uint64_t length);
    // Waits until the range, started earlier, is on the drive.
    void WaitWriteback(std::uint64_t offset, std::uint64_t length);
    // Waits until what was written is on the drive.
    bool Sync();
    // Asks the system to drop the file's cached pages (clean pages only).
    void DropCache();
    bool Close();

private:
#ifdef _WIN32
    using Native = void*; // HANDLE
    static constexpr Native kNone = nullptr;
    // Reads of a disk file bypass the cache, through a buffer that keeps
    // the system's alignment rules.
    struct Unbuffered;
    struct Release {
        void operator()(Unbuffered* unbuffered) const;
    };
    std::unique_ptr<Unbuffered, Release> unbuffered_;

public:
    // Whether reads bypass the system's cache; false where the file system
    // refused (some network redirectors) and reads are buffered.
    bool ReadsBypassCache() const {
        return unbuffered_ != nullptr;
    }

private:
#else
    using Native = int; // descriptor
    static constexpr Native kNone = -1;
#endif
    void Note(IoStep step) const;

    Native native_ = kNone;
    FileId id_;
    bool mayBlock_ = false; // not a regular file: reads wait for a peer
    IoTrace* trace_ = nullptr;
};

// A lock that one copy of the program at a time holds on a folder while it
// tests there; other programs are not affected. Not locked when another copy
// holds it; where the file system has no locks, taken as held.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder);
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();
    bool Held() const { return held_; }

private:
#ifdef _WIN32
    void* handle_ = nullptr; // a named object for the folder: it exists while held
#else
    int fd_ = -1;
#endif
    bool held_ = false;
};

// Removes what stands at path if it is a regular file of this user that no
// other name shares: a temporary file left by an earlier run. True when the
// name is free afterwards; anything else there stays.
bool RemoveOwnStale(const std::filesystem::path& path, IoTrace* trace = nullptr);

// Removes path only if it is still the file id names. True when it did.
bool RemoveIfSame(const std::filesystem::path& path, const FileId& id, IoTrace* trace = nullptr);

// Whether path, links not followed, is the file id names.
bool IsSameFile(const std::filesystem::path& path, const FileId& id);

// Renames without ever replacing what stands at to.
bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                     IoTrace* trace = nullptr);

} // namespace sarnoval
