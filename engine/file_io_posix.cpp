// File access on POSIX systems.
#include "engine/file_io.h"

#include "engine/volume.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace sarnoval {

// Nothing to keep: a direct file is one whose descriptor has O_DIRECT.
struct File::Bypass {};

void File::Release::operator()(Bypass* bypass) const {
    delete bypass;
}

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

std::size_t PageBytes() {
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

#if defined(__linux__) && defined(O_DIRECT)
// File systems whose files must never be switched to direct transfers by
// their device number: a FUSE program (fuseblk has a real device) may serve
// them from a cache of its own, a share's client has no device, and memory
// is memory.
bool NeverDirect(int fd) {
    struct statfs fsInfo {};
    if (::fstatfs(fd, &fsInfo) != 0) {
        return true;
    }
    static constexpr unsigned long kTypes[] = {
        0x65735546, // FUSE
        0x01021994, // tmpfs
        0x858458f6, // ramfs
        0x6969,     // NFS
        0xff534d42, // CIFS
        0xfe534d42, // SMB2
        0x01021997, // 9p
    };
    const auto type = static_cast<unsigned long>(fsInfo.f_type);
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

// What direct transfers of the file open at fd must align to, or 0 where they
// are not to be used. The file system says so where it can; otherwise its
// device's block size is taken, and where its files carry no device's number
// (btrfs), a page is tried: a file system that refuses fails the first
// transfer, which then goes through the cache.
std::size_t DirectAlignment(int fd) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_DIOALIGN, &sx) != 0 ||
        !(S_ISREG(sx.stx_mode) || S_ISBLK(sx.stx_mode))) {
        return 0;
    }
    std::size_t align = 0;
    if (sx.stx_mask & STATX_DIOALIGN) {
        if (sx.stx_dio_mem_align != 0 && sx.stx_dio_offset_align != 0) { // 0: none here
            align = std::max(sx.stx_dio_mem_align, sx.stx_dio_offset_align);
        }
    } else if (S_ISBLK(sx.stx_mode)) {
        align = LogicalBlockBytes("/sys", sx.stx_rdev_major, sx.stx_rdev_minor);
    } else if (NeverDirect(fd)) {
        align = 0;
    } else if (sx.stx_dev_major != 0) {
        align = LogicalBlockBytes("/sys", sx.stx_dev_major, sx.stx_dev_minor);
    } else {
        align = PageBytes();
    }
    // Whole pages are aligned then, which is what the callers' buffers and
    // lengths keep.
    return align != 0 && (align & (align - 1)) == 0 && align <= PageBytes() ? align : 0;
}
#endif

} // namespace

TransferBuffer AllocateTransferBuffer(std::size_t bytes) {
    // Huge pages come whole and aligned: ask for whole ones.
    constexpr std::size_t kHugePage = 2u << 20;
    const std::size_t size = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, size);
    if (!memory) {
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    ::madvise(memory, size, MADV_HUGEPAGE);
#endif
    std::memset(memory, 0, size);
    return TransferBuffer(static_cast<unsigned char*>(memory));
}

void FreeTransferBuffer::operator()(unsigned char* buffer) const {
    std::free(buffer);
}

void NoSystemErrorBoxes() {}

std::string TextFromPath(const std::filesystem::path& path) {
    return path.string();
}

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
        file.refused_ = errno == EACCES || errno == EPERM;
        file.taken_ = errno == EEXIST;
        file.error_ = errno;
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
        } else if (n < 0 && errno == EINVAL && ReadsBypassCache()) {
            EndDirect(); // refused after all: through the cache
        } else {
            return false;
        }
    }
    return true;
}

std::size_t File::ReadCount(unsigned char* into, std::size_t size, bool& failed) {
    Note(IoStep::Read);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(native_, into + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno == EINVAL && ReadsBypassCache()) {
            EndDirect(); // refused after all, or a short read left the rest unaligned
        } else if (errno != EINTR) {
            failed = true;
            break;
        }
    }
    return got;
}

std::size_t File::StartDirect() {
#if defined(__linux__) && defined(O_DIRECT)
    if (native_ == kNone || !DirectTransfersAllowed()) {
        return 0;
    }
    const std::size_t align = DirectAlignment(native_);
    const int status = ::fcntl(native_, F_GETFL);
    // The file system refuses the flag where it cannot.
    if (align == 0 || status < 0 || ::fcntl(native_, F_SETFL, status | O_DIRECT) != 0) {
        return 0;
    }
    return align;
#else
    return 0;
#endif
}

void File::EndDirect() {
#if defined(__linux__) && defined(O_DIRECT)
    const int status = ::fcntl(native_, F_GETFL);
    if (status >= 0) {
        ::fcntl(native_, F_SETFL, status & ~O_DIRECT);
    }
#endif
}

bool File::ReadsBypassCache() const {
#if defined(__linux__) && defined(O_DIRECT)
    const int status = native_ == kNone ? -1 : ::fcntl(native_, F_GETFL);
    return status >= 0 && (status & O_DIRECT) != 0;
#else
    return false;
#endif
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

std::optional<std::chrono::system_clock::time_point> File::Modified() const {
    const std::optional<FileStamp> stamp = Stamp();
    if (!stamp) {
        return std::nullopt;
    }
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(stamp->modifiedNs)));
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

} // namespace sarnoval
