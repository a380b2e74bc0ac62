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

} // namespace sarnoval::testing
