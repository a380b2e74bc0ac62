#include "engine/file_io.h"

#include "engine/figures.h"

#include <system_error>
#include <utility>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "engine/windows_file_info.h"

#include <algorithm>
#include <cstring>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sarnoval {

std::uint64_t ReadClock(IoTrace* trace) {
    if (trace) {
        trace->Step(IoStep::Clock);
    }
    return MillisecondClock();
}

File::File(File&& other) noexcept
    : native_(std::exchange(other.native_, kNone)), id_(other.id_), mayBlock_(other.mayBlock_),
      trace_(other.trace_) {
#ifdef _WIN32
    unbuffered_ = std::move(other.unbuffered_);
#endif
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        native_ = std::exchange(other.native_, kNone);
        id_ = other.id_;
        mayBlock_ = other.mayBlock_;
        trace_ = other.trace_;
#ifdef _WIN32
        unbuffered_ = std::move(other.unbuffered_);
#endif
    }
    return *this;
}

File::~File() {
    Close();
}

bool File::IsOpen() const {
    return native_ != kNone;
}

void File::Note(IoStep step) const {
    if (trace_) {
        trace_->Step(step);
    }
}

#ifdef _WIN32

// Every Windows API call of the engine is in this file, which does not see
// the window interface: <windows.h> would rename its MessageBox.

namespace {

namespace fs = std::filesystem;

// A multiple of every sector size in use (512 and 4096 bytes), so buffers,
// lengths and offsets of unbuffered reads are whole sectors on any drive.
constexpr std::size_t kSectorBytes = 4096;

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

void* FromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

} // namespace

std::filesystem::path PathFromText(std::string_view text) {
    if (text.empty() || text.size() > 32767) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    // Bytes the code page does not define name no file: none is opened.
    const int wide =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (wide <= 0) {
        return {};
    }
    std::wstring name(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, name.data(), wide);
    return name;
}

namespace {

// Windows refuses unbuffered reads that break these rules; Wine does not, so
// they are checked here, and a read that breaks them fails everywhere.
bool KeepsSectorRules(const void* buffer, std::size_t length, std::uint64_t offset) {
    return reinterpret_cast<std::uintptr_t>(buffer) % kSectorBytes == 0 &&
           length % kSectorBytes == 0 && offset % kSectorBytes == 0;
}

} // namespace

struct File::Unbuffered {
    char* data = nullptr; // page-aligned
    std::size_t capacity = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint64_t offset = 0; // of the next read from the drive
    bool atEnd = false;

    Unbuffered() = default;
    Unbuffered(const Unbuffered&) = delete;
    Unbuffered& operator=(const Unbuffered&) = delete;
    ~Unbuffered() {
        if (data) {
            ::VirtualFree(data, 0, MEM_RELEASE);
        }
    }

