// What a result says about where it ran, from fake mount tables and /sys
// trees as the kernel lays them out for each kind of storage.
#include "engine/volume.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace sarnoval {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// A file under sys with its text, or with "->target" a link to target.
using Entry = std::pair<std::string, std::string>;

const std::string kNvme = "devices/pci0000:00/0000:00:01.1/0000:01:00.0";
const std::string kNvmeDisk = kNvme + "/nvme/nvme0/nvme0n1";
const std::string kAta = "devices/pci0000:00/0000:00:17.0/ata3";
const std::string kSataDisk = kAta + "/host2/target2:0:0/2:0:0:0/block/sda";
const std::string kUsb = "devices/pci0000:00/0000:00:14.0/usb2/2-1";
const std::string kUsbDisk = kUsb + "/2-1:1.0/host3/target3:0:0/3:0:0:0/block/sdb";

std::vector<Entry> UsbStick(const char* speed) {
    return {{kUsb + "/speed", speed},
            {kUsb + "/version", " 3.20"},
            {kUsbDisk + "/sdb1/partition", "1"},
            {"dev/block/8:17", "->../../" + kUsbDisk + "/sdb1"}};
}

struct Case {
    const char* what;
    std::string mounts;
    std::vector<Entry> sys;
    const char* path;
    bool direct;
    double readSpeed;
    StorageFacts expected;             // the fields compared below
    std::vector<std::string> warnings; // what each says, in order
};

