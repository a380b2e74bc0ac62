#include "tests/cli/cli_run.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace sarnoval::testing {

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The tests' text is UTF-8; the command line goes to the program as UTF-16,
// so no code page of this test program changes a name on the way.
std::wstring Wide(const std::string& utf8) {
    const int size = static_cast<int>(utf8.size());
    const int wide = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(wide, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), wide);
    return out;
}

HANDLE Inheritable(const fs::path& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

fs::path CliPath() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path() / "sarnoval-cli.exe";
}

CliResult RunCli(const std::vector<std::string>& args, const fs::path& scratch) {
    // Names of their own for each run: under Wine, a desktop process that the
    // program's hidden window starts inherits its output files and may keep
    // them open for a while after the program has ended.
    static int runs = 0;
    const std::string run = std::to_string(++runs);
    const fs::path out = scratch / ("cli" + run + ".out"), err = scratch / ("cli" + run + ".err");
    std::wstring command = L"\"" + CliPath().wstring() + L"\"";
    for (const std::string& arg : args) {
        command += L" \"" + Wide(arg) + L"\""; // the tests' arguments hold no quotes
    }
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = Inheritable(out);
    start.hStdError = Inheritable(err);
    PROCESS_INFORMATION process{};
    CliResult result;
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &start, &process)) {
        DWORD code = 0;
        if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0 &&
            ::GetExitCodeProcess(process.hProcess, &code)) {
            result.code = static_cast<int>(code);
        }
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(start.hStdOutput);
    ::CloseHandle(start.hStdError);
    result.out = Slurp(out);
    result.err = Slurp(err);
    std::error_code ignored; // still held: the scratch folder's removal takes it later
    fs::remove(out, ignored);
    fs::remove(err, ignored);
    return result;
}

std::string RunCliOnConsole(const std::vector<std::string>& args) {
    DWORD mode = 0;
    if (!::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) && !::AllocConsole()) {
        return {};
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE screen = ::CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                                      CONSOLE_TEXTMODE_BUFFER, nullptr);
    const UINT page = ::GetConsoleOutputCP();
    ::SetConsoleOutputCP(437);
    std::wstring command = L"\"" + CliPath().wstring() + L"\"";
    for (const std::string& arg : args) {
        command += L" \"" + Wide(arg) + L"\"";
    }
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = start.hStdError = screen;
    PROCESS_INFORMATION process{};
    std::wstring shown(200, L' ');
    DWORD read = 0;
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &start, &process)) {
        ::WaitForSingleObject(process.hProcess, 120000);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        ::ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()),
                                      COORD{0, 0}, &read);
    }
    ::SetConsoleOutputCP(page);
    ::CloseHandle(screen);
    shown.resize(read);
    shown.erase(shown.find_last_not_of(L' ') + 1);
    const int size = static_cast<int>(shown.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, shown.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, shown.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

} // namespace sarnoval::testing
