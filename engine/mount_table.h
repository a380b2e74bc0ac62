// The mounted volumes, as the dialog and the command line both map them to
// drive letters.
#pragma once

#include "engine/drive_paths.h"

#include <string_view>
#include <vector>

namespace sarnoval {

// The volumes listed in /proc/self/mountinfo text: mount point, type and the
// "ro" mount option. Reading the list touches no mounted file system.
std::vector<Volume> ParseMountInfo(std::string_view text);

// C is the account's home, D onwards the other writable volumes.
DriveMap ReadMountedDriveMap();

} // namespace sarnoval
