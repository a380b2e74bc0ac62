// A cgroup that holds this process's transfers to a folder's disk to a set
// pace, or why there is none: it needs root and a throttling controller,
// cgroup v1 blkio or v2 io. Linux only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace sarnoval::testing {

class ThrottledDisk {
public:
    ThrottledDisk(const std::filesystem::path& folder, std::uint64_t bytesPerSecond) {
        namespace fs = std::filesystem;
#ifdef _WIN32
        (void)folder;
        (void)bytesPerSecond;
        why_ = "needs a throttling cgroup, which Windows lacks";
#else
        const fs::path v1 = "/sys/fs/cgroup/blkio";
        const fs::path v2 = "/sys/fs/cgroup";
        const bool hasV1 = fs::exists(v1 / "blkio.throttle.write_bps_device");
        std::string controllers;
        std::getline(std::ifstream(v2 / "cgroup.controllers"), controllers);
        struct stat st {};
        if (::geteuid() != 0 ||
            (!hasV1 && (" " + controllers + " ").find(" io ") == std::string::npos) ||
            ::stat(folder.c_str(), &st) != 0 || major(st.st_dev) == 0) {
            why_ = "needs root, a throttling cgroup controller (v1 blkio or v2 io) and a folder on "
                   "a block device";
            return;
        }
        // Throttling is set on the whole disk: a partition names its parent.
        fs::path device = fs::path("/sys/dev/block") / (std::to_string(major(st.st_dev)) + ":" +
                                                        std::to_string(minor(st.st_dev)));
        if (fs::exists(device / "partition")) {
            device = fs::canonical(device).parent_path();
        }
        std::string disk;
        std::ifstream(device / "dev") >> disk;
        const fs::path root = hasV1 ? v1 : v2;
        if (!hasV1) {
            Write(root / "cgroup.subtree_control", "+io");
        }
        group_ = root / ("sarnoval-test-" + std::to_string(::getpid()));
        std::error_code error;
        fs::create_directory(group_, error);
        const std::string pace = std::to_string(bytesPerSecond);
        const bool set =
            hasV1 ? Write(group_ / "blkio.throttle.write_bps_device", disk + " " + pace) &&
                        Write(group_ / "blkio.throttle.read_bps_device", disk + " " + pace)
                  : Write(group_ / "io.max", disk + " rbps=" + pace + " wbps=" + pace);
        if (error || !set || !Write(group_ / "cgroup.procs", std::to_string(::getpid()))) {
            why_ = "could not set up a throttling cgroup in " + root.string();
        }
#endif
    }
    ~ThrottledDisk() {
#ifndef _WIN32
        if (!group_.empty()) {
            Write(group_.parent_path() / "cgroup.procs", std::to_string(::getpid()));
            ::rmdir(group_.c_str());
        }
#endif
    }
    ThrottledDisk(const ThrottledDisk&) = delete;
    ThrottledDisk& operator=(const ThrottledDisk&) = delete;

    const std::string& WhyNot() const {
        return why_;
    }

private:
    static bool Write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream out(file);
        out << text << '\n' << std::flush;
        return out.good();
    }
    std::filesystem::path group_;
    std::string why_;
};

} // namespace sarnoval::testing
