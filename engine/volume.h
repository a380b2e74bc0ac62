// What holds a folder: the mounted volume, its device, and how the device is
// attached. The one place for the mount table, the walk through /sys and
// "is this path within that one": the drive map, direct transfers and the
// facts a result gives about itself all use it.
#pragma once

#include "engine/drive_paths.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarnoval {

// Whether path is at or below root, comparing whole components.
bool IsWithin(const std::filesystem::path& path, const std::filesystem::path& root);

// The volumes listed in /proc/self/mountinfo text. Reading the list touches
// no mounted file system.
std::vector<Volume> ParseMountInfo(std::string_view text);
// The live system's list; empty on Windows.
std::vector<Volume> MountedVolumes();

// The deepest volume in volumes whose mount point holds path.
std::optional<Volume> VolumeHolding(const std::vector<Volume>& volumes,
                                    const std::filesystem::path& path);

// C is the account's home, D onwards the other writable volumes. On Windows
// empty: the drives' own letters.
DriveMap ReadMountedDriveMap();

// What a result can say about where it was measured; empty where unknown.
struct StorageFacts {
    std::string mountPoint;
    std::string fsType;
    std::string device; // the block device, "/dev/nvme0n1p2"; a share's source
    // nvme, sata, scsi, usb, mmc, virtio, loop, network, fuse, memory; on
    // Windows also what the storage stack names (sd, raid, virtual, ...)
    std::string bus;
    std::string model;
    std::string link;                     // "PCIe 4.0 x4", "USB 480 Mb/s", "SATA 6.0 Gb/s"
    std::uint64_t linkBytesPerSecond = 0; // what the link can carry; 0 unknown
    std::string compression;              // "zstd:3" where the file system compresses
    std::string driveType;                // Windows: fixed, removable, remote, cdrom, ramdisk
    bool memory = false;                  // kept in memory: tmpfs, a RAM disk, a loop file there
    bool usb3OnUsb2 = false;              // a USB 3 device on a USB 2 link
};

// What the mount table tells of a volume alone.
StorageFacts FactsOf(const Volume& volume);
// The facts for path from a mount table and a /sys tree (tests give their own).
StorageFacts DescribeStorage(const std::filesystem::path& path, const std::vector<Volume>& volumes,
                             const std::filesystem::path& sys);
// The live system's facts for path.
StorageFacts DescribeStorage(const std::filesystem::path& path);

// Plain sentences on what may make the figures other than the drive's: the
// cached path and why, memory, compression, a slow USB link, a figure above
// what the link carries. Speeds in bytes per second; 0 where not measured.
std::vector<std::string> Warnings(const StorageFacts& facts, bool direct, double writeSpeed,
                                  double readSpeed);

// The logical block size of device major:minor under sys, or of the disk it
// is a partition of; 0 where it has none.
std::size_t LogicalBlockBytes(const std::filesystem::path& sys, unsigned major, unsigned minor);

} // namespace sarnoval
