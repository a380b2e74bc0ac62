#include "tests/support/portable.h"

#include <chrono>
#include <fstream>
#include <utility>
#include <vector>

#ifdef _WIN32
#include "engine/windows_api.h"
// after <windows.h>, which it needs
#include <tlhelp32.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace sarnoval::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
constexpr std::size_t kFeedChunk = 65536;
}

#ifdef _WIN32

int ThreadCount() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) {
            ++count;
        }
    }
    ::CloseHandle(snapshot);
    return count;
}

// Overlapped, so that no wait here can outlast its time limit.
BlockingPipe::BlockingPipe(const fs::path&, const std::string& name) {
    path_ = L"\\\\.\\pipe\\sarnoval-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::wstring(name.begin(), name.end());
    const HANDLE pipe = ::CreateNamedPipeW(
        path_.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_WAIT, 1, kFeedChunk, 0, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
        handle_ = pipe;
        event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
}

BlockingPipe::~BlockingPipe() {
    stop_ = true;
    if (feeder_.joinable()) {
        feeder_.join();
    }
    CloseWriter();
    if (event_) {
        ::CloseHandle(event_);
    }
}

bool BlockingPipe::Ready() const {
    return handle_ && event_;
}

// Waits for the reader to open the pipe, a tenth of a second at a time.
bool BlockingPipe::Connect() {
    if (connected_) {
        return true;
    }
    OVERLAPPED wait{};
    wait.hEvent = event_;
    if (::ConnectNamedPipe(handle_, &wait) || ::GetLastError() == ERROR_PIPE_CONNECTED) {
        return connected_ = true;
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (::WaitForSingleObject(event_, 100) == WAIT_TIMEOUT) {
        if (stop_.load() || std::chrono::steady_clock::now() > deadline) {
            ::CancelIoEx(handle_, &wait);
            DWORD ignored = 0;
            ::GetOverlappedResult(handle_, &wait, &ignored, TRUE);
            return false;
        }
    }
    DWORD ignored = 0;
    return connected_ = ::GetOverlappedResult(handle_, &wait, &ignored, FALSE) != 0;
}

bool BlockingPipe::WriteSome(const void* data, std::size_t size, std::size_t& done, int waitMs) {
    OVERLAPPED wait{};
    wait.hEvent = event_;
    DWORD n = 0;
    if (!::WriteFile(handle_, data, static_cast<DWORD>(size), &n, &wait)) {
        if (::GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        if (::WaitForSingleObject(event_, static_cast<DWORD>(waitMs)) == WAIT_TIMEOUT) {
            ::CancelIoEx(handle_, &wait);
        }
        if (!::GetOverlappedResult(handle_, &wait, &n, TRUE) &&
            ::GetLastError() != ERROR_OPERATION_ABORTED) {
            return false;
        }
    }
    done = n;
    return true;
}

bool BlockingPipe::Write(const void* data, std::size_t size) {
    if (!Ready() || !Connect()) {
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    std::size_t put = 0;
    while (put < size && std::chrono::steady_clock::now() < deadline) {
        std::size_t n = 0;
        if (!WriteSome(bytes + put, size - put, n, 100)) {
            return false;
        }
        put += n;
    }
    return put == size;
}

void BlockingPipe::CloseWriter() {
    if (handle_) {
        ::FlushFileBuffers(handle_); // what was written stays readable after the close
        ::CloseHandle(std::exchange(handle_, nullptr));
    }
}

// Runs until this ends, whatever the reader does, as on POSIX: the thread
// count holds still.
void BlockingPipe::Feed() {
    const std::vector<char> zeros(kFeedChunk);
    while (!stop_.load()) {
        std::size_t n = 0;
        if (!Connect() || !WriteSome(zeros.data(), zeros.size(), n, 50)) {
            ::Sleep(10);
        }
    }
}

ChildRun::ChildRun(const std::string& test, const std::string& variable, const std::string& value) {
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::wstring command = L"\"" + self + L"\" --gtest_filter=" + fs::path(test).wstring();
    // Inherited by the child; this process's C runtime does not see it.
    const std::wstring name = fs::path(variable).wstring();
    ::SetEnvironmentVariableW(name.c_str(), fs::path(value).wstring().c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &started)) {
        ::CloseHandle(started.hThread);
        process_ = started.hProcess;
    }
    ::SetEnvironmentVariableW(name.c_str(), nullptr);
}

ChildRun::~ChildRun() {
    Wait();
}

int ChildRun::Wait() {
    if (process_) {
        DWORD code = 0;
        if (::WaitForSingleObject(process_, 60000) != WAIT_OBJECT_0) {
            ::TerminateProcess(process_, 1);
            ::WaitForSingleObject(process_, INFINITE);
        } else if (::GetExitCodeProcess(process_, &code)) {
            code_ = static_cast<int>(code);
        }
        ::CloseHandle(std::exchange(process_, nullptr));
    }
    return code_;
}

bool MakeSymlink(const fs::path& target, const fs::path& at) {
    const DWORD allowUnprivileged = 0x2; // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (!::CreateSymbolicLinkW(at.c_str(), target.c_str(), allowUnprivileged) &&
        !::CreateSymbolicLinkW(at.c_str(), target.c_str(), 0)) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesW(at.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool WhileUnreadable(const fs::path& path, const std::function<bool()>& check) {
    // Held without sharing, so every other open fails with a sharing violation.
    const HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool result = check();
    ::CloseHandle(held);
    return result;
}

bool CanLimitFileSize() {
    return false;
}

bool LimitFileSize(std::uint64_t) {
    return false;
}

std::optional<std::string> DialogText(const fs::path& path) {
    const std::wstring wide = path.wstring();
    if (wide.empty()) {
        return std::string();
    }
    BOOL lossy = FALSE;
    const int size =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                              static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                          text.data(), size, nullptr, nullptr);
    return text;
}

#else

int ThreadCount() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "Threads:") {
            int count = 0;
            status >> count;
            return count;
        }
    }
    return -1;
}

