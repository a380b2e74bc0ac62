#include "engine/file_io.h"

#include "engine/figures.h"

#include <system_error>
#include <utility>

#ifdef _WIN32
#include <cstdio>
#include <io.h>
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
      trace_(other.trace_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        native_ = std::exchange(other.native_, kNone);
        id_ = other.id_;
        mayBlock_ = other.mayBlock_;
        trace_ = other.trace_;
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

namespace {
std::FILE* AsFile(void* handle) {
    return static_cast<std::FILE*>(handle);
}
} // namespace

File File::Open(const std::filesystem::path& path, Mode mode, IoTrace* trace) {
    File file;
    file.trace_ = trace;
    file.Note(IoStep::Open);
    if (path.empty()) {
        return file;
    }
    std::FILE* stream = nullptr;
    // "x": fail when the name exists, as the POSIX build does.
    const wchar_t* how = mode == Mode::CreateNew ? L"wbx" : L"rb";
    if (_wfopen_s(&stream, path.c_str(), how) == 0 && stream) {
        std::setvbuf(stream, nullptr, _IONBF, 0);
        file.native_ = stream;
    }
    return file;
}

std::size_t File::ReadFull(void* buffer, std::size_t size, bool& failed, StopCheck) {
    Note(IoStep::Read);
    const std::size_t got = std::fread(buffer, 1, size, AsFile(native_));
    if (got < size && std::ferror(AsFile(native_))) {
        failed = true;
    }
    return got;
}

bool File::WriteAll(const void* buffer, std::size_t size) {
    Note(IoStep::Write);
    return std::fwrite(buffer, 1, size, AsFile(native_)) == size;
}

bool File::Sync() {
    Note(IoStep::Sync);
    return std::fflush(AsFile(native_)) == 0 && _commit(_fileno(AsFile(native_))) == 0;
}

void File::StartWriteback(std::uint64_t, std::uint64_t) {
    Note(IoStep::StartWriteback);
}

void File::WaitWriteback(std::uint64_t, std::uint64_t) {
    Note(IoStep::WaitWriteback);
}

// Windows offers no per-file eviction short of unbuffered handles.
void File::DropCache() {
    Note(IoStep::DropCache);
}

bool File::Close() {
    if (native_ == kNone) {
        return true;
    }
    Note(IoStep::Close);
    return std::fclose(AsFile(std::exchange(native_, kNone))) == 0;
}

FolderLock::FolderLock(const std::filesystem::path&) : held_(true) {}

FolderLock::~FolderLock() = default;

bool RemoveOwnStale(const std::filesystem::path& path, IoTrace* trace) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    if (!std::filesystem::exists(status)) {
        return true;
    }
    if (!std::filesystem::is_regular_file(status)) {
        return false;
    }
    if (trace) {
        trace->Step(IoStep::Remove);
    }
    return std::filesystem::remove(path, error);
}

bool IsSameFile(const std::filesystem::path& path, const FileId&) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error));
}

bool RemoveIfSame(const std::filesystem::path& path, const FileId& id, IoTrace* trace) {
    if (!IsSameFile(path, id)) {
        return false;
    }
    if (trace) {
        trace->Step(IoStep::Remove);
    }
    std::error_code error;
    return std::filesystem::remove(path, error);
}

bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                     IoTrace* trace) {
    if (trace) {
        trace->Step(IoStep::Rename);
    }
    // The C runtime's rename never replaces an existing file here.
    return _wrename(from.c_str(), to.c_str()) == 0;
}

#else

namespace {

FileId IdOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

int OpenRetrying(const char* path, int flags, mode_t perms = 0) {
    int fd;
    do {
        fd = ::open(path, flags, perms);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

File File::Open(const std::filesystem::path& path, Mode mode, IoTrace* trace) {
    File file;
    file.trace_ = trace;
    file.Note(IoStep::Open);
    if (path.empty()) {
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
    const int fd = OpenRetrying(path.c_str(), flags, 0600);
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

void File::StartWriteback(std::uint64_t offset, std::uint64_t length) {
    Note(IoStep::StartWriteback);
#if defined(__linux__)
    ::sync_file_range(native_, static_cast<off_t>(offset), static_cast<off_t>(length),
                      SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)length;
#endif
}

void File::WaitWriteback(std::uint64_t offset, std::uint64_t length) {
    Note(IoStep::WaitWriteback);
#if defined(__linux__)
    ::sync_file_range(native_, static_cast<off_t>(offset), static_cast<off_t>(length),
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                          SYNC_FILE_RANGE_WAIT_AFTER);
#else
    (void)offset;
    (void)length;
#endif
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

FolderLock::FolderLock(const std::filesystem::path& folder) {
    fd_ = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        held_ = true; // nothing to lock: the exclusive create still guards the file
        return;
    }
    int result;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    // Only another holder counts; a file system without locks does not stop the test.
    held_ = result == 0 || errno != EWOULDBLOCK;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
    }
}

bool RemoveOwnStale(const std::filesystem::path& path, IoTrace* trace) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
        return false;
    }
    if (trace) {
        trace->Step(IoStep::Remove);
    }
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool IsSameFile(const std::filesystem::path& path, const FileId& id) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && IdOf(st) == id;
}

bool RemoveIfSame(const std::filesystem::path& path, const FileId& id, IoTrace* trace) {
    if (path.empty() || !IsSameFile(path, id)) {
        return false;
    }
    if (trace) {
        trace->Step(IoStep::Remove);
    }
    return ::unlink(path.c_str()) == 0;
}

bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                     IoTrace* trace) {
    if (trace) {
        trace->Step(IoStep::Rename);
    }
#if defined(__linux__)
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    // No such rename here: a second link, then drop the first, never replaces.
    if (::link(from.c_str(), to.c_str()) == 0) {
        return ::unlink(from.c_str()) == 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
        return false;
    }
    // No links either (FAT, some network shares): look first, then rename.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) {
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

#endif

} // namespace sarnoval
