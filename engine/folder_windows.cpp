// The folder on Windows: by path, with each check and act on one handle.
#include "engine/folder.h"

#include "engine/leftover.h"

#include "engine/windows_api.h"

#include "engine/windows_file_info.h"

#include <string>
#include <utility>
#include <vector>

namespace sarnoval {

namespace {

namespace fs = std::filesystem;

// What stands at path itself, a link not followed, opened so that it can be
// examined and deleted by this handle: the file checked is the file removed.
HANDLE OpenToExamine(const fs::path& path, DWORD access) {
    return ::CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                         nullptr);
}

bool DeleteByHandle(HANDLE handle) {
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

std::chrono::system_clock::time_point FromFileTime(const FILETIME& time) {
    // 100 ns ticks since 1601; the Unix epoch is 11644473600 seconds later.
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const auto sinceUnix = std::chrono::microseconds(static_cast<std::int64_t>(ticks / 10)) -
                           std::chrono::seconds(11644473600LL);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceUnix));
}

// The first bytes of the file, for the leftover rule; short when it fails.
std::vector<unsigned char> ReadHead(HANDLE handle, std::size_t size) {
    std::vector<unsigned char> head(size);
    std::size_t got = 0;
    while (got < size) {
        DWORD n = 0;
        if (!::ReadFile(handle, head.data() + got, static_cast<DWORD>(size - got), &n, nullptr) ||
            n == 0) {
            break;
        }
        got += n;
    }
    head.resize(got);
    return head;
}

// The serial number of the volume that holds the folder at path.
std::optional<DWORD> VolumeOf(const fs::path& path) {
    const HANDLE dir = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
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
    const HANDLE dir = ::CreateFileW(path_.c_str(), FILE_READ_ATTRIBUTES,
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

bool Folder::ClearLeftover(const char* name, IoTrace* trace) const {
    const HANDLE handle = OpenToExamine(path_ / name, DELETE | GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
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
    bool removed = false;
    if (found.regular) {
        const auto head = ReadHead(handle, LeftoverHeadBytes(found.size));
        if (IsOwnLeftover(found, head, std::chrono::system_clock::now())) {
            Note(trace, IoStep::Remove);
            removed = DeleteByHandle(handle);
        }
    }
    ::CloseHandle(handle); // the file goes with the last handle
    return removed;
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

Moved Folder::Rename(const char* from, const char* to, IoTrace* trace) const {
    Note(trace, IoStep::Rename);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when to exists, and
    // without MOVEFILE_COPY_ALLOWED it never copies to another drive.
    return ::MoveFileExW((path_ / from).c_str(), (path_ / to).c_str(), 0) != 0 ? Moved::Renamed
                                                                               : Moved::No;
}

} // namespace sarnoval
