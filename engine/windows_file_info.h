// What the Windows sources of the engine share about a file handle. Include
// after <windows.h>.
#pragma once

#include "engine/file_io.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

namespace sarnoval {

// Which file handle is open on: the volume's 64-bit serial and the file's
// 128-bit number (ReFS numbers do not fit 64 bits), or, where the file system
// or the system refuses that query (some FAT and network volumes, Windows 7),
// the 32-bit serial and 64-bit index in info. A volume that answered both
// ways would only make one file look like two: refused, never mistaken.
inline FileId IdOf(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
    FileId id;
    FILE_ID_INFO full{};
    if (::GetFileInformationByHandleEx(handle, FileIdInfo, &full, sizeof full)) {
        static_assert(sizeof full.FileId.Identifier == 2 * sizeof id.inode);
        id.device = full.VolumeSerialNumber;
        std::memcpy(&id.inode, full.FileId.Identifier, sizeof id.inode);
        std::memcpy(&id.inodeHigh, full.FileId.Identifier + sizeof id.inode, sizeof id.inodeHigh);
        return id;
    }
    id.device = info.dwVolumeSerialNumber;
    id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return id;
}

inline std::chrono::system_clock::time_point FromFileTime(const FILETIME& time) {
    // 100 ns ticks since 1601; the Unix epoch is 11644473600 seconds later.
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const auto sinceUnix = std::chrono::microseconds(static_cast<std::int64_t>(ticks / 10)) -
                           std::chrono::seconds(11644473600LL);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceUnix));
}

// A regular file on a disk: no folder, link, junction, device or pipe.
inline bool IsDiskFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// The path whole and in the \\?\ form, which the system takes past MAX_PATH
// whatever the machine's long path setting; a device's or one already in
// that form as it is.
inline std::wstring LongPath(const std::filesystem::path& path) {
    const std::wstring& text = path.native();
    if (text.empty() || text.rfind(L"\\\\?\\", 0) == 0 || text.rfind(L"\\\\.\\", 0) == 0) {
        return text;
    }
    std::wstring full(::GetFullPathNameW(text.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD size =
        ::GetFullPathNameW(text.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (size == 0 || size >= full.size()) {
        return text;
    }
    full.resize(size);
    if (full.rfind(L"\\\\.\\", 0) == 0) {
        return full; // a device, as COM1 becomes
    }
    return full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

} // namespace sarnoval