    // Reads the next whole sectors from the drive, enough for want bytes.
    bool Refill(HANDLE handle, std::size_t want) {
        if (!data) {
            capacity = (want + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
            data = static_cast<char*>(
                ::VirtualAlloc(nullptr, capacity, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        }
        DWORD n = 0;
        if (!data || !KeepsSectorRules(data, capacity, offset) ||
            !::ReadFile(handle, data, static_cast<DWORD>(capacity), &n, nullptr)) {
            return false;
        }
        begin = 0;
        end = n;
        offset += n;
        atEnd = n < capacity; // short only at the end of the file
        return true;
    }

    // Hands out up to size bytes of what was read.
    std::size_t Take(char* out, std::size_t size) {
        const std::size_t take = std::min(size, end - begin);
        std::memcpy(out, data + begin, take);
        begin += take;
        return take;
    }
};

void File::Release::operator()(Unbuffered* unbuffered) const {
    delete unbuffered;
}

File File::Open(const std::filesystem::path& path, Mode mode, IoTrace* trace) {
    File file;
    file.trace_ = trace;
    file.Note(IoStep::Open);
    if (path.empty()) {
        return file;
    }
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (mode == Mode::CreateNew) {
        // Fails when anything stands at the name, a link included; a link is
        // never followed.
        handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    } else {
        // Reads bypass the cache, so the drive is measured and not memory.
        const DWORD share =
            mode == Mode::ReadBack ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
        const DWORD noFollow = mode == Mode::ReadBack ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
        const auto open = [&](DWORD cache) {
            return ::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN | noFollow | cache, nullptr);
        };
        handle = open(FILE_FLAG_NO_BUFFERING);
        bool bypass = handle != INVALID_HANDLE_VALUE;
        if (!bypass && (::GetLastError() == ERROR_INVALID_PARAMETER ||
                        ::GetLastError() == ERROR_NOT_SUPPORTED)) {
            handle = open(0); // a file system that cannot: buffered, as the only way left
        }
        if (bypass && ::GetFileType(handle) == FILE_TYPE_DISK) {
            file.unbuffered_.reset(new Unbuffered);
        }
    }
    file.native_ = FromHandle(handle);
    if (!file.native_) {
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool diskFile = IsDiskFile(handle, info);
    if (mode != Mode::Read && !diskFile) {
        file.Close();
        return file;
    }
    if (diskFile) {
        file.id_ = IdOf(info);
    }
    file.mayBlock_ = ::GetFileType(handle) == FILE_TYPE_PIPE;
    return file;
}

std::size_t File::ReadFull(void* buffer, std::size_t size, bool& failed, StopCheck stop) {
    Note(IoStep::Read);
    auto* bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    DWORD pause = 1;
    while (got < size) {
        if (unbuffered_) {
            // Whole sectors from the drive; the caller gets exactly what it asked.
            Unbuffered& u = *unbuffered_;
            if (u.begin == u.end && (u.atEnd || !u.Refill(AsHandle(native_), size))) {
                failed = !u.atEnd;
                break;
            }
            got += u.Take(bytes + got, size - got);
            continue;
        }
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
        if (mayBlock_) {
            // A pipe: wait for data in short steps, so that a stop is seen soon.
            DWORD ready = 0;
            if (!::PeekNamedPipe(AsHandle(native_), nullptr, 0, nullptr, &ready, nullptr)) {
                failed = ::GetLastError() != ERROR_BROKEN_PIPE; // the writer is gone: the end
                break;
            }
            if (ready == 0) {
                if (stop && stop()) {
                    break;
                }
                ::Sleep(pause);
                pause = std::min<DWORD>(pause * 2, 50);
                continue;
            }
            pause = 1;
            want = std::min(want, ready);
        }
        DWORD n = 0;
        if (!::ReadFile(AsHandle(native_), bytes + got, want, &n, nullptr)) {
            failed = ::GetLastError() != ERROR_BROKEN_PIPE && ::GetLastError() != ERROR_HANDLE_EOF;
            break;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

bool File::WriteAll(const void* buffer, std::size_t size) {
    Note(IoStep::Write);
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t put = 0;
    while (put < size) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - put, 1u << 30));
        if (!::WriteFile(AsHandle(native_), bytes + put, want, &n, nullptr) || n == 0) {
            return false;
        }
        put += n;
    }
    return true;
}

bool File::Sync() {
    Note(IoStep::Sync);
    return ::FlushFileBuffers(AsHandle(native_)) != 0;
}

// Windows has no range writeback short of flushing the whole file.
bool File::StartWriteback(std::uint64_t, std::uint64_t) {
    Note(IoStep::StartWriteback);
    return true;
}

bool File::WaitWriteback(std::uint64_t, std::uint64_t) {
    Note(IoStep::WaitWriteback);
    return true;
}

bool File::Touch() {
    return true;
}

std::optional<FileStamp> File::Stamp() const {
    return std::nullopt; // file numbers are kept by a rename here: nothing to compare
}

// Nothing to drop: reads of disk files bypass the cache.
void File::DropCache() {
    Note(IoStep::DropCache);
}

bool File::Close() {
    if (native_ == kNone) {
        return true;
    }
    Note(IoStep::Close);
    unbuffered_.reset();
    return ::CloseHandle(AsHandle(std::exchange(native_, kNone))) != 0;
}

#else

namespace {

FileId IdOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

int OpenRetrying(int dir, const char* name, int flags, mode_t perms) {
    int fd;
    do {
        fd = ::openat(dir, name, flags, perms);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

std::filesystem::path PathFromText(std::string_view text) {
    return std::filesystem::path(std::string(text));
}

File File::Open(const std::filesystem::path& path, Mode mode, IoTrace* trace) {
    return OpenAt(AT_FDCWD, path.c_str(), mode, trace);
}

File File::OpenAt(int dir, const char* name, Mode mode, IoTrace* trace) {
    File file;
    file.trace_ = trace;
    file.Note(IoStep::Open);
    if (*name == '\0') {
        return file;
    }
    // Non-blocking open so a FIFO without a peer cannot hang the test.
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::CreateNew:
        flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
    case Mode::ReadBack:
        flags |= O_RDONLY | O_NOFOLLOW;
        break;
    }
    const int fd = OpenRetrying(dir, name, flags, 0600);
    if (fd < 0) {
        return file;
    }
    file.native_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (mode != Mode::Read && !S_ISREG(st.st_mode))) {
        file.Close();
        return file;
    }
    file.id_ = IdOf(st);
    file.mayBlock_ = !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode);
    if (!file.mayBlock_) {
        const int status = ::fcntl(fd, F_GETFL);
        if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
            file.Close();
            return file;
        }
    }
#if defined(POSIX_FADV_SEQUENTIAL)
    if (mode != Mode::CreateNew) {
        // Every read here runs start to end: let the system read ahead further.
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
#endif
    return file;
}

std::size_t File::ReadFull(void* buffer, std::size_t size, bool& failed, StopCheck stop) {
    Note(IoStep::Read);
    auto* bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(native_, bytes + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno == EAGAIN && mayBlock_) {
            // Wait in short steps, so that a stop is seen within a tenth of a second.
            if (stop && stop()) {
                break;
            }
            pollfd wait{native_, POLLIN, 0};
            ::poll(&wait, 1, 100);
        } else if (errno != EINTR) {
            failed = true;
            break;
        }
    }
    return got;
}

bool File::WriteAll(const void* buffer, std::size_t size) {
    Note(IoStep::Write);
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t put = 0;
    while (put < size) {
        const ssize_t n = ::write(native_, bytes + put, size - put);
        if (n > 0) {
            put += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

bool File::StartWriteback(std::uint64_t offset, std::uint64_t length) {
    Note(IoStep::StartWriteback);
#if defined(__linux__)
    return ::sync_file_range(native_, static_cast<off_t>(offset), static_cast<off_t>(length),
                             SYNC_FILE_RANGE_WRITE) == 0;
#else
    (void)offset;
    (void)length;
    return true;
#endif
}

bool File::WaitWriteback(std::uint64_t offset, std::uint64_t length) {
    Note(IoStep::WaitWriteback);
#if defined(__linux__)
    return ::sync_file_range(native_, static_cast<off_t>(offset), static_cast<off_t>(length),
                             SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                 SYNC_FILE_RANGE_WAIT_AFTER) == 0;
#else
    (void)offset;
    (void)length;
    return true;
#endif
}

bool File::Touch() {
    return ::futimens(native_, nullptr) == 0;
}

std::optional<FileStamp> File::Stamp() const {
    struct stat st {};
    if (native_ == kNone || ::fstat(native_, &st) != 0) {
        return std::nullopt;
    }
    return FileStamp{static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                     static_cast<std::uint32_t>(st.st_mode), static_cast<std::uint32_t>(st.st_uid)};
}

bool File::Sync() {
    Note(IoStep::Sync);
    return ::fsync(native_) == 0;
}

void File::DropCache() {
    Note(IoStep::DropCache);
#if defined(POSIX_FADV_DONTNEED)
    ::posix_fadvise(native_, 0, 0, POSIX_FADV_DONTNEED);
#endif
}

bool File::Close() {
    if (native_ == kNone) {
        return true;
    }
    Note(IoStep::Close);
    // Linux closes the descriptor even when close reports EINTR: never retry.
    return ::close(std::exchange(native_, kNone)) == 0;
}

#endif

} // namespace sarnoval
