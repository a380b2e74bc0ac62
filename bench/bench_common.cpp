#include "bench_common.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace bench {

namespace {

[[noreturn]] void Usage(const char* program, const char* what, const std::string& problem) {
    std::cerr << program << ": " << problem << "\n"
              << what << "\n"
              << "usage: " << program << " --folder DIR [--tiny] [--reps N] [--figures FILE]"
              << " [--ceiling MBPS]\n";
    std::exit(2);
}

std::string FirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string Trim(std::string s) {
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

std::string CpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            return Trim(line.substr(line.find(':') + 1));
        }
    }
    return "unknown CPU";
}

std::string MemoryTotal() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    while (in >> key >> kib) {
        if (key == "MemTotal:") {
            return Fixed(static_cast<double>(kib) / (1024.0 * 1024.0), 1) + " GiB RAM";
        }
        in.ignore(256, '\n');
    }
    return "unknown RAM";
}

// The mount holding the folder, from the mount table, matched by device number
// and the longest mount point that contains the folder.
std::string StorageOf(const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        return "unknown storage";
    }
    const unsigned maj = major(st.st_dev);
    const unsigned min = minor(st.st_dev);
    const std::string want = std::to_string(maj) + ":" + std::to_string(min);
    std::error_code ec;
    const std::string where = fs::weakly_canonical(folder, ec).string();

    std::ifstream in("/proc/self/mountinfo");
    std::string line, bestMount, bestType, bestSource;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, mount;
        fields >> id >> parent >> dev >> root >> mount;
        if (dev != want) {
            continue;
        }
        std::string word;
        while (fields >> word && word != "-") {
        }
        std::string type, source;
        fields >> type >> source;
        const bool contains =
            where.rfind(mount, 0) == 0 &&
            (mount == "/" || where.size() == mount.size() || where[mount.size()] == '/');
        if (contains && mount.size() >= bestMount.size()) {
            bestMount = mount;
            bestType = type;
            bestSource = source;
        }
    }
    if (bestType.empty()) {
        return "device " + want;
    }
    std::string text = bestType + " on " + bestSource + " (mounted at " + bestMount + ")";
    // A partition's disk is its parent in sysfs; take the first that names itself.
    const fs::path block = "/sys/dev/block/" + want;
    for (const fs::path& dir : {block, block / ".."}) {
        const std::string model = Trim(FirstLine(dir / "device" / "model"));
        const std::string rotational = FirstLine(dir / "queue" / "rotational");
        if (!model.empty() || !rotational.empty()) {
            if (!model.empty()) {
                text += ", model " + model;
            }
            if (!rotational.empty()) {
                text += rotational == "0" ? ", non-rotational" : ", rotational";
            }
            break;
        }
    }
    return text;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
    return text;
}

std::optional<double> JsonNumber(const std::string& json, std::size_t from, const char* key) {
    const std::string quoted = std::string("\"") + key + "\"";
    const std::size_t at = json.find(quoted, from);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const std::size_t colon = json.find(':', at + quoted.size());
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    const char* start = json.c_str() + colon + 1;
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    if (end == start) {
        return std::nullopt;
    }
    return value;
}

// Runs argv and waits; the exit status, or -1 when it could not be started.
int Run(const std::vector<std::string>& argv, bool quiet = false) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        if (quiet) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
        }
        ::execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

Options ParseOptions(int argc, char** argv, const char* what) {
    Options options;
    bool repsGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage(argv[0], what, arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--folder") {
            options.folder = value();
        } else if (arg == "--tiny") {
            options.tiny = true;
        } else if (arg == "--reps") {
            options.reps = std::atoi(value().c_str());
            repsGiven = true;
            if (options.reps < 1 || options.reps > 100) {
                Usage(argv[0], what, "--reps must be 1 to 100");
            }
        } else if (arg == "--figures") {
            options.figures = value();
        } else if (arg == "--ceiling") {
            options.ceilingMBps = std::atof(value().c_str());
            if (!(options.ceilingMBps > 0)) {
                Usage(argv[0], what, "--ceiling must be a rate in MB/s above 0");
            }
        } else {
            Usage(argv[0], what, "unknown option " + arg);
        }
    }
    if (options.folder.empty()) {
        Usage(argv[0], what, "--folder is required");
    }
    std::error_code ec;
    if (!fs::is_directory(options.folder, ec)) {
        Usage(argv[0], what, options.folder.string() + " is not a directory");
    }
    options.folder = fs::absolute(options.folder);
    if (options.tiny && !repsGiven) {
        options.reps = 1;
    }
    return options;
}

Machine DescribeMachine(const fs::path& folder) {
    Machine m;
    m.cpu = CpuModel();
    m.cores = std::thread::hardware_concurrency();
    struct utsname u {};
    if (::uname(&u) == 0) {
        m.kernel = std::string(u.sysname) + " " + u.release + " " + u.machine;
    }
    m.memory = MemoryTotal();
    m.storage = StorageOf(folder);
    m.load = FirstLine("/proc/loadavg");
    m.date = UtcNow();
    return m;
}

void PrintHeader(const std::string& title, const Machine& machine, const Options& options) {
    std::cout << title << (options.tiny ? "  [tiny mode: sizes too small to mean anything]" : "")
              << "\n"
              << "Machine: " << machine.cpu << ", " << machine.cores << " logical CPUs, "
              << machine.memory << "; " << machine.kernel << "\n"
              << "Folder:  " << options.folder.string() << " (" << machine.storage << ")\n"
              << "Date:    " << machine.date
              << "; load average (1, 5, 15 min, ...): " << machine.load << "\n"
              << "Runs:    " << options.reps << " of each, interleaved\n\n";
}

