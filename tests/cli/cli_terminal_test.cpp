// What only POSIX can show: a terminal's progress line, stops by signal, and
// file names that are not UTF-8.
#include "tests/cli/cli_run.h"
#include "tests/support/portable.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fstream>
#include <random>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sarnoval::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class CliPosixTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("sarnoval-cli-test-" + std::to_string(std::random_device()()));
        fs::create_directories(dir_ / "drive");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // Exit status of pid, or -1 when it did not exit by itself.
    static int Reap(pid_t pid) {
        int status = 0;
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path dir_;
};

TEST_F(CliPosixTest, NonUtf8FileNameGivesValidJsonWithItsBytes) {
    const std::string path = (dir_ / "caf\xe9.bin").string();
    std::ofstream(path) << "data";
    const CliResult r = RunCli({"file", path, "--json"}, dir_);
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json o = nlohmann::json::parse(r.out); // throws on invalid UTF-8
    std::string hex;
    for (unsigned char byte : path) {
        hex += "0123456789abcdef"[byte >> 4];
        hex += "0123456789abcdef"[byte & 15];
    }
    EXPECT_EQ(o.at("file_hex"), hex);
    EXPECT_EQ(o.at("line_hex").get<std::string>().substr(0, hex.size()), hex);
    EXPECT_NE(o.at("file").get<std::string>().find("\xef\xbf\xbd"), std::string::npos);
}

// On a terminal the bar appears and is wiped before the program ends; with
// --quiet, or with standard error on a pipe, nothing is shown. A long sparse
// file keeps the test running past several refreshes, until the signal: a
// terabyte, since direct reads of its holes run at the speed of memory.
TEST_F(CliPosixTest, ProgressOnATerminalOnly) {
    const fs::path sparse = dir_ / "sparse.bin";
    std::ofstream{sparse}.close();
    fs::resize_file(sparse, 1'000'000'000'000ull);
    struct Case {
        const char* option;
        bool errOnPipe;
        bool drawn;
    };
    // With several runs the line says which one.
    for (const Case c : {Case{"--repeat=2", false, true}, Case{"--quiet", false, false},
                         Case{"--repeat=1", true, false}}) {
        SCOPED_TRACE(std::string(c.option) + (c.errOnPipe ? ", pipe" : ", terminal"));
        const std::string program = CliPath().string();
        int pipeFds[2] = {-1, -1};
        ASSERT_EQ(pipe(pipeFds), 0);
        int master = -1;
        const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (c.errOnPipe) {
                dup2(pipeFds[1], STDERR_FILENO);
            }
            execl(program.c_str(), program.c_str(), "file", sparse.c_str(), c.option, nullptr);
            _exit(127);
        }
        close(pipeFds[1]);
        std::string seen;
        const auto deadline = Clock::now() + (c.drawn ? 30s : 1s);
        bool drawn = false;
        while (!drawn && Clock::now() < deadline) {
            pollfd in{master, POLLIN, 0};
            char buffer[4096];
            const ssize_t n = poll(&in, 1, 50) > 0 ? read(master, buffer, sizeof buffer) : 0;
            seen.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
            drawn = seen.find("Run 1 of 2: Reading ") != std::string::npos &&
                    seen.find(" KB ") != std::string::npos && seen.find(".]") != std::string::npos;
        }
        kill(pid, SIGINT);
        // The terminal gives EIO once the child is gone, the pipe its end.
        for (const int fd : {master, pipeFds[0]}) {
            char buffer[4096];
            for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
                seen.append(buffer, static_cast<std::size_t>(n));
            }
            close(fd);
        }
        EXPECT_EQ(Reap(pid), 128 + SIGINT);
        EXPECT_EQ(drawn, c.drawn) << seen;
        EXPECT_EQ(seen.empty(), !c.drawn) << seen;
        if (c.drawn) {
            // The last thing written wipes the line it drew.
            const std::size_t wipe = seen.rfind('\r', seen.size() - 2);
            EXPECT_EQ(seen.back(), '\r');
            EXPECT_EQ(seen.find_first_not_of(' ', wipe + 1), seen.size() - 1) << seen;
        }
    }
}

// Sent as soon as the file exists: the test stops within a second, its file
// is gone, and the status says which signal.
TEST_F(CliPosixTest, SignalStopsTheDriveTestAndRemovesItsFile) {
    const fs::path folder = dir_ / "drive";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        const std::string program = CliPath().string();
        const std::string target = folder.string();
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("drive"),
                        const_cast<char*>(target.c_str()), const_cast<char*>("--size=100"),
                        nullptr};
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
        ASSERT_TRUE(WaitForFile(folder / "SarnovalTemp.TMP", 10s));
        const auto sent = Clock::now();
        kill(pid, signal);
        EXPECT_EQ(Reap(pid), 128 + signal);
        EXPECT_LT(Clock::now() - sent, 1s);
        EXPECT_TRUE(fs::is_empty(folder));
    }
}

// Ends that are no user's stop: a write past the file-size limit, SIGQUIT, and
// SIGTERM while the result waits on a full pipe nobody reads. Each gives the
// status a script expects and leaves the folder empty.
TEST_F(CliPosixTest, OtherEndsStopTheDriveTestAndRemoveItsFile) {
    const fs::path folder = dir_ / "drive";
    struct Case {
        rlim_t fileSizeLimit;
        int signal;      // sent once the file is there, 0 for none
        bool stdoutFull; // and then once the test is over
        int code;
    };
    for (const Case c : {Case{1000000, 0, false, 1}, Case{RLIM_INFINITY, SIGQUIT, false, 131},
                         Case{RLIM_INFINITY, SIGTERM, true, 143}}) {
        SCOPED_TRACE(c.code);
        fs::remove_all(folder);
        fs::create_directories(folder);
        int out[2] = {-1, -1};
        ASSERT_EQ(pipe2(out, O_NONBLOCK), 0);
        for (const std::string full(4096, 'x');
             c.stdoutFull && write(out[1], full.data(), 4096) > 0;) {
        }
        fcntl(out[1], F_SETFL, 0); // blocking, as a program finds a pipe
        const std::string program = CliPath().string();
        const pid_t pid = fork();
        if (pid == 0) {
            const rlimit limit{c.fileSizeLimit, c.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            dup2(out[1], STDOUT_FILENO);
            execl(program.c_str(), program.c_str(), "drive", folder.c_str(), "--size=100", nullptr);
            _exit(127);
        }
        close(out[1]);
        if (c.signal) {
            EXPECT_TRUE(WaitForFile(folder / "SarnovalTemp.TMP", 10s));
            for (int i = 0; c.stdoutFull && i < 400 && !fs::is_empty(folder); ++i) {
                std::this_thread::sleep_for(25ms);
            }
            std::this_thread::sleep_for(c.stdoutFull ? 200ms : 0ms); // into the write
            kill(pid, c.signal);
        }
        int status = 0, waited = 0;
        for (int i = 0; i < 1000 && (waited = waitpid(pid, &status, WNOHANG)) == 0; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        if (waited == 0) { // hung: the fault itself
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        EXPECT_EQ(waited == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.code);
        EXPECT_TRUE(fs::is_empty(folder));
        close(out[0]);
    }
}

} // namespace
} // namespace sarnoval::testing
