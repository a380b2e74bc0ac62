// What the Windows sources of the engine share about a file handle. Include
// after <windows.h>.
#pragma once

#include "engine/file_io.h"

namespace sarnoval {

inline FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// A regular file on a disk: no folder, link, junction, device or pipe.
inline bool IsDiskFile(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
    return ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

} // namespace sarnoval
