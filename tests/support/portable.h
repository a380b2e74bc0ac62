// Test helpers that do the same job on POSIX and on Windows, each in the
// platform's own way.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace sarnoval::testing {

// Threads of this process now: /proc on Linux, Toolhelp on Windows; -1 when unknown.
int ThreadCount();

// A named pipe the file test can open, whose reads wait for this writer: a
// FIFO on POSIX, a named pipe on Windows.
class BlockingPipe {
public:
    // name is used inside folder on POSIX and as the pipe's name on Windows.
    BlockingPipe(const std::filesystem::path& folder, const std::string& name);
    BlockingPipe(const BlockingPipe&) = delete;
    BlockingPipe& operator=(const BlockingPipe&) = delete;
    ~BlockingPipe();

    bool Ready() const;
    // What the file test opens.
    const std::filesystem::path& Path() const { return path_; }
    // Writes all of data; on Windows waits first for the reader to open the pipe.
    bool Write(const void* data, std::size_t size);
    // The reader sees the end of the file once it has read what was written.
    void CloseWriter();
    // Writes zeros from a thread of its own until the reader goes or this ends:
    // a file that never ends by itself.
    void FeedForever();

private:
    void Feed();

    std::filesystem::path path_;
#ifdef _WIN32
    void* handle_ = nullptr;
    void* event_ = nullptr;
    bool connected_ = false;
    bool Connect();
    bool WriteSome(const void* data, std::size_t size, std::size_t& done, int waitMs);
#else
    int fd_ = -1;
#endif
    std::atomic<bool> stop_{false};
    std::thread feeder_;
};

// Makes path unreadable to this process while check runs, and gives its
// answer: a permission drop on POSIX (check then runs as an unprivileged user,
// see AsUnprivileged), an open without sharing on Windows.
bool WhileUnreadable(const std::filesystem::path& path, const std::function<bool()>& check);

#ifndef _WIN32
// Runs check as an unprivileged user, in a child process when we are root,
// so permission cases are tested in CI too. The check runs on that one
// thread: it must not launch.
bool AsUnprivileged(const std::function<bool()>& check);
#endif

// Makes a symbolic link at at to target; false when this system, or this
// account, cannot (Wine 8 reports success and makes none: that counts as false).
bool MakeSymlink(const std::filesystem::path& target, const std::filesystem::path& at);

// This test program started again, running only the named test, with one
// more environment variable: a second process on every system, where fork is
// POSIX only.
class ChildRun {
public:
    ChildRun(const std::string& test, const std::string& variable, const std::string& value);
    ChildRun(const ChildRun&) = delete;
    ChildRun& operator=(const ChildRun&) = delete;
    ~ChildRun();
    // Its exit code; -1 when it could not start or had to be ended after a minute.
    int Wait();

private:
#ifdef _WIN32
    void* process_ = nullptr;
#else
    int pid_ = -1;
#endif
    int code_ = -1;
};

// Caps the size of any file this process writes, as RLIMIT_FSIZE does: a
// write past it fails. Windows has no such limit.
bool CanLimitFileSize();
bool LimitFileSize(std::uint64_t bytes);

// Waits until something stands at path; false after timeout.
bool WaitForFile(const std::filesystem::path& path, std::chrono::milliseconds timeout);

// The bytes the dialog hands over for a file name: the ANSI code page on
// Windows, the name's own bytes elsewhere. None when the code page cannot
// spell the name.
std::optional<std::string> DialogText(const std::filesystem::path& path);

} // namespace sarnoval::testing
