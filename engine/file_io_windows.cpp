// File access on Windows.
#include "engine/file_io.h"

#include "engine/windows_api.h"

#include "engine/windows_file_info.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace sarnoval {

// This file does not see the window interface: <windows.h> would rename its
// MessageBox.

namespace {

namespace fs = std::filesystem;

// A multiple of the sector sizes in use (512 and 4096 bytes), so buffers,
// lengths and offsets of unbuffered transfers are whole sectors; a volume whose
// sectors do not divide it is read and written through the cache.
constexpr std::size_t kSectorBytes = 4096;

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

void* FromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

} // namespace

void NoSystemErrorBoxes() {
    ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

std::string TextFromPath(const std::filesystem::path& path) {
    const std::wstring& name = path.native();
    if (name.empty() || name.size() > 32767) {
        return {};
    }
    const int size = static_cast<int>(name.size());
    const int bytes =
        ::WideCharToMultiByte(CP_ACP, 0, name.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, name.data(), size, text.data(), bytes, nullptr, nullptr);
    return text;
}

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

constexpr DWORD kWriterShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The same file as handle, opened again with flags; its position kept.
HANDLE Reopen(HANDLE handle, DWORD flags) {
    LARGE_INTEGER at{};
    if (!::SetFilePointerEx(handle, {}, &at, FILE_CURRENT)) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE again = ::ReOpenFile(handle, GENERIC_WRITE, kWriterShare, flags);
    if (again != INVALID_HANDLE_VALUE && !::SetFilePointerEx(again, at, nullptr, FILE_BEGIN)) {
        ::CloseHandle(again);
        again = INVALID_HANDLE_VALUE;
    }
    return again;
}

// Whether the volume's sectors divide kSectorBytes, which direct writes keep.
bool SectorsFit(HANDLE handle) {
    FILE_STORAGE_INFO storage{};
    if (::GetFileInformationByHandleEx(handle, FileStorageInfo, &storage, sizeof storage)) {
        return kSectorBytes % storage.PhysicalBytesPerSectorForPerformance == 0 &&
               kSectorBytes % storage.LogicalBytesPerSector == 0;
    }
    // Sized by the path: a file past MAX_PATH must not lose direct reads.
    std::wstring name(::GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED), L'\0');
    std::wstring volume(name.size() + 1, L'\0');
    DWORD perCluster = 0;
    DWORD sector = 0;
    DWORD free = 0;
    DWORD total = 0;
    const DWORD length = ::GetFinalPathNameByHandleW(
        handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    return length > 0 && length < name.size() &&
           ::GetVolumePathNameW(name.c_str(), volume.data(), static_cast<DWORD>(volume.size())) &&
           ::GetDiskFreeSpaceW(volume.c_str(), &perCluster, &sector, &free, &total) &&
           sector != 0 && kSectorBytes % sector == 0;
}

// Windows refuses unbuffered reads that break these rules; Wine does not, so
// they are checked here, and a read that breaks them fails everywhere.
bool KeepsSectorRules(const void* buffer, std::size_t length, std::uint64_t offset) {
    return reinterpret_cast<std::uintptr_t>(buffer) % kSectorBytes == 0 &&
           length % kSectorBytes == 0 && offset % kSectorBytes == 0;
}

// A comm port's reads wait for data, with its default timeouts for ever, and
// no stop could end them. Set so, each read returns what has come once a byte
// is there or kPortWaitMs have passed, empty or not. False for other devices
// (NUL), which have no timeouts. A port may keep its timeouts after the close,
// so the ones found (in saved) are put back then, for the next program.
constexpr DWORD kPortWaitMs = 50;

bool SetShortReadTimeouts(HANDLE handle, COMMTIMEOUTS& saved) {
    if (!::GetCommTimeouts(handle, &saved)) {
        return false;
    }
    COMMTIMEOUTS timeouts = saved;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kPortWaitMs;
    return ::SetCommTimeouts(handle, &timeouts) != 0;
}

} // namespace

