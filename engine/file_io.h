// Thin, checked file access for the tests: every call reports failure, reads
// and writes go straight to the system without a stream buffer, and the cache
// can be told to let go of a file so the drive, not memory, is measured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace sarnoval {

class File {
public:
    enum class Mode {
        Read,     // existing file or device, links followed
        NewWrite, // create or empty a regular file; a link or special file is refused
    };

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // An empty path never opens.
    static File Open(const std::filesystem::path& path, Mode mode);

    bool IsOpen() const;
    explicit operator bool() const { return IsOpen(); }

    // Reads until size bytes or the end of the file; returns the bytes read.
    // A failed read sets failed and returns what came before it.
    std::size_t ReadFull(void* buffer, std::size_t size, bool& failed);
    // Writes all of it or reports false.
    bool WriteAll(const void* buffer, std::size_t size);
    // Starts writing what is dirty to the drive without waiting for it, so the
    // final Sync waits for the tail only and a stop is never held up long.
    void StartWriteback();
    // Waits until what was written is on the drive.
    bool Sync();
    // Asks the system to drop the file's cached pages (clean pages only).
    void DropCache();
    bool Close();

private:
#ifdef _WIN32
    using Native = void*; // std::FILE*
    static constexpr Native kNone = nullptr;
#else
    using Native = int; // descriptor
    static constexpr Native kNone = -1;
#endif
    Native native_ = kNone;
};

} // namespace sarnoval