Stats Summarize(std::vector<double> values) {
    Stats s;
    s.count = values.size();
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.min = values.front();
    s.max = values.back();
    return s;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void RequireFio() {
    if (Run({"fio", "--version"}, true) != 0) {
        std::cerr << "fio is not installed or does not run. The accuracy benchmarks compare "
                     "against it: install the Debian package 'fio' (apt-get install fio).\n";
        std::exit(3);
    }
}

FioRun RunFio(const std::vector<std::string>& args, const fs::path& scratch,
              std::string* commandOut) {
    FioRun run;
    const fs::path output = scratch / "sarnoval-bench-fio.json";
    std::vector<std::string> argv{"fio"};
    argv.insert(argv.end(), args.begin(), args.end());
    if (commandOut) {
        std::string command;
        for (const std::string& arg : argv) {
            command += (command.empty() ? "" : " ") + arg;
        }
        *commandOut = command;
    }
    argv.push_back("--output-format=json");
    argv.push_back("--output=" + output.string());
    const int status = Run(argv);
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    std::error_code ec;
    fs::remove(output, ec);
    const std::string json = text.str();
    if (status != 0) {
        run.error = "fio exited with status " + std::to_string(status);
        return run;
    }
    const std::size_t jobs = json.find("\"jobs\"");
    const auto error = JsonNumber(json, jobs == std::string::npos ? 0 : jobs, "error");
    if (jobs == std::string::npos || !error) {
        run.error = "fio gave no job report";
        return run;
    }
    if (*error != 0) {
        run.error = "fio reported error " + std::to_string(static_cast<int>(*error));
        return run;
    }
    for (const char* dir : {"read", "write"}) {
        const std::size_t at = json.find(std::string("\"") + dir + "\" : {", jobs);
        if (at == std::string::npos) {
            run.error = std::string("fio report has no ") + dir + " section";
            return run;
        }
        const auto bytes = JsonNumber(json, at, "io_bytes");
        const auto bw = JsonNumber(json, at, "bw_bytes");
        if (!bytes || !bw) {
            run.error = std::string("fio report lacks ") + dir + " figures";
            return run;
        }
        if (dir[0] == 'r') {
            run.readBytes = static_cast<std::uint64_t>(*bytes);
            run.readBytesPerSec = *bw;
        } else {
            run.writeBytes = static_cast<std::uint64_t>(*bytes);
            run.writeBytesPerSec = *bw;
        }
    }
    run.ok = true;
    return run;
}

bool MakeDataFile(const fs::path& path, std::uint64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    std::vector<std::uint64_t> block(1 << 17); // 1 MiB
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    bool ok = true;
    for (std::uint64_t done = 0; ok && done < size;) {
        for (std::uint64_t& word : block) { // xorshift64: incompressible, cheap
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(size - done, block.size() * sizeof(std::uint64_t)));
        const char* bytes = reinterpret_cast<const char*>(block.data());
        for (std::size_t put = 0; put < want;) {
            const ssize_t n = ::write(fd, bytes + put, want - put);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = false;
                break;
            }
            put += static_cast<std::size_t>(n);
        }
        done += want;
    }
    ok = ok && ::fsync(fd) == 0;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ok = ::close(fd) == 0 && ok;
    return ok;
}

void DropCache(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

Table::Table(std::vector<std::string> header) {
    rows_.push_back(std::move(header));
}

void Table::Add(std::vector<std::string> row) {
    rows_.push_back(std::move(row));
}

void Table::Print() const {
    std::vector<std::size_t> widths;
    for (const auto& row : rows_) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        std::string line;
        for (std::size_t c = 0; c < rows_[r].size(); ++c) {
            const std::string& cell = rows_[r][c];
            const std::string pad(widths[c] - cell.size(), ' ');
            line += c == 0 ? cell + pad : "  " + pad + cell;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::cout << line << "\n";
        if (r == 0) {
            std::size_t total = 0;
            for (std::size_t w : widths) {
                total += w + 2;
            }
            std::cout << std::string(total - 2, '-') << "\n";
        }
    }
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void Figure(const Options& options, const std::string& key, const std::string& value) {
    if (options.figures.empty()) {
        return;
    }
    std::ofstream out(options.figures, std::ios::app);
    out << key << '\t' << value << '\n';
}

void Figure(const Options& options, const std::string& key, double value) {
    Figure(options, key, Fixed(value, 4));
}

std::optional<std::uint64_t> NumberAfter(const std::string& text, const std::string& marker) {
    const std::size_t at = text.find(marker);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const char* start = text.c_str() + at + marker.size();
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(start, &end, 10);
    if (end == start || errno != 0) {
        return std::nullopt;
    }
    return value;
}

std::uint64_t ResidentKiB() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            std::uint64_t kib = 0;
            in >> kib;
            return kib;
        }
        in.ignore(4096, '\n');
    }
    return 0;
}

int ReportFailures(std::vector<std::string> failures) {
    if (failures.empty()) {
        return 0;
    }
    std::cout << "\nFAILED:\n";
    for (const std::string& failure : failures) {
        std::cout << "    " << failure << "\n";
    }
    return 1;
}

} // namespace bench
