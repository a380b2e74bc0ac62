// A pass-through file system for the tests: it shows a backing folder at the
// mount point, with the kernel's writeback cache on, and fails on command.
//
//   fault_fs BACKING MOUNTPOINT [-f] [-o eio_from=N,eio_bytes=M]
//            [-o damage=bits|zeros|moved,damage_at=N,moved_from=M] [-o skew=S]
//
// Writes that reach it (with the writeback cache, those the kernel flushes,
// long after write() returned) and touch bytes [N, N+M) of any file return
// EIO, and their data is dropped: a disk that accepted data and then lost it.
// Reads return, for byte N of any file, one bit flipped (bits), or for its
// 4 KiB page zeros or the page at offset M: a failing or a fake disk. Its
// clock runs S seconds (may be negative) off the machine's, as a server's.
#define FUSE_USE_VERSION 31

#include <fuse3/fuse.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

struct Options {
    char* backing = nullptr;
    unsigned long long eioFrom = ULLONG_MAX;
    unsigned long long eioBytes = 0;
    char* damage = nullptr;
    unsigned long long damageAt = 0;
    unsigned long long movedFrom = 0;
    long long skew = 0;
};

Options g_options;
int g_root = -1; // the backing folder, opened before mounting

// FUSE names start with "/": relative to the backing folder.
const char* Rel(const char* path) {
    return path[1] ? path + 1 : ".";
}

int Fail() {
    return -errno;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
    const int r = fi ? ::fstat(static_cast<int>(fi->fh), st)
                     : ::fstatat(g_root, Rel(path), st, AT_SYMLINK_NOFOLLOW);
    // Times as the skewed clock stamped them.
    st->st_atim.tv_sec += g_options.skew;
    st->st_mtim.tv_sec += g_options.skew;
    st->st_ctim.tv_sec += g_options.skew;
    return r == 0 ? 0 : Fail();
}

int ReadLink(const char* path, char* buffer, size_t size) {
    const ssize_t n = ::readlinkat(g_root, Rel(path), buffer, size - 1);
    if (n < 0) {
        return Fail();
    }
    buffer[n] = '\0';
    return 0;
}

int MkNod(const char* path, mode_t mode, dev_t dev) {
    return ::mknodat(g_root, Rel(path), mode, dev) == 0 ? 0 : Fail();
}

int MkDir(const char* path, mode_t mode) {
    return ::mkdirat(g_root, Rel(path), mode) == 0 ? 0 : Fail();
}

int Unlink(const char* path) {
    return ::unlinkat(g_root, Rel(path), 0) == 0 ? 0 : Fail();
}

int RmDir(const char* path) {
    return ::unlinkat(g_root, Rel(path), AT_REMOVEDIR) == 0 ? 0 : Fail();
}

int SymLink(const char* target, const char* path) {
    return ::symlinkat(target, g_root, Rel(path)) == 0 ? 0 : Fail();
}

int Rename(const char* from, const char* to, unsigned int flags) {
    return ::renameat2(g_root, Rel(from), g_root, Rel(to), flags) == 0 ? 0 : Fail();
}

int Link(const char* from, const char* to) {
    return ::linkat(g_root, Rel(from), g_root, Rel(to), 0) == 0 ? 0 : Fail();
}

int ChMod(const char* path, mode_t mode, fuse_file_info* fi) {
    const int r =
        fi ? ::fchmod(static_cast<int>(fi->fh), mode) : ::fchmodat(g_root, Rel(path), mode, 0);
    return r == 0 ? 0 : Fail();
}

int ChOwn(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
    const int r = fi ? ::fchown(static_cast<int>(fi->fh), uid, gid)
                     : ::fchownat(g_root, Rel(path), uid, gid, AT_SYMLINK_NOFOLLOW);
    return r == 0 ? 0 : Fail();
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
    if (fi) {
        return ::ftruncate(static_cast<int>(fi->fh), size) == 0 ? 0 : Fail();
    }
    const int fd = ::openat(g_root, Rel(path), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return Fail();
    }
    const int r = ::ftruncate(fd, size) == 0 ? 0 : Fail();
    ::close(fd);
    return r;
}

int UTimens(const char* path, const timespec given[2], fuse_file_info* fi) {
    timespec times[2] = {given[0], given[1]};
    for (timespec& time : times) {
        if (time.tv_nsec != UTIME_NOW && time.tv_nsec != UTIME_OMIT) {
            time.tv_sec -= g_options.skew; // stored by the machine's clock
        }
    }
    const int r = fi ? ::futimens(static_cast<int>(fi->fh), times)
                     : ::utimensat(g_root, Rel(path), times, AT_SYMLINK_NOFOLLOW);
    return r == 0 ? 0 : Fail();
}

