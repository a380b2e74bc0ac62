// The folder on POSIX: every step relative to the folder's descriptor.
#include "engine/folder.h"

#include "engine/leftover.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>
#include <utility>

namespace sarnoval {

namespace {

void Note(IoTrace* trace, IoStep step) {
    if (trace) {
        trace->Step(step);
    }
}

FileId IdOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

int OpenRetrying(int dir, const char* name, int flags) {
    int fd;
    do {
        fd = ::openat(dir, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Up to size bytes of the file open at fd, from offset; short at its end or
// on a failure.
std::size_t ReadFrom(int fd, std::uint64_t offset, unsigned char* into, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, into + got, size - got, static_cast<off_t>(offset + got));
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return got;
}

std::chrono::system_clock::time_point Modified(const struct stat& st) {
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(st.st_mtim.tv_sec) +
            std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
}

} // namespace

std::optional<std::filesystem::path> StandInFolder(const std::filesystem::path& root) {
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    struct stat rootInfo {};
    struct stat tempInfo {};
    if (error || ::stat(root.c_str(), &rootInfo) != 0 || ::stat(temp.c_str(), &tempInfo) != 0 ||
        !S_ISDIR(tempInfo.st_mode) || tempInfo.st_dev != rootInfo.st_dev ||
        tempInfo.st_ino == rootInfo.st_ino) {
        return std::nullopt;
    }
    return temp;
}

Folder::Folder(std::filesystem::path path) : path_(std::move(path)) {
    fd_ = OpenRetrying(AT_FDCWD, path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_PATH
    if (fd_ < 0 && errno == EACCES) {
        // A folder we may write in but not list: acted in all the same, but
        // such a descriptor takes no lock; the exclusive create still guards
        // the file.
        fd_ = OpenRetrying(AT_FDCWD, path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        held_ = fd_ >= 0;
        whyNot_ = held_ ? "" : std::system_category().message(errno);
        return;
    }
#endif
    if (fd_ < 0) {
        whyNot_ = std::system_category().message(errno); // no folder to act in
        return;
    }
    int result;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    // Only another holder counts; a file system without locks does not stop the test.
    held_ = result == 0 || errno != EWOULDBLOCK;
    whyNot_ = held_ ? "" : kFolderBusy;
}

Folder::~Folder() {
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
    }
}

File Folder::Create(const char* name, IoTrace* trace) const {
    return File::OpenAt(fd_, name, File::Mode::CreateNew, trace);
}

File Folder::OpenReadBack(const char* name, IoTrace* trace) const {
    return File::OpenAt(fd_, name, File::Mode::ReadBack, trace);
}

bool Folder::Holds(const char* name, const FileId& id) const {
    struct stat st {};
    return ::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
           SameFile(IdOf(st), id);
}

bool Folder::RemoveIfSame(const char* name, const FileId& id, IoTrace* trace) const {
    if (!Holds(name, id)) {
        return false;
    }
    Note(trace, IoStep::Remove);
    return ::unlinkat(fd_, name, 0) == 0;
}

bool Folder::ClearLeftover(const char* name, std::chrono::system_clock::time_point now,
                           std::string& why, IoTrace* trace) const {
    struct stat st {};
    if (::fstatat(fd_, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        why = std::system_category().message(errno);
        return errno == ENOENT;
    }
    why = "not a file of ours";
    // Only a regular file of ours is opened at all: opening a device or a
    // FIFO can have effects of its own.
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        return false;
    }
    int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
#ifdef O_NOATIME
    flags |= O_NOATIME; // looking is not using: the file's times stay as they were
#endif
    int fd = OpenRetrying(fd_, name, flags);
#ifdef O_NOATIME
    if (fd < 0 && errno == EPERM) {
        fd = OpenRetrying(fd_, name, flags & ~O_NOATIME);
    }
#endif
    if (fd < 0) {
        why = std::system_category().message(errno);
        return false;
    }
    struct stat open {};
    bool removed = false;
    if (::fstat(fd, &open) == 0 && SameFile(IdOf(open), IdOf(st))) {
        FoundFile found;
        found.regular = S_ISREG(open.st_mode);
        found.links = static_cast<std::uint64_t>(open.st_nlink);
        found.ownedByUs = open.st_uid == ::geteuid();
        found.size = static_cast<std::uint64_t>(open.st_size);
        found.modified = Modified(open);
        const LeftoverVerdict verdict = ExamineLeftover(
            found,
            [fd](std::uint64_t at, unsigned char* into, std::size_t size) {
                return ReadFrom(fd, at, into, size);
            },
            now);
        why = verdict.why;
        // Unchanged while it was read, and the name still leads to it.
        struct stat after {};
        if (verdict.remove && ::fstat(fd, &after) == 0 && after.st_size == open.st_size &&
            Modified(after) == found.modified && Holds(name, IdOf(open))) {
            Note(trace, IoStep::Remove);
            removed = ::unlinkat(fd_, name, 0) == 0 || errno == ENOENT;
        }
#if defined(POSIX_FADV_DONTNEED)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED); // what reading it cached
#endif
    }
    ::close(fd);
    return removed;
}

std::optional<std::chrono::system_clock::time_point> Folder::Now(const char* name) const {
    int fd;
    do {
        fd = ::openat(fd_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    if (!known || Holds(name, IdOf(st))) {
        ::unlinkat(fd_, name, 0);
    }
    ::close(fd);
    return known ? std::optional(Modified(st)) : std::nullopt;
}

// A rename or a link keeps the number id already holds.
Moved Folder::Rename(const char* from, const char* to, FileId&, IoTrace* trace) const {
    Note(trace, IoStep::Rename);
#if defined(__linux__)
    if (::renameat2(fd_, from, fd_, to, RENAME_NOREPLACE) == 0) {
        return Moved::Renamed;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return Moved::No;
    }
#endif
    // No such rename here (sshfs, NFS, SMB): a second link, which never
    // replaces, then the first name goes. The second name is the one just
    // made, so if the first cannot go, the second goes instead.
    if (::linkat(fd_, from, fd_, to, 0) == 0) {
        if (::unlinkat(fd_, from, 0) == 0) {
            return Moved::Linked;
        }
        ::unlinkat(fd_, to, 0);
        return Moved::No;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
        return Moved::No;
    }
    // No links either (FAT, some shares): look first, then rename.
    struct stat st {};
    if (::fstatat(fd_, to, &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
        return Moved::No;
    }
    return ::renameat(fd_, from, fd_, to) == 0 ? Moved::Renamed : Moved::No;
}

} // namespace sarnoval
