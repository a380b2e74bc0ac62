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
#include <thread>

namespace sarnoval::cli {

namespace fs = std::filesystem;

namespace {

std::mutex g_mutex;
std::condition_variable g_event;
int g_signal = 0;       // under g_mutex
bool g_woken = false;   // under g_mutex
bool g_settled = false; // under g_mutex

// The system ends the process 5 seconds after a close event at the latest
// (logoff and shutdown allow more); a test stops within about a second.
constexpr auto kSettleWait = std::chrono::milliseconds(4500);

void Post(int signal) {
    {
        std::lock_guard lock(g_mutex);
        g_signal = g_signal ? g_signal : signal;
        g_woken = true;
    }
    g_event.notify_all();
}

// Once a close, logoff or shutdown notice returns, the system ends the
// process wherever main is: wait until main has stopped the test and removed
// its file.
void StopAndWait() {
    Post(SIGTERM);
    std::unique_lock lock(g_mutex);
    g_event.wait_for(lock, kSettleWait, [] { return g_settled; });
}

// Runs on a thread the system starts for the event, not in a signal handler.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        Post(SIGINT);
    } else {
        StopAndWait();
    }
    return TRUE;
}

// A program that loads user32 (shell32 does, for CommandLineToArgvW) gets no
// console event at logoff or shutdown, only WM_ENDSESSION in its top-level
// windows: a hidden one, on a thread of its own, takes it.
std::thread g_sessionThread;
std::atomic<HWND> g_sessionWindow{nullptr};
std::atomic<bool> g_sessionStarted{false}; // the window is made, or could not be

LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ENDSESSION:
        if (wParam) {
            StopAndWait();
        }
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void WatchSession() {
    WNDCLASSW type{};
    type.lpfnWndProc = OnSessionMessage;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = kSessionWindowClass;
    ::RegisterClassW(&type);
    // Top-level and never shown: message-only windows get no end-of-session notice.
    HWND window = ::CreateWindowExW(0, kSessionWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                    nullptr, type.hInstance, nullptr);
    g_sessionWindow.store(window);
    g_sessionStarted.store(true);
    MSG message;
    while (window && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
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
    g_sessionThread = std::thread(WatchSession);
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

void StopSettled() {
    {
        std::lock_guard lock(g_mutex);
        g_settled = true;
    }
    g_event.notify_all();
    while (g_sessionThread.joinable() && !g_sessionStarted.load()) {
        ::Sleep(1);
    }
    if (HWND window = g_sessionWindow.load()) {
        ::PostMessageW(window, WM_CLOSE, 0, 0); // DefWindowProc destroys it; the loop ends
    }
    if (g_sessionThread.joinable()) {
        g_sessionThread.join();
    }
}

int WriteOut(const std::string& text, bool utf8) {
    return WriteText(stdout, text, utf8) && std::fflush(stdout) == 0 ? 0 : -1;
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