// The kernel's writeback cache reads pages of files opened for writing only,
// and appends itself.
int OpenFlags(int flags) {
    if ((flags & O_ACCMODE) == O_WRONLY) {
        flags = (flags & ~O_ACCMODE) | O_RDWR;
    }
    return (flags & ~O_APPEND) | O_CLOEXEC;
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
    const int fd = ::openat(g_root, Rel(path), OpenFlags(fi->flags) | O_CREAT, mode);
    if (fd < 0) {
        return Fail();
    }
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    const int fd = ::openat(g_root, Rel(path), OpenFlags(fi->flags));
    if (fd < 0) {
        return Fail();
    }
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

// Changes what a read of [offset, offset + n) returns, as damage says.
void Damage(int fd, char* buffer, size_t n, off_t offset) {
    const auto begin = static_cast<unsigned long long>(offset);
    const unsigned long long at = g_options.damageAt;
    const unsigned long long page = at / 4096 * 4096;
    const std::string how = g_options.damage ? g_options.damage : "";
    if (how == "bits" && at >= begin && at < begin + n) {
        buffer[at - begin] ^= 1;
    } else if ((how == "zeros" || how == "moved") && page >= begin && page + 4096 <= begin + n) {
        char* into = buffer + (page - begin);
        std::memset(into, 0, 4096);
        if (how == "moved" &&
            ::pread(fd, into, 4096, static_cast<off_t>(g_options.movedFrom)) < 0) {
            std::memset(into, 0, 4096); // the page is lost either way
        }
    }
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    const int fd = static_cast<int>(fi->fh);
    const ssize_t n = ::pread(fd, buffer, size, offset);
    if (n > 0) {
        Damage(fd, buffer, static_cast<size_t>(n), offset);
    }
    return n < 0 ? Fail() : static_cast<int>(n);
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
    const auto begin = static_cast<unsigned long long>(offset);
    if (g_options.eioBytes && begin < g_options.eioFrom + g_options.eioBytes &&
        begin + size > g_options.eioFrom) {
        return -EIO;
    }
    const ssize_t n = ::pwrite(static_cast<int>(fi->fh), buffer, size, offset);
    return n < 0 ? Fail() : static_cast<int>(n);
}

int StatFs(const char*, struct statvfs* st) {
    return ::fstatvfs(g_root, st) == 0 ? 0 : Fail();
}

int Release(const char*, fuse_file_info* fi) {
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int FSync(const char*, int dataOnly, fuse_file_info* fi) {
    const int fd = static_cast<int>(fi->fh);
    return (dataOnly ? ::fdatasync(fd) : ::fsync(fd)) == 0 ? 0 : Fail();
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
    const int fd = ::openat(g_root, Rel(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        return -error;
    }
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        st.st_ino = entry->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0))) {
            break;
        }
    }
    ::closedir(dir);
    return 0;
}

void* Init(fuse_conn_info* conn, fuse_config* cfg) {
    // The backing folder's inode numbers, which a rename keeps, as on a disk.
    cfg->use_ino = 1;
    // A removed file goes at once, as on a disk, not renamed to .fuse_hidden*
    // until the kernel's release of it, which comes after close returns,
    // arrives; reads and writes go through open descriptors, so they need no name.
    cfg->hard_remove = 1;
    if (conn->capable & FUSE_CAP_WRITEBACK_CACHE) {
        conn->want |= FUSE_CAP_WRITEBACK_CACHE;
    } else {
        std::fprintf(stderr, "fault_fs: the kernel offers no writeback cache\n");
    }
    return nullptr;
}

const fuse_opt kOptionTable[] = {
    {"eio_from=%llu", offsetof(Options, eioFrom), 0},
    {"eio_bytes=%llu", offsetof(Options, eioBytes), 0},
    {"damage=%s", offsetof(Options, damage), 0},
    {"damage_at=%llu", offsetof(Options, damageAt), 0},
    {"moved_from=%llu", offsetof(Options, movedFrom), 0},
    {"skew=%lld", offsetof(Options, skew), 0},
    FUSE_OPT_END,
};

// The first bare argument is the backing folder; the rest go to FUSE.
int TakeBacking(void* data, const char* arg, int key, fuse_args*) {
    auto* options = static_cast<Options*>(data);
    if (key == FUSE_OPT_KEY_NONOPT && !options->backing) {
        options->backing = ::strdup(arg);
        return 0;
    }
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    fuse_args args = FUSE_ARGS_INIT(argc, argv);
    if (fuse_opt_parse(&args, &g_options, kOptionTable, TakeBacking) != 0 || !g_options.backing) {
        std::fprintf(stderr,
                     "usage: fault_fs BACKING MOUNTPOINT [-f] [-o eio_from=N,eio_bytes=M]\n"
                     "       [-o damage=bits|zeros|moved,damage_at=N,moved_from=M] [-o skew=S]\n");
        return 2;
    }
    g_root = ::open(g_options.backing, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_root < 0) {
        std::perror(g_options.backing);
        return 1;
    }
    ::umask(0);
    fuse_operations ops{};
    ops.getattr = GetAttr;
    ops.readlink = ReadLink;
    ops.mknod = MkNod;
    ops.mkdir = MkDir;
    ops.unlink = Unlink;
    ops.rmdir = RmDir;
    ops.symlink = SymLink;
    ops.rename = Rename;
    ops.link = Link;
    ops.chmod = ChMod;
    ops.chown = ChOwn;
    ops.truncate = Truncate;
    ops.utimens = UTimens;
    ops.create = Create;
    ops.open = Open;
    ops.read = Read;
    ops.write = Write;
    ops.statfs = StatFs;
    ops.release = Release;
    ops.fsync = FSync;
    ops.readdir = ReadDir;
    ops.init = Init;
    const int result = fuse_main(args.argc, args.argv, &ops, nullptr);
    fuse_opt_free_args(&args);
    return result;
}
