#include "file_io.h"

#include <utility>

#ifdef _WIN32
#include <cstdio>
#include <io.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sarnoval {

File::File(File&& other) noexcept : native_(std::exchange(other.native_, kNone)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        native_ = std::exchange(other.native_, kNone);
    }
    return *this;
}

File::~File() {
    Close();
}

bool File::IsOpen() const {
    return native_ != kNone;
}

#ifdef _WIN32

namespace {
std::FILE* AsFile(void* handle) {
    return static_cast<std::FILE*>(handle);
}
} // namespace

File File::Open(const std::filesystem::path& path, Mode mode) {
    File file;
    if (path.empty()) {
        return file;
    }
    std::FILE* stream = nullptr;
    if (_wfopen_s(&stream, path.c_str(), mode == Mode::Read ? L"rb" : L"wb") == 0 && stream) {
        std::setvbuf(stream, nullptr, _IONBF, 0);
        file.native_ = stream;
    }
    return file;
}

std::size_t File::ReadFull(void* buffer, std::size_t size, bool& failed) {
    const std::size_t got = std::fread(buffer, 1, size, AsFile(native_));
    if (got < size && std::ferror(AsFile(native_))) {
        failed = true;
    }
    return got;
}

bool File::WriteAll(const void* buffer, std::size_t size) {
    return std::fwrite(buffer, 1, size, AsFile(native_)) == size;
}

bool File::Sync() {
    return std::fflush(AsFile(native_)) == 0 && _commit(_fileno(AsFile(native_))) == 0;
}

void File::StartWriteback() {}

// Windows offers no per-file eviction short of unbuffered handles.
void File::DropCache() {}

bool File::Close() {
    if (native_ == kNone) {
        return true;
    }
    return std::fclose(AsFile(std::exchange(native_, kNone))) == 0;
}

#else

File File::Open(const std::filesystem::path& path, Mode mode) {
    File file;
    if (path.empty()) {
        return file;
    }
    // Non-blocking open so a FIFO without a peer cannot hang the test.
    int flags = O_CLOEXEC | O_NONBLOCK;
    if (mode == Mode::Read) {
        flags |= O_RDONLY;
    } else {
        flags |= O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return file;
    }
    file.native_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (mode == Mode::NewWrite && !S_ISREG(st.st_mode))) {
        file.Close();
        return file;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        file.Close();
        return file;
    }
#if defined(POSIX_FADV_SEQUENTIAL)
    if (mode == Mode::Read) {
        // Every read here runs start to end: let the system read ahead further.
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
#endif
    return file;
}

std::size_t File::ReadFull(void* buffer, std::size_t size, bool& failed) {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(native_, bytes + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            failed = true;
            break;
        }
    }
    return got;
}

bool File::WriteAll(const void* buffer, std::size_t size) {
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

void File::StartWriteback() {
#if defined(__linux__)
    ::sync_file_range(native_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool File::Sync() {
    return ::fsync(native_) == 0;
}

void File::DropCache() {
#if defined(POSIX_FADV_DONTNEED)
    ::posix_fadvise(native_, 0, 0, POSIX_FADV_DONTNEED);
#endif
}

bool File::Close() {
    if (native_ == kNone) {
        return true;
    }
    // Linux closes the descriptor even when close reports EINTR: never retry.
    return ::close(std::exchange(native_, kNone)) == 0;
}

#endif

} // namespace sarnoval
