#include "cli/platform.h"

#include "engine/volume.h"

#include <algorithm>
#include <cerrno>
#include <climits>
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

int WriteOut(const std::string& text, bool) {
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
