// Volumes on Linux, the one POSIX system here: /proc/self/mountinfo and the
// device tree under /sys.
#include "engine/volume.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace sarnoval {

namespace fs = std::filesystem;

namespace {

std::string ReadWord(const fs::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
}

// The file's text without the blanks around it: a model may hold blanks.
std::string ReadText(const fs::path& file) {
    std::ifstream in(file);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto blank = [](unsigned char c) { return c <= ' '; };
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    return text;
}

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// The deepest folder from dir up to sys that holds every one of files.
std::optional<fs::path> AncestorWith(fs::path dir, const fs::path& sys,
                                     std::initializer_list<const char*> files) {
    for (; dir.has_relative_path() && IsWithin(dir, sys) && dir != sys; dir = dir.parent_path()) {
        if (std::all_of(files.begin(), files.end(),
                        [&](const char* f) { return Exists(dir / f); })) {
            return dir;
        }
    }
    return std::nullopt;
}

bool StartsWithNumbered(const std::string& part, const std::string& prefix) {
    return part.size() > prefix.size() && part.rfind(prefix, 0) == 0 &&
           std::isdigit(static_cast<unsigned char>(part[prefix.size()]));
}

// The bus a disk hangs on, by its place in the device tree.
std::string BusOf(const fs::path& disk) {
    const std::string name = disk.filename().string();
    if (name.rfind("loop", 0) == 0) {
        return "loop";
    }
    if (name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0 || name.rfind("pmem", 0) == 0) {
        return "memory";
    }
    bool host = false;
    for (const fs::path& component : disk) {
        const std::string part = component.string();
        if (part == "nvme") {
            return "nvme";
        }
        if (StartsWithNumbered(part, "usb")) {
            return "usb";
        }
        if (part == "mmc_host") {
            return "mmc";
        }
        if (StartsWithNumbered(part, "virtio")) {
            return "virtio";
        }
        if (StartsWithNumbered(part, "ata")) {
            return "sata";
        }
        host = host || StartsWithNumbered(part, "host");
        if (host && StartsWithNumbered(part, "target")) {
            return "scsi";
        }
    }
    return "";
}

// "PCIe 4.0 x4" from a PCI function's negotiated link.
void PciLink(const fs::path& function, StorageFacts& facts) {
    std::ifstream speedFile(function / "current_link_speed");
    double transfers = 0; // GT/s
    speedFile >> transfers;
    const unsigned width =
        static_cast<unsigned>(std::stoul("0" + ReadWord(function / "current_link_width")));
    static const std::pair<double, const char*> kGenerations[] = {
        {2.5, "1.0"}, {5, "2.0"}, {8, "3.0"}, {16, "4.0"}, {32, "5.0"}, {64, "6.0"}};
    for (const auto& [rate, generation] : kGenerations) {
        if (transfers == rate && width > 0) {
            facts.link = std::string("PCIe ") + generation + " x" + std::to_string(width);
            const double coding = rate >= 8 ? 128.0 / 130 : 0.8;
            facts.linkBytesPerSecond = static_cast<std::uint64_t>(rate * 1e9 * width * coding / 8);
        }
    }
}

// "USB 480 Mb/s" from the USB device a disk belongs to.
void UsbLink(const fs::path& device, StorageFacts& facts) {
    const std::string speed = ReadWord(device / "speed"); // Mb/s
    const double megabits = std::atof(speed.c_str());
    if (megabits <= 0) {
        return;
    }
    facts.link = "USB " + speed + " Mb/s";
    facts.linkBytesPerSecond = static_cast<std::uint64_t>(megabits * 1e6 / 8);
    facts.usb3OnUsb2 = std::atof(ReadWord(device / "version").c_str()) >= 3 && megabits <= 480;
}

// "SATA 6.0 Gb/s" from the port a disk hangs on.
void SataLink(const fs::path& disk, StorageFacts& facts) {
    fs::path port;
    for (fs::path dir = disk; dir.has_relative_path(); dir = dir.parent_path()) {
        if (StartsWithNumbered(dir.filename().string(), "ata")) {
            port = dir;
            break;
        }
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(port, ec)) {
        const std::string link = entry.path().filename().string();
        const std::string speed = ReadWord(entry.path() / "ata_link" / link / "sata_spd");
        const double gigabits = std::atof(speed.c_str());
        if (StartsWithNumbered(link, "link") && gigabits > 0) {
            facts.link = "SATA " + speed + " Gb/s";
            facts.linkBytesPerSecond = static_cast<std::uint64_t>(gigabits * 1e9 * 0.8 / 8);
            return;
        }
    }
}

} // namespace

