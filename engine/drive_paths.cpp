#include "engine/drive_paths.h"

#include "engine/file_io.h"
#include "engine/volume.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace sarnoval {

namespace {

bool IsPseudoFs(std::string_view type) {
    static constexpr std::array<std::string_view, 26> kPseudo = {
        "proc",       "sysfs",      "devtmpfs", "devpts",  "tmpfs",       "ramfs",    "cgroup",
        "cgroup2",    "securityfs", "pstore",   "debugfs", "tracefs",     "configfs", "fusectl",
        "mqueue",     "hugetlbfs",  "bpf",      "autofs",  "binfmt_misc", "efivarfs", "nsfs",
        "rpc_pipefs", "squashfs",   "iso9660",  "overlay", "selinuxfs"};
    return std::find(kPseudo.begin(), kPseudo.end(), type) != kPseudo.end();
}

// The path with "." and ".." resolved as text and no trailing separator.
std::filesystem::path Normal(const std::filesystem::path& path) {
    std::filesystem::path normal = path.lexically_normal();
    if (!normal.has_filename() && normal != normal.root_path()) {
        normal = normal.parent_path();
    }
    return normal;
}

// An absolute path that is not the root of the file system, neither as
// written ("/.", "/usr/..") nor through a link that leads there.
bool UsableHome(const std::filesystem::path& home) {
    if (!home.is_absolute() || Normal(home) == home.root_path()) {
        return false;
    }
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(home, error);
    return error || Normal(resolved) != resolved.root_path();
}

} // namespace

std::filesystem::path AccountHome() {
    if (const char* home = std::getenv("HOME"); home && UsableHome(home)) {
        return Normal(home);
    }
    if (const auto home = HomeFromUserDatabase(); home && UsableHome(*home)) {
        return Normal(*home);
    }
    return {};
}

DriveMap DefaultDriveMap() {
    if (SystemDriveRoot('C')) {
        return {}; // the drives' own letters
    }
    const std::filesystem::path home = AccountHome();
    return home.empty() ? DriveMap{} : DriveMap{{'C', home}};
}

DriveMap BuildDriveMap(const std::filesystem::path& home, std::vector<Volume> volumes) {
    std::erase_if(volumes, [](const Volume& v) {
        return !v.ready || v.readOnly || v.mountPoint.empty() || IsPseudoFs(v.fsType);
    });
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.mountPoint < b.mountPoint; });
    volumes.erase(
        std::unique(volumes.begin(), volumes.end(),
                    [](const Volume& a, const Volume& b) { return a.mountPoint == b.mountPoint; }),
        volumes.end());

    // The deepest mount point above home is the volume C already stands for.
    const Volume* homeVolume = nullptr;
    for (const Volume& v : volumes) {
        if (IsWithin(home, v.mountPoint) &&
            (!homeVolume || v.mountPoint.size() > homeVolume->mountPoint.size())) {
            homeVolume = &v;
        }
    }

    DriveMap map;
    if (!home.empty()) {
        map.emplace('C', home);
    }
    char letter = 'D';
    for (const Volume& v : volumes) {
        if (&v == homeVolume) {
            continue;
        }
        if (letter > 'Z') {
            break;
        }
        map.emplace(letter++, std::filesystem::path(v.mountPoint));
    }
    return map;
}

std::optional<std::filesystem::path> DriveRoot(const DriveMap& map, std::string_view driveText) {
    if (driveText.size() != 1) {
        return std::nullopt;
    }
    char letter = driveText[0];
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    // The drive's own root, unless a map of folders stands in its place.
    if (map.empty()) {
        return SystemDriveRoot(driveText[0]);
    }
    const auto found = map.find(letter);
    if (found == map.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace sarnoval
