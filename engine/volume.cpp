#include "engine/volume.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>

namespace sarnoval {

namespace {

// Mount points write blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at, char top) {
            return field[at] >= '0' && field[at] <= top;
        };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1, '3') && octal(i + 2, '7') &&
            octal(i + 3, '7')) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The value of option name ("" for a bare flag), or none.
std::optional<std::string> Option(std::string_view options, std::string_view name) {
    while (!options.empty()) {
        const std::string_view option = options.substr(0, options.find(','));
        if (option == name) {
            return std::string();
        }
        if (option.size() > name.size() && option.substr(0, name.size()) == name &&
            option[name.size()] == '=') {
            return std::string(option.substr(name.size() + 1));
        }
        options.remove_prefix(std::min(options.size(), option.size() + 1));
    }
    return std::nullopt;
}

std::string Megabytes(double speed) {
    return std::to_string(static_cast<long long>(speed / 1e6 + 0.5)) + " MB/s";
}

} // namespace

std::vector<Volume> ParseMountInfo(std::string_view text) {
    std::vector<Volume> volumes;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        const std::vector<std::string> fields{std::istream_iterator<std::string>(words),
                                              std::istream_iterator<std::string>()};
        // id parent dev root mountpoint options [optional...] - type source super
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") {
            ++dash;
        }
        if (dash + 1 >= fields.size()) {
            continue;
        }
        Volume volume;
        volume.mountPoint = Unescape(fields[4]);
        volume.fsType = fields[dash + 1];
        volume.readOnly = Option(fields[5], "ro").has_value();
        volume.source = dash + 2 < fields.size() ? Unescape(fields[dash + 2]) : "";
        volume.options = fields[5] + (dash + 3 < fields.size() ? "," + fields[dash + 3] : "");
        std::sscanf(fields[2].c_str(), "%u:%u", &volume.major, &volume.minor);
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

StorageFacts FactsOf(const Volume& volume) {
    StorageFacts facts;
    facts.mountPoint = volume.mountPoint;
    facts.fsType = volume.fsType;
    facts.device = volume.source;
    for (const char* name : {"compress-force", "compress"}) {
        if (const auto value = Option(volume.options, name); value && facts.compression.empty()) {
            facts.compression = value->empty() ? "zlib" : *value; // a bare flag means zlib
        }
    }
    const std::string& type = volume.fsType;
    if (type == "tmpfs" || type == "ramfs") {
        facts.memory = true;
        facts.bus = "memory";
    } else if (type.rfind("nfs", 0) == 0 || type == "cifs" || type.rfind("smb", 0) == 0 ||
               type == "9p" || type == "fuse.sshfs" || type == "ceph") {
        facts.bus = "network";
    } else if (type.rfind("fuse", 0) == 0) {
        facts.bus = "fuse"; // fuseblk: the device's own bus, once it is known
    }
    return facts;
}

bool IsWithin(const std::filesystem::path& path, const std::filesystem::path& root) {
    auto p = path.begin();
    for (const std::filesystem::path& part : root) {
        if (part.empty()) {
            continue; // a trailing separator
        }
        if (p == path.end() || *p++ != part) {
            return false;
        }
    }
    return true;
}

std::optional<Volume> VolumeHolding(const std::vector<Volume>& volumes,
                                    const std::filesystem::path& path) {
    std::optional<Volume> deepest;
    for (const Volume& volume : volumes) {
        if (IsWithin(path, volume.mountPoint) &&
            (!deepest || volume.mountPoint.size() >= deepest->mountPoint.size())) {
            deepest = volume; // the later of two at one point is the one seen
        }
    }
    return deepest;
}

DriveMap ReadMountedDriveMap() {
    const std::vector<Volume> volumes = MountedVolumes();
    return volumes.empty() ? DefaultDriveMap() : BuildDriveMap(AccountHome(), volumes);
}

std::vector<std::string> Warnings(const StorageFacts& facts, bool direct, double writeSpeed,
                                  double readSpeed) {
    std::vector<std::string> warnings;
    if (facts.memory) {
        warnings.push_back("The folder is kept in memory (" + facts.fsType +
                           "): the figures are the memory's, not a drive's.");
    } else if (!direct) {
        const bool fuse = facts.fsType.rfind("fuse", 0) == 0;
        warnings.push_back(
            std::string("The transfers went through the system's cache, ") +
            (fuse ? "since a FUSE file system's program may serve them from a cache of its own"
                  : "since the file system did not take direct transfers") +
            ": the figures may be the cache's, not the drive's.");
    }
    if (!facts.compression.empty()) {
        warnings.push_back("The file system compresses what is written (" + facts.compression +
                           "): the test's data does not compress, but other data may move faster.");
    }
    if (facts.usb3OnUsb2) {
        warnings.push_back("This USB 3 device is connected at USB 2 speed (" + facts.link +
                           "): a USB 3 port and cable would let it go faster.");
    }
    const double link = static_cast<double>(facts.linkBytesPerSecond);
    for (const auto& [what, speed] :
         {std::pair{"write", writeSpeed}, std::pair{"read", readSpeed}}) {
        if (link > 0 && speed > link) {
            warnings.push_back(std::string("The ") + what + " figure (" + Megabytes(speed) +
                               ") is above what the link carries (" + Megabytes(link) +
                               "): a cache must have served it.");
        }
    }
    return warnings;
}

} // namespace sarnoval