std::optional<fs::path> HomeFromUserDatabase() {
    // sysconf may not know the size; 16 KiB holds any real entry.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir) {
        return fs::path(found->pw_dir);
    }
    return std::nullopt;
}

std::optional<fs::path> SystemDriveRoot(char) {
    return std::nullopt; // the drive letters are a map of folders here
}

std::vector<Volume> MountedVolumes() {
    std::ifstream file("/proc/self/mountinfo");
    return ParseMountInfo(
        std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
}

std::size_t LogicalBlockBytes(const fs::path& sys, unsigned major, unsigned minor) {
    const fs::path device =
        sys / "dev" / "block" / (std::to_string(major) + ":" + std::to_string(minor));
    for (const fs::path& queue : {device / "queue", device / ".." / "queue"}) {
        std::size_t bytes = 0;
        if (std::ifstream(queue / "logical_block_size") >> bytes) {
            return bytes;
        }
    }
    return 0;
}

StorageFacts DescribeStorage(const fs::path& path, const std::vector<Volume>& volumes,
                             const fs::path& sys) {
    std::error_code ec;
    const fs::path where = fs::weakly_canonical(path, ec);
    const std::optional<Volume> volume = VolumeHolding(volumes, ec ? path : where);
    if (!volume) {
        return {};
    }
    StorageFacts facts = FactsOf(*volume);
    // The device by its number, or where the files carry none of a device
    // (btrfs), by the name mounted.
    fs::path node;
    if (volume->major != 0) {
        node = sys / "dev" / "block" /
               (std::to_string(volume->major) + ":" + std::to_string(volume->minor));
    } else if (volume->source.rfind("/dev/", 0) == 0) {
        const fs::path source = fs::canonical(volume->source, ec);
        node = sys / "class" / "block" / (ec ? fs::path(volume->source) : source).filename();
    }
    const fs::path real = node.empty() ? node : fs::canonical(node, ec);
    if (node.empty() || ec) {
        return facts;
    }
    const fs::path disk = Exists(real / "partition") ? real.parent_path() : real;
    facts.device = "/dev/" + real.filename().string();
    facts.model = ReadText(disk / "device" / "model");
    const std::string bus = BusOf(disk);
    facts.bus = bus.empty() ? facts.bus : bus;
    if (bus == "loop") {
        // A loop device is as fast as the file behind it.
        const std::optional<Volume> behind =
            VolumeHolding(volumes, ReadText(disk / "loop" / "backing_file"));
        if (behind && FactsOf(*behind).memory) {
            facts.bus = "memory";
        }
    }
    facts.memory = facts.memory || facts.bus == "memory";
    if (bus == "usb") {
        if (const auto device = AncestorWith(disk, sys, {"speed", "version"})) {
            UsbLink(*device, facts);
        }
    } else if (bus == "nvme") {
        if (const auto function =
                AncestorWith(disk, sys, {"current_link_speed", "current_link_width"})) {
            PciLink(*function, facts);
        }
    } else if (bus == "sata") {
        SataLink(disk, facts);
    }
    return facts;
}

StorageFacts DescribeStorage(const fs::path& path) {
    return DescribeStorage(path, MountedVolumes(), "/sys");
}

} // namespace sarnoval