BlockingPipe::BlockingPipe(const fs::path& folder, const std::string& name) : path_(folder / name) {
    // Opened both ways, so a writer exists before the test opens it.
    if (::mkfifo(path_.c_str(), 0600) == 0) {
        fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    }
}

BlockingPipe::~BlockingPipe() {
    stop_ = true;
    if (feeder_.joinable()) {
        feeder_.join();
    }
    CloseWriter();
}

bool BlockingPipe::Ready() const {
    return fd_ >= 0;
}

bool BlockingPipe::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t put = 0;
    while (put < size) {
        const ssize_t n = ::write(fd_, bytes + put, size - put);
        if (n < 0 && errno != EINTR) {
            return false;
        }
        put += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
}

void BlockingPipe::CloseWriter() {
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
}

// Never blocks for long: this end also reads, so a gone reader gives no error.
void BlockingPipe::Feed() {
    const std::vector<char> zeros(kFeedChunk);
    const int status = ::fcntl(fd_, F_GETFL);
    if (status < 0 || ::fcntl(fd_, F_SETFL, status | O_NONBLOCK) != 0) {
        return;
    }
    while (!stop_.load()) {
        pollfd wait{fd_, POLLOUT, 0};
        if (::poll(&wait, 1, 50) > 0 && ::write(fd_, zeros.data(), zeros.size()) < 0 &&
            errno != EAGAIN && errno != EINTR) {
            return;
        }
    }
}

ChildRun::ChildRun(const std::string& test, const std::string& variable, const std::string& value) {
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=" + test;
    char* const argv[] = {self.data(), filter.data(), nullptr};
    std::vector<std::string> settings = {variable + "=" + value};
    for (char** entry = environ; *entry; ++entry) {
        settings.emplace_back(*entry);
    }
    std::vector<char*> envp;
    for (std::string& setting : settings) {
        envp.push_back(setting.data());
    }
    envp.push_back(nullptr);
    pid_t child = -1;
    if (::posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()) == 0) {
        pid_ = child;
    }
}

ChildRun::~ChildRun() {
    Wait();
}

int ChildRun::Wait() {
    if (pid_ > 0) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        int status = 0;
        pid_t done = 0;
        while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        if (done == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        } else if (done == pid_ && WIFEXITED(status)) {
            code_ = WEXITSTATUS(status);
        }
        pid_ = -1;
    }
    return code_;
}

bool AsUnprivileged(const std::function<bool()>& check) {
    if (::geteuid() != 0) {
        return check();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const uid_t nobody = 65534;
        const bool dropped = ::setgid(nobody) == 0 && ::setuid(nobody) == 0;
        ::_exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool MakeSymlink(const fs::path& target, const fs::path& at) {
    return ::symlink(target.c_str(), at.c_str()) == 0;
}

bool WhileUnreadable(const fs::path& path, const std::function<bool()>& check) {
    fs::permissions(path, fs::perms::none);
    return AsUnprivileged(check);
}

bool CanLimitFileSize() {
    return true;
}

bool LimitFileSize(std::uint64_t bytes) {
    const rlimit limit{bytes, bytes};
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

std::optional<std::string> DialogText(const fs::path& path) {
    return path.string();
}

#endif

bool WaitForFile(const fs::path& path, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::error_code error;
    while (!fs::exists(path, error)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

void BlockingPipe::FeedForever() {
    if (Ready() && !feeder_.joinable()) {
        feeder_ = std::thread([this] { Feed(); });
    }
}

} // namespace sarnoval::testing
