#include "cli/platform.h"

#include "engine/volume.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace sarnoval::cli {

namespace fs = std::filesystem;

namespace {

// Blocked in every thread and read from a descriptor: no handler runs, and
// no engine call is interrupted.
int g_signalFd = -1;
int g_wakeFd = -1;

} // namespace

std::vector<std::string> Arguments(int argc, char** argv) {
    return {argv + std::min(argc, 1), argv + argc}; // the bytes as given
}

void CatchStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
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
    signalfd_siginfo info{};
    if (read(g_signalFd, &info, sizeof info) == sizeof info) {
        return static_cast<int>(info.ssi_signo);
    }
    return 0;
}

void Wake() {
    const std::uint64_t one = 1;
    while (write(g_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

fs::path AbsoluteFolder(const fs::path& path) {
    std::error_code ec;
    return fs::absolute(path, ec).lexically_normal();
}

bool WriteText(std::FILE* stream, const std::string& text, bool) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
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

} // namespace sarnoval::cli