struct File::Bypass {
    // Reads past the cache; a new file written through it, or past it; or a
    // comm port read with short timeouts.
    enum class Role { Read, Write, WriteDirect, Port } role = Role::Read;
    COMMTIMEOUTS portTimeouts{}; // the port's own, put back at the close
    char* data = nullptr;        // page-aligned
    std::size_t capacity = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint64_t offset = 0; // of the next read from the drive
    bool atEnd = false;

    Bypass() = default;
    Bypass(const Bypass&) = delete;
    Bypass& operator=(const Bypass&) = delete;
    ~Bypass() {
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

void File::Release::operator()(Bypass* bypass) const {
    delete bypass;
}

namespace {

// An existing file or device for reading. Reads bypass the cache, so the
// drive is measured and not memory, where the file system takes that;
// bypass tells whether they do.
HANDLE OpenForReading(const std::filesystem::path& path, File::Mode mode, bool& bypass) {
    const bool readBack = mode == File::Mode::ReadBack;
    const DWORD share = readBack ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD noFollow = readBack ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    const auto open = [&](DWORD cache) {
        // The drive test's own file by its whole path; what the user names
        // (a device, a pipe) as given.
        const std::wstring name = readBack ? LongPath(path) : path.native();
        return ::CreateFileW(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN | noFollow | cache, nullptr);
    };
    HANDLE handle = open(FILE_FLAG_NO_BUFFERING);
    bypass = handle != INVALID_HANDLE_VALUE;
    if (bypass && ::GetFileType(handle) == FILE_TYPE_DISK && !SectorsFit(handle)) {
        // Sectors larger than the reads' alignment would fail every read.
        ::CloseHandle(handle);
        handle = open(0);
        bypass = false;
    } else if (!bypass && (::GetLastError() == ERROR_INVALID_PARAMETER ||
                           ::GetLastError() == ERROR_NOT_SUPPORTED)) {
        handle = open(0); // a file system that cannot: buffered, as the only way left
    }
    bypass = bypass && ::GetFileType(handle) == FILE_TYPE_DISK;
    return handle;
}

} // namespace

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
        // never followed. Shared for writing so that StartDirect can open it
        // again past the cache.
        handle =
            ::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, kWriterShare, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    } else {
        bool bypass = false;
        handle = OpenForReading(path, mode, bypass);
        if (bypass) {
            file.bypass_.reset(new Bypass);
        }
    }
    file.native_ = FromHandle(handle);
    if (!file.native_) {
        const DWORD error = ::GetLastError();
        file.refused_ = error == ERROR_ACCESS_DENIED;
        file.taken_ = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        file.error_ = static_cast<int>(error);
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool diskFile = IsDiskFile(handle, info);
    if (mode != Mode::Read && !diskFile) {
        file.Close();
        return file;
    }
    if (diskFile) {
        file.id_ = IdOf(handle, info);
    }
    if (mode == Mode::CreateNew) {
        file.bypass_.reset(new Bypass);
        file.bypass_->role = Bypass::Role::Write; // through the cache until StartDirect
    }
    file.mayBlock_ = ::GetFileType(handle) == FILE_TYPE_PIPE;
    COMMTIMEOUTS saved{};
    if (::GetFileType(handle) == FILE_TYPE_CHAR && SetShortReadTimeouts(handle, saved)) {
        file.bypass_.reset(new Bypass);
        file.bypass_->role = Bypass::Role::Port;
        file.bypass_->portTimeouts = saved;
    }
    return file;
}

std::size_t File::ReadFull(void* buffer, std::size_t size, bool& failed, StopCheck stop) {
    Note(IoStep::Read);
    auto* bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    DWORD pause = 1;
    while (got < size) {
        if (ReadsBypassCache()) {
            // Whole sectors from the drive; the caller gets exactly what it asked.
            Bypass& u = *bypass_;
            if (u.begin == u.end && (u.atEnd || !u.Refill(AsHandle(native_), size))) {
                failed = !u.atEnd;
                break;
            }
            got += u.Take(bytes + got, size - got);
            continue;
        }
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
        const bool port = bypass_ && bypass_->role == Bypass::Role::Port;
        if (port && stop && stop()) {
            break; // a port: asked before every read, since a trickle may never fill the buffer
        }
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
        if (n == 0 && !port) {
            break; // the end; from a port, only that nothing came in time
        }
        got += n;
    }
    return got;
}

TransferBuffer AllocateTransferBuffer(std::size_t bytes) {
    // Page-aligned and zeroed, so every page is there already.
    return TransferBuffer(static_cast<unsigned char*>(
        ::VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
}

void FreeTransferBuffer::operator()(unsigned char* buffer) const {
    ::VirtualFree(buffer, 0, MEM_RELEASE);
}

// Reads of disk files bypass the cache from the open; ReadCount then reads
// whole sectors straight into the caller's memory. A new file is opened again
// past the cache for writing, where the volume allows.
std::size_t File::StartDirect() {
    if (!DirectTransfersAllowed() || !bypass_) {
        return 0;
    }
    switch (bypass_->role) {
    case Bypass::Role::Read:
        return bypass_->begin == bypass_->end ? kSectorBytes : 0;
    case Bypass::Role::WriteDirect:
        return kSectorBytes;
    case Bypass::Role::Port:
        return 0;
    case Bypass::Role::Write:
        break;
    }
    if (!SectorsFit(AsHandle(native_))) {
        return 0;
    }
    HANDLE direct = Reopen(AsHandle(native_), FILE_FLAG_NO_BUFFERING);
    if (direct == INVALID_HANDLE_VALUE) {
        return 0; // refused: through the cache
    }
    ::CloseHandle(AsHandle(std::exchange(native_, direct)));
    bypass_->role = Bypass::Role::WriteDirect;
    bypass_->offset = 0;
    LARGE_INTEGER at{};
    if (::SetFilePointerEx(direct, {}, &at, FILE_CURRENT)) {
        bypass_->offset = static_cast<std::uint64_t>(at.QuadPart);
    }
    return kSectorBytes;
}

void File::EndDirect() {
    if (!bypass_ || bypass_->role != Bypass::Role::WriteDirect) {
        return;
    }
    HANDLE cached = Reopen(AsHandle(native_), 0);
    if (cached != INVALID_HANDLE_VALUE) {
        ::CloseHandle(AsHandle(std::exchange(native_, cached)));
        bypass_->role = Bypass::Role::Write;
    }
}

bool File::ReadsBypassCache() const {
    return bypass_ && bypass_->role == Bypass::Role::Read;
}

std::size_t File::ReadCount(unsigned char* into, std::size_t size, bool& failed) {
    if (!ReadsBypassCache()) {
        return ReadFull(into, size, failed);
    }
    Note(IoStep::Read);
    Bypass& u = *bypass_;
    std::size_t got = 0;
    while (got < size && !u.atEnd) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
        DWORD n = 0;
        if (!KeepsSectorRules(into + got, want, u.offset) ||
            !::ReadFile(AsHandle(native_), into + got, want, &n, nullptr)) {
            failed = true;
            break;
        }
        got += n;
        u.offset += n;
        u.atEnd = n < want; // short only at the end of the file
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
        const bool direct = bypass_ && bypass_->role == Bypass::Role::WriteDirect;
        if ((direct && !KeepsSectorRules(bytes + put, want, bypass_->offset)) ||
            !::WriteFile(AsHandle(native_), bytes + put, want, &n, nullptr) || n == 0) {
            return false;
        }
        put += n;
        if (bypass_) {
            bypass_->offset += n;
        }
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

std::optional<std::chrono::system_clock::time_point> File::Modified() const {
    FILETIME written{};
    if (native_ == kNone || !::GetFileTime(AsHandle(native_), nullptr, nullptr, &written)) {
        return std::nullopt;
    }
    return FromFileTime(written);
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
    if (bypass_ && bypass_->role == Bypass::Role::Port) {
        ::SetCommTimeouts(AsHandle(native_), &bypass_->portTimeouts);
    }
    bypass_.reset();
    return ::CloseHandle(AsHandle(std::exchange(native_, kNone))) != 0;
}

} // namespace sarnoval
