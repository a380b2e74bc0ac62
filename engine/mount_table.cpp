#include "engine/mount_table.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace sarnoval {

namespace {

// Mount points write blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at, char top) {
            return field[at] >= '0' && field[at] <= top;
        };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1, '3') && octal(i + 2, '7') &&
            octal(i + 3, '7')) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool HasOption(std::string_view options, std::string_view wanted) {
    while (!options.empty()) {
        const std::size_t comma = options.find(',');
        if (options.substr(0, comma) == wanted) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        options.remove_prefix(comma + 1);
    }
    return false;
}

} // namespace

std::vector<Volume> ParseMountInfo(std::string_view text) {
    std::vector<Volume> volumes;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        const std::vector<std::string> fields{std::istream_iterator<std::string>(words),
                                              std::istream_iterator<std::string>()};
        // id parent dev root mountpoint options [optional...] - type source super
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") {
            ++dash;
        }
        if (dash + 1 >= fields.size()) {
            continue;
        }
        volumes.push_back(
            Volume{Unescape(fields[4]), fields[dash + 1], HasOption(fields[5], "ro"), true});
    }
    return volumes;
}

DriveMap ReadMountedDriveMap() {
    std::ifstream file("/proc/self/mountinfo");
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return BuildDriveMap(AccountHome(), ParseMountInfo(text));
}

} // namespace sarnoval