TEST(DescribeStorage, EachKindOfStorageSaysWhatItIs) {
    const auto facts = [](std::string device, std::string bus, std::string link = "",
                          std::uint64_t linkBytes = 0) {
        StorageFacts f;
        f.device = std::move(device);
        f.bus = std::move(bus);
        f.link = std::move(link);
        f.linkBytesPerSecond = linkBytes;
        return f;
    };
    const auto with = [](StorageFacts f, const std::function<void(StorageFacts&)>& change) {
        change(f);
        return f;
    };
    const std::string shm = "40 1 0:30 / /dev/shm rw - tmpfs tmpfs rw\n";
    const std::vector<Case> cases = {
        {"NVMe, PCIe 4.0 x4",
         "29 1 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n",
         {{kNvme + "/current_link_speed", "16.0 GT/s PCIe"},
          {kNvme + "/current_link_width", "4"},
          {kNvmeDisk + "/device/model", "Fast SSD"},
          {kNvmeDisk + "/nvme0n1p2/partition", "2"},
          {"dev/block/259:2", "->../../" + kNvmeDisk + "/nvme0n1p2"}},
         "/home/ana",
         true,
         9e9,
         with(facts("/dev/nvme0n1p2", "nvme", "PCIe 4.0 x4", 7876923076),
              [](StorageFacts& f) { f.model = "Fast SSD"; }),
         {"read figure (9000 MB/s) is above what the link carries (7877 MB/s)"}},
        {"SATA",
         "30 1 8:1 / /data rw - ext4 /dev/sda1 rw\n",
         {{kAta + "/link3/ata_link/link3/sata_spd", "6.0 Gbps"},
          {kSataDisk + "/sda1/partition", "1"},
          {"dev/block/8:1", "->../../" + kSataDisk + "/sda1"}},
         "/data/x",
         true,
         5e8,
         facts("/dev/sda1", "sata", "SATA 6.0 Gb/s", 600000000),
         {}},
        {"USB 3 stick on a USB 2 link",
         "31 1 8:17 / /media/stick rw - ext4 /dev/sdb1 rw\n",
         UsbStick("480"),
         "/media/stick",
         true,
         4e7,
         with(facts("/dev/sdb1", "usb", "USB 480 Mb/s", 60000000),
              [](StorageFacts& f) { f.usb3OnUsb2 = true; }),
         {"USB 3 device is connected at USB 2 speed (USB 480 Mb/s)"}},
        {"USB 3 stick at 5 Gb/s",
         "31 1 8:17 / /media/stick rw - ext4 /dev/sdb1 rw\n",
         UsbStick("5000"),
         "/media/stick",
         true,
         4e8,
         facts("/dev/sdb1", "usb", "USB 5000 Mb/s", 625000000),
         {}},
        {"MMC card",
         "32 1 179:1 / /media/card rw - vfat /dev/mmcblk0p1 rw\n",
         {{"devices/platform/soc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0/mmcblk0p1/partition", "1"},
          {"dev/block/179:1",
           "->../../devices/platform/soc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0/mmcblk0p1"}},
         "/media/card",
         true,
         2e7,
         facts("/dev/mmcblk0p1", "mmc"),
         {}},
        {"virtio",
         "33 1 254:0 / / rw - ext4 /dev/vda rw\n",
         {{"devices/pci0000:00/0000:00:05.0/virtio2/block/vda/size", "1"},
          {"dev/block/254:0", "->../../devices/pci0000:00/0000:00:05.0/virtio2/block/vda"}},
         "/srv",
         true,
         1e9,
         facts("/dev/vda", "virtio"),
         {}},
        {"loop device on tmpfs",
         shm + "41 1 7:0 / /mnt/fast rw - ext4 /dev/loop0 rw\n",
         {{"devices/virtual/block/loop0/loop/backing_file", "/dev/shm/disk.img"},
          {"dev/block/7:0", "->../../devices/virtual/block/loop0"}},
         "/mnt/fast",
         true,
         5e9,
         with(facts("/dev/loop0", "memory"), [](StorageFacts& f) { f.memory = true; }),
         {"kept in memory (ext4)"}},
        {"btrfs, compressed",
         "42 1 0:45 / /srv rw,relatime - btrfs /dev/sdq rw,compress=zstd:3,space_cache=v2\n",
         {{kSataDisk + "/size", "1"}, {"class/block/sdq", "->../../" + kSataDisk}},
         "/srv/x",
         true,
         5e8,
         with(facts("/dev/sda", "sata"), [](StorageFacts& f) { f.compression = "zstd:3"; }),
         {"compresses what is written (zstd:3)"}},
        {"NTFS through FUSE",
         "43 1 8:17 / /media/ntfs rw - fuseblk /dev/sdb1 rw\n",
         UsbStick("5000"),
         "/media/ntfs",
         false,
         1.4e9,
         facts("/dev/sdb1", "usb", "USB 5000 Mb/s", 625000000),
         {"a FUSE file system's program may serve them",
          "read figure (1400 MB/s) is above what the link carries (625 MB/s)"}},
        {"tmpfs",
         shm,
         {},
         "/dev/shm/x",
         false,
         5e9,
         with(facts("tmpfs", "memory"), [](StorageFacts& f) { f.memory = true; }),
         {"kept in memory (tmpfs)"}},
    };
    for (const Case& c : cases) {
        const fs::path sys =
            fs::temp_directory_path() / ("sarnoval-sys-" + std::to_string(std::random_device()()));
        for (const auto& [path, text] : c.sys) {
            fs::create_directories((sys / path).parent_path());
            if (text.rfind("->", 0) == 0) {
                fs::create_directory_symlink(text.substr(2), sys / path);
            } else {
                std::ofstream(sys / path) << text << "\n";
            }
        }
        const StorageFacts got = DescribeStorage(c.path, ParseMountInfo(c.mounts), sys);
        fs::remove_all(sys);
        const StorageFacts& want = c.expected;
        EXPECT_EQ(got.device, want.device) << c.what;
        EXPECT_EQ(got.bus, want.bus) << c.what;
        EXPECT_EQ(got.link, want.link) << c.what;
        EXPECT_EQ(got.linkBytesPerSecond, want.linkBytesPerSecond) << c.what;
        EXPECT_EQ(got.model, want.model) << c.what;
        EXPECT_EQ(got.compression, want.compression) << c.what;
        EXPECT_EQ(got.memory, want.memory) << c.what;
        EXPECT_EQ(got.usb3OnUsb2, want.usb3OnUsb2) << c.what;
        const std::vector<std::string> warnings = Warnings(got, c.direct, 0, c.readSpeed);
        ASSERT_EQ(warnings.size(), c.warnings.size()) << c.what;
        for (std::size_t i = 0; i < warnings.size(); ++i) {
            EXPECT_NE(warnings[i].find(c.warnings[i]), std::string::npos)
                << c.what << ": " << warnings[i];
        }
    }
}
#endif

} // namespace
} // namespace sarnoval
