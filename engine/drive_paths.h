// Where "the root of drive X" is. Windows has drive letters; elsewhere the
// letters are a map: C is the home folder, D onwards the other writable
// storage volumes by mount point.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarnoval {

using DriveMap = std::map<char, std::filesystem::path>;

struct Volume {
    std::string mountPoint;
    std::string fsType;
    bool readOnly = false;
    bool ready = true;
};

// C maps to home; the volume holding home is C's and is not listed again.
// Pseudo, memory-backed and read-only filesystems are left out.
DriveMap BuildDriveMap(const std::filesystem::path& home, std::vector<Volume> volumes);

// C mapped to the home folder alone.
DriveMap DefaultDriveMap();

// Safe to call from any thread.
void SetDriveMap(DriveMap map);
DriveMap CurrentDriveMap();

// The directory that stands for the drive's root, or none when the text names
// no drive. On Windows this is the text followed by ":\".
std::optional<std::filesystem::path> DriveRoot(std::string_view driveText);

// How the drive is named in the result line.
inline std::string DriveName(std::string_view driveText) {
    return std::string(driveText) + ":\\";
}

} // namespace sarnoval
