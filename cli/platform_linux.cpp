#include "cli/platform.h"

#include "engine/mount_table.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <iterator>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace sarnoval::cli {

namespace fs = std::filesystem;

namespace {

// Blocked in every thread and read from a descriptor: no handler runs, and
// no engine call is interrupted.
int g_signalFd = -1;
int g_wakeFd = -1;

std::string ReadWord(const fs::path& file) {
    std::ifstream in(file);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto blank = [](unsigned char c) { return c <= ' '; };
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    return text;
}

// The stop's signal number if one is pending, else 0.
int TakeSignal() {
    signalfd_siginfo info{};
    if (read(g_signalFd, &info, sizeof info) == sizeof info) {
        return static_cast<int>(info.ssi_signo);
    }
    return 0;
}

} // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
    return {argv + std::min(argc, 1), argv + argc}; // the bytes as given
}

void CatchStopSignals() {
    // Past the limit write() then fails with EFBIG, which the test reports
    // and cleans up after, instead of the signal killing us mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaddset(&set, sig);
    }
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    g_signalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    g_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

int WaitForEvent(int ms) {
    pollfd fds[2] = {{g_signalFd, POLLIN, 0}, {g_wakeFd, POLLIN, 0}};
    if (poll(fds, 2, ms) <= 0) {
        return 0;
    }
    std::uint64_t count = 0;
    if (read(g_wakeFd, &count, sizeof count) < 0) {
        count = 0; // nothing was pending
    }
    return TakeSignal();
}

void Wake() {
    const std::uint64_t one = 1;
    while (write(g_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void StopSettled() {}

int WriteOut(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        // A full pipe would hold a blocking write, and the signal with it.
        pollfd fds[2] = {{g_signalFd, POLLIN, 0}, {STDOUT_FILENO, POLLOUT, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            return -1;
        }
        if (const int signal = fds[0].revents ? TakeSignal() : 0) {
            return signal;
        }
        if (fds[1].revents == 0) {
            continue;
        }
        // A pipe that polls writable takes up to PIPE_BUF bytes without blocking.
        const std::size_t size = std::min<std::size_t>(text.size() - done, PIPE_BUF);
        const ssize_t n = write(STDOUT_FILENO, text.data() + done, size);
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return -1;
        }
        done += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    }
    return 0;
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void BinaryOutput() {}

DriveMap DialogDriveMap() {
    return ReadMountedDriveMap();
}

std::string TextToUtf8(const std::string& text) {
    return text;
}

std::string PathToUtf8(const fs::path& path) {
    return path.string();
}

VolumeFacts DescribeVolume(const fs::path& path) {
    VolumeFacts facts;
    std::error_code ec;
    const fs::path where = fs::canonical(path, ec);
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string text{std::istreambuf_iterator<char>(mounts),
                           std::istreambuf_iterator<char>()};
    // The deepest mount point above the path is the volume holding it.
    std::size_t deepest = 0;
    for (const Volume& volume : ParseMountInfo(text)) {
        const fs::path mount = volume.mountPoint;
        const bool within =
            std::mismatch(mount.begin(), mount.end(), where.begin(), where.end()).first ==
            mount.end();
        if (!ec && within && volume.mountPoint.size() >= deepest) {
            deepest = volume.mountPoint.size();
            facts.fsType = volume.fsType;
        }
    }
    // The model of the disk, or of the disk a partition lies on.
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        const fs::path block = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                               std::to_string(minor(st.st_dev));
        const fs::path disk = fs::exists(block / "partition", ec) ? block / ".." : block;
        facts.model = ReadWord(disk / "device" / "model");
    }
    return facts;
}

} // namespace sarnoval::cli
