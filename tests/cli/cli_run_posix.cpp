#include "tests/cli/cli_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

namespace sarnoval::testing {

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

fs::path CliPath() {
    return fs::read_symlink("/proc/self/exe").parent_path() / "sarnoval-cli";
}

CliResult RunCli(const std::vector<std::string>& args, const fs::path& scratch) {
    const fs::path out = scratch / "cli.out", err = scratch / "cli.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string program = CliPath().string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    CliResult result;
    pid_t pid = -1;
    int status = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0 &&
        waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.code = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = Slurp(out);
    result.err = Slurp(err);
    fs::remove(out);
    fs::remove(err);
    return result;
}

} // namespace sarnoval::testing
