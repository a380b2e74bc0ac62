// The folder on Windows: by path, with each check and act on one handle.
#include "engine/folder.h"

#include "engine/leftover.h"

#include "engine/windows_api.h"

#include "engine/windows_file_info.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace sarnoval {

namespace {

namespace fs = std::filesystem;

// What stands at path itself, a link not followed, opened so that it can be
// examined and deleted by this handle: the file checked is the file removed.
HANDLE OpenToExamine(const fs::path& path, DWORD access) {
    return ::CreateFileW(LongPath(path).c_str(), access | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                         nullptr);
}

// FileDispositionInfoEx and FILE_DISPOSITION_INFO_EX, which headers for
// systems before Windows 10 1607 lack.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
struct DispositionEx {
    DWORD flags;
};
constexpr DWORD kDispositionDelete = 0x1;         // FILE_DISPOSITION_FLAG_DELETE
constexpr DWORD kDispositionPosixSemantics = 0x2; // FILE_DISPOSITION_FLAG_POSIX_SEMANTICS

// The name goes at once, even while a scanner or the indexer still holds the
// file, so the next run can create it again; where the system or the file
// system cannot (before Windows 10 1709, FAT), the name goes with the last
// handle.
bool DeleteByHandle(HANDLE handle) {
    DispositionEx posix{kDispositionDelete | kDispositionPosixSemantics};
    if (::SetFileInformationByHandle(handle, kDispositionInfoEx, &posix, sizeof posix)) {
        return true;
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                        sizeof disposition) != 0;
}

void Note(IoTrace* trace, IoStep step) {
    if (trace) {
        trace->Step(step);
    }
}

// Up to size bytes of the file open at handle, from offset; short at its end
// or on a failure.
std::size_t ReadFrom(HANDLE handle, std::uint64_t offset, unsigned char* into, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + got);
        at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
        DWORD n = 0;
        if (!::ReadFile(handle, into + got, static_cast<DWORD>(size - got), &n, &at) || n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

// The serial number of the volume that holds the folder at path.
std::optional<DWORD> VolumeOf(const fs::path& path) {
    const HANDLE dir = ::CreateFileW(LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(dir, &info) &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ::CloseHandle(dir);
    return known ? std::optional<DWORD>(info.dwVolumeSerialNumber) : std::nullopt;
}

} // namespace

std::optional<std::filesystem::path> StandInFolder(const std::filesystem::path& root) {
    std::error_code error;
    const fs::path temp = fs::temp_directory_path(error);
    const std::optional<DWORD> volume = VolumeOf(root);
    if (error || !volume || VolumeOf(temp) != volume) {
        return std::nullopt;
    }
    return temp;
}

// Copies of the program agree through a named object that stands for the
// folder's identity, whatever name they reach it by; it goes with the last
// handle, so a killed copy never leaves it held. It is made in Global\, so
// that copies in other logon sessions (another user, Remote Desktop) see it.
Folder::Folder(std::filesystem::path path) : path_(std::move(path)) {
    const HANDLE dir = ::CreateFileW(LongPath(path_).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    FileId id;
    if (dir != INVALID_HANDLE_VALUE) {
        if (::GetFileInformationByHandle(dir, &info)) {
            id = IdOf(dir, info);
        }
        ::CloseHandle(dir);
    }
    if (!id.Known()) {
        // Nothing to name a lock by (a shared name would lock unrelated
        // folders): the exclusive create still guards the file.
        held_ = true;
        return;
    }
    const std::wstring name = L"SarnovalFolder-" + std::to_wstring(id.device) + L"-" +
                              std::to_wstring(id.inodeHigh) + L"-" + std::to_wstring(id.inode);
    // Default security: made by another user, the object refuses us with
    // access denied, and that alone says another copy holds it; we never
    // wait on it, so nothing needs to open it for everyone.
    HANDLE object = ::CreateMutexW(nullptr, FALSE, (L"Global\\" + name).c_str());
    DWORD error = ::GetLastError();
    if (!object && error != ERROR_ACCESS_DENIED) {
        // No global namespace to be had: at least the copies of this session.
        object = ::CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str());
        error = ::GetLastError();
    }
    lock_ = object;
    // Another copy's object, whether we may open it or not, means the folder
    // is not ours; no named objects at all does not stop the test.
    held_ = object ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED;
    whyNot_ = held_ ? "" : kFolderBusy;
}

Folder::~Folder() {
    if (lock_) {
        ::CloseHandle(static_cast<HANDLE>(lock_));
    }
}

File Folder::Create(const char* name, IoTrace* trace) const {
    return File::Open(path_ / name, File::Mode::CreateNew, trace);
}

File Folder::OpenReadBack(const char* name, IoTrace* trace) const {
    return File::Open(path_ / name, File::Mode::ReadBack, trace);
}

bool Folder::ClearLeftover(const char* name, std::chrono::system_clock::time_point now,
                           std::string& why, IoTrace* trace) const {
    const HANDLE handle = OpenToExamine(path_ / name, DELETE | GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        why = "the system refused to open it (error " + std::to_string(error) + ")";
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // Owners are not compared: FAT reports none and Samba mapped ones; the
    // content and the age tell our file from anybody's.
    BY_HANDLE_FILE_INFORMATION info{};
    FoundFile found;
    if (IsDiskFile(handle, info)) {
        found.regular = true;
        found.links = info.nNumberOfLinks;
        found.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        found.modified = FromFileTime(info.ftLastWriteTime);
    }
    const LeftoverVerdict verdict = ExamineLeftover(
        found,
        [handle](std::uint64_t at, unsigned char* into, std::size_t size) {
            return ReadFrom(handle, at, into, size);
        },
        now);
    why = verdict.why;
    bool removed = false;
    BY_HANDLE_FILE_INFORMATION after{};
    // Unchanged while it was read.
    if (verdict.remove && ::GetFileInformationByHandle(handle, &after) &&
        after.nFileSizeLow == info.nFileSizeLow && after.nFileSizeHigh == info.nFileSizeHigh &&
        FromFileTime(after.ftLastWriteTime) == found.modified) {
        Note(trace, IoStep::Remove);
        removed = DeleteByHandle(handle);
    }
    ::CloseHandle(handle); // the file goes with the last handle
    return removed;
}

std::optional<std::chrono::system_clock::time_point> Folder::Now(const char* name) const {
    // Deleted as it is closed, or by the system if this process dies first.
    const HANDLE handle =
        ::CreateFileW(LongPath(path_ / name).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    FILETIME written{};
    const bool known = ::GetFileTime(handle, nullptr, nullptr, &written) != 0;
    ::CloseHandle(handle);
    return known ? std::optional(FromFileTime(written)) : std::nullopt;
}

bool Folder::Holds(const char* name, const FileId& id) const {
    const HANDLE handle = OpenToExamine(path_ / name, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool same = IsDiskFile(handle, info) && SameFile(IdOf(handle, info), id);
    ::CloseHandle(handle);
    return same;
}

bool Folder::RemoveIfSame(const char* name, const FileId& id, IoTrace* trace) const {
    const HANDLE handle = OpenToExamine(path_ / name, DELETE);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    bool removed = false;
    if (IsDiskFile(handle, info) && SameFile(IdOf(handle, info), id)) {
        Note(trace, IoStep::Remove);
        removed = DeleteByHandle(handle);
    }
    ::CloseHandle(handle);
    return removed;
}

Moved Folder::Rename(const char* from, const char* to, FileId& id, IoTrace* trace) const {
    Note(trace, IoStep::Rename);
    // Moved by the handle of the file checked, so nothing swapped in at from
    // is moved; a link there is opened as itself and refused.
    const HANDLE handle = OpenToExamine(path_ / from, DELETE);
    if (handle == INVALID_HANDLE_VALUE) {
        return Moved::No;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    bool moved = false;
    if (IsDiskFile(handle, info) && SameFile(IdOf(handle, info), id)) {
        // The whole path, in the \\?\ form that knows no length limit.
        const std::wstring target = LongPath(path_ / to);
        const std::size_t bytes =
            offsetof(FILE_RENAME_INFO, FileName) + (target.size() + 1) * sizeof(wchar_t);
        std::vector<unsigned char> buffer(bytes);
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->ReplaceIfExists = FALSE;
        rename->RootDirectory = nullptr;
        rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
        std::memcpy(rename->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
        moved = ::SetFileInformationByHandle(handle, FileRenameInfo, rename,
                                             static_cast<DWORD>(bytes)) != 0;
    }
    // On FAT the file's number is where its directory entry lies, and the
    // longer name may need new entries: the number is the one it has now.
    if (moved) {
        id = ::GetFileInformationByHandle(handle, &info) ? IdOf(handle, info) : FileId{};
    }
    ::CloseHandle(handle);
    return moved ? Moved::Renamed : Moved::No;
}

} // namespace sarnoval
