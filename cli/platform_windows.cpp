#include "cli/platform.h"

#include "engine/windows_api.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <mutex>

namespace sarnoval::cli {

namespace fs = std::filesystem;

namespace {

std::mutex g_mutex;
std::condition_variable g_event;
int g_signal = 0;     // under g_mutex
bool g_woken = false; // under g_mutex

void Post(int signal) {
    {
        std::lock_guard lock(g_mutex);
        g_signal = g_signal ? g_signal : signal;
        g_woken = true;
    }
    g_event.notify_all();
}

// Runs on a thread the system starts for the event, not in a signal handler.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    Post(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning lets the system end the process: wait for main to remove the file and exit.
        ::Sleep(INFINITE);
    }
    return TRUE;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

// Text in the ANSI code page, each character exactly or as '?', which no
// Windows file name may hold: the conversion's best fit would turn "Ł" into
// "L" and so name another file.
std::string ExactAnsi(std::wstring text) {
    const UINT page = ::GetACP();
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char* missing = "?";
    if (page == CP_UTF8) {
        // UTF-8 holds every character but a lone surrogate, and takes no flags.
        flags = 0;
        missing = nullptr;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i + 1 < text.size() && IS_SURROGATE_PAIR(text[i], text[i + 1])) {
                ++i;
            } else if (IS_HIGH_SURROGATE(text[i]) || IS_LOW_SURROGATE(text[i])) {
                text[i] = L'?';
            }
        }
    }
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int bytes =
        ::WideCharToMultiByte(page, flags, text.data(), size, nullptr, 0, missing, nullptr);
    std::string out(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(page, flags, text.data(), size, out.data(), bytes, missing, nullptr);
    return out;
}

} // namespace

std::vector<std::string> Arguments(int, char**) {
    // Not argv: the C runtime made it with the best fit.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) {
        args.push_back(ExactAnsi(wide[i]));
    }
    ::LocalFree(wide);
    return args;
}

void CatchStopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int WaitForEvent(int ms) {
    std::unique_lock lock(g_mutex);
    g_event.wait_for(lock, std::chrono::milliseconds(ms), [] { return g_woken; });
    g_woken = false;
    return g_signal;
}

void Wake() {
    Post(0);
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

void BinaryOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

DriveMap DialogDriveMap() {
    return DefaultDriveMap(); // the drives' own letters
}

std::string TextToUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(wide, 0)), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), wide);
    return Utf8(out);
}

std::string PathToUtf8(const fs::path& path) {
    return Utf8(path.wstring());
}

fs::path AbsoluteFolder(const fs::path& path) {
    // The C++ library takes \\?\D:\ for a folder of the current drive.
    std::wstring text = path.native();
    if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        text = L"\\\\" + text.substr(8);
    } else if (text.rfind(L"\\\\?\\", 0) == 0 && text.size() >= 6 && text[5] == L':') {
        text = text.substr(4);
    }
    // Past MAX_PATH too, unlike the C++ library's.
    std::wstring full(::GetFullPathNameW(text.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD size =
        ::GetFullPathNameW(text.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(size < full.size() ? size : 0);
    return full;
}

bool WriteText(std::FILE* stream, const std::string& text, bool utf8) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (text.empty() || !::GetConsoleMode(handle, &mode)) {
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    }
    // The console shows UTF-16 as it is; bytes it would read in its own code
    // page, which for most is neither UTF-8 nor the ANSI code page.
    std::fflush(stream);
    const UINT page = utf8 ? CP_UTF8 : CP_ACP;
    const int size = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(wide, 0)), L'\0');
    ::MultiByteToWideChar(page, 0, text.data(), size, out.data(), wide);
    for (std::size_t done = 0; done < out.size();) {
        DWORD written = 0;
        const auto part = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 8192));
        if (!::WriteConsoleW(handle, out.data() + done, part, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace sarnoval::cli
