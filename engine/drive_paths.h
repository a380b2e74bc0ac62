// Where "the root of drive X" is. Windows has drive letters; elsewhere the
// letters are a map: C is the home folder, D onwards the other writable
// storage volumes by mount point.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sarnoval {

using DriveMap = std::map<char, std::filesystem::path>;

struct Volume {
    Volume() = default;
    Volume(std::string mount, std::string type, bool ro, bool isReady)
        : mountPoint(std::move(mount)), fsType(std::move(type)), readOnly(ro), ready(isReady) {}

    std::string mountPoint;
    std::string fsType;
    bool readOnly = false;
    bool ready = true;
    std::string source;  // what is mounted: a device, a share
    std::string options; // the mount's and the file system's, comma-separated
    unsigned major = 0;  // the device number the volume's files carry
    unsigned minor = 0;
};

// The account's home folder: $HOME when it is an absolute path other than the
// root, else the user database's entry; empty when neither gives one, so a
// test never writes into the root of the file system or a relative folder.
std::filesystem::path AccountHome();

// C maps to home (no C when home is empty); the volume holding home is C's
// and is not listed again.
// Pseudo, memory-backed and read-only filesystems are left out.
DriveMap BuildDriveMap(const std::filesystem::path& home, std::vector<Volume> volumes);

// C mapped to the account's home alone; on Windows empty: the real letters.
DriveMap DefaultDriveMap();

// The directory that stands for the drive's root in map, or none when the text
// names no drive. On Windows an empty map stands for the drives themselves:
// the text followed by ":\" (tests give a map so that they never write to a
// real drive's root).
std::optional<std::filesystem::path> DriveRoot(const DriveMap& map, std::string_view driveText);

// Per platform. The account's home folder as the user database gives it;
// none on Windows, which has no such database.
std::optional<std::filesystem::path> HomeFromUserDatabase();
// The root of the system's own drive letter, where the system has drive
// letters (Windows); none elsewhere, and for what names no drive.
std::optional<std::filesystem::path> SystemDriveRoot(char letter);

// How the drive is named in the result line.
inline std::string DriveName(std::string_view driveText) {
    return std::string(driveText) + ":\\";
}

} // namespace sarnoval
