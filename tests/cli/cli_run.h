// Runs sarnoval-cli, built beside this test program, as a separate process.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sarnoval::testing {

struct CliResult {
    int code = -1; // the exit status; -1 when it did not start or end
    std::string out;
    std::string err;
};

std::filesystem::path CliPath();
// The arguments are UTF-8. Standard output and error go to files in scratch,
// then are read back.
CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& scratch);

#ifdef _WIN32
// Runs sarnoval-cli with standard output and error on a new console screen of
// this process, set to code page 437 (as most consoles are: neither UTF-8 nor
// the ANSI code page); what the screen shows from its start, as UTF-8. Empty
// when no console can be had.
std::string RunCliOnConsole(const std::vector<std::string>& args);
#endif

} // namespace sarnoval::testing
