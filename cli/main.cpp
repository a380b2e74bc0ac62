// sarnoval-cli: the dialog's two tests from a terminal or a script. Results
// go to standard output, messages to standard error.
#include "cli/console_window.h"
#include "cli/platform.h"
#include "cli/report.h"
#include "engine/drive_write_read.h"
#include "engine/file_io.h"
#include "engine/file_read.h"
#include "engine/test_state.h"
#include "engine/volume.h"
#include "res/resource.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace sarnoval::cli {

namespace {

namespace fs = std::filesystem;

constexpr int kUsageError = 2;
constexpr int kTestFailed = 1;
constexpr int kMostRepeats = 1000;
// The progress line's refresh period: about ten times a second.
constexpr int kTickMs = 100;

constexpr const char* kUsage =
    "usage: sarnoval-cli drive [LETTER|FOLDER] [--size 1|5|20|100] [OPTION...]\n"
    "       sarnoval-cli file PATH [OPTION...]\n"
    "options: --json, --repeat N, --quiet, --help, --version\n";

constexpr const char* kHelp =
    "Measures how fast a drive writes and reads, or how fast a file reads.\n"
    "\n"
    "  drive [LETTER]     writes, renames, reads back and deletes a temporary file in\n"
    "                     the root of the drive the dialog calls LETTER (default C,\n"
    "                     which is the home folder on Linux)\n"
    "  drive FOLDER       the same, with FOLDER as the drive's root (any text but a\n"
    "                     single letter; write ./D for a folder named D)\n"
    "  file PATH          reads PATH from start to end\n"
    "\n"
    "  --size MB          the drive test's size: 1, 5, 20 (default) or 100 MB\n"
    "  --json             each test as one JSON object on its own line; with --repeat\n"
    "                     a summary object with the medians follows\n"
    "  --repeat N         runs the test N times (1 to 1000), stopping at a failure\n"
    "  --quiet            no progress on a terminal\n"
    "  --help, --version  this text, or the version, and exit\n"
    "\n"
    "Standard output holds only results: by default the line the dialog would\n"
    "show. Messages go to standard error. Exit status: 0 success, 1 a test failed,\n"
    "2 a usage error, 128 + the signal's number when stopped by a signal.\n";

struct Options {
    bool help = false;
    bool version = false;
    bool drive = false;
    std::string target; // a letter or folder for the drive test, a path for the file test
    int sizeId = IDC_SIZE_20MB;
    bool sizeGiven = false;
    bool json = false;
    bool quiet = false;
    int repeat = 1;
};

// Parses the arguments; the problem's text when they make no sense.
std::optional<std::string> Parse(const std::vector<std::string>& args, Options& o) {
    std::vector<std::string> words;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            words.push_back(arg);
            continue;
        }
        std::optional<std::string> value;
        if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        }
        const bool takesValue = arg == "--size" || arg == "--repeat";
        if (takesValue && !value) {
            if (i + 1 == args.size()) {
                return arg + " needs a value";
            }
            value = args[++i];
        } else if (!takesValue && value) {
            return arg + " takes no value";
        }
        if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--quiet" || arg == "-q") {
            o.quiet = true;
        } else if (arg == "--size") {
            // The dialog's own size options, in whole megabytes.
            const auto found =
                std::find_if(std::begin(kSizeOptions), std::end(kSizeOptions), [&](const auto& s) {
                    return std::to_string(s.bytes / 1000000) == *value;
                });
            if (found == std::end(kSizeOptions)) {
                return "--size must be 1, 5, 20 or 100, not '" + *value + "'";
            }
            o.sizeId = found->id;
            o.sizeGiven = true;
        } else if (arg == "--repeat") {
            const bool digits = !value->empty() && value->size() <= 4 &&
                                std::all_of(value->begin(), value->end(),
                                            [](unsigned char c) { return std::isdigit(c); });
            o.repeat = digits ? std::stoi(*value) : 0;
            if (o.repeat < 1 || o.repeat > kMostRepeats) {
                return "--repeat must be a number from 1 to 1000, not '" + *value + "'";
            }
        } else {
            return "unknown option " + arg;
        }
    }
    if (o.help || o.version) {
        return std::nullopt;
    }
    if (words.empty() || (words[0] != "drive" && words[0] != "file")) {
        return words.empty() ? "a mode is needed: drive or file"
                             : "unknown mode '" + words[0] + "'";
    }
    o.drive = words[0] == "drive";
    if (words.size() > 2) {
        return "one " + std::string(o.drive ? "drive" : "file") + " at a time, not '" + words[2] +
               "'";
    }
    if (!o.drive && words.size() < 2) {
        return "the file test needs a PATH";
    }
    if (!o.drive && o.sizeGiven) {
        return "--size is for the drive test";
    }
    o.target = words.size() > 1 ? words[1] : "C";
    return std::nullopt;
}

bool IsLetter(const std::string& text) {
    return text.size() == 1 && std::isalpha(static_cast<unsigned char>(text[0]));
}

// The letter the result line names for a folder: its drive on Windows; else
// the dialog's letter for the deepest mapped folder holding it; else the
// first letter the dialog does not use, so the line never names another
// drive's letter.
char LetterFor(const fs::path& folder, const DriveMap& dialog) {
    const std::string root = folder.root_name().string();
    if (root.size() == 2 && root[1] == ':' && IsLetter(root.substr(0, 1))) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    }
    char best = 0;
    std::size_t depth = 0;
    for (const auto& [letter, mapped] : dialog) {
        const fs::path normal = mapped.lexically_normal();
        const auto parts = static_cast<std::size_t>(std::distance(normal.begin(), normal.end()));
        if (IsWithin(folder, normal) && parts > depth) {
            best = letter;
            depth = parts;
        }
    }
    for (char letter = 'C'; !best && letter <= 'Z'; ++letter) {
        best = dialog.count(letter) ? 0 : letter;
    }
    return best ? best : 'C';
}

// The kilobytes moved and a bar, on one line of the terminal, rewritten in place.
class Progress {
public:
    Progress(bool shown, bool drive, std::uint64_t total)
        : shown_(shown), drive_(drive), total_(total) {}

    void Show(std::uint64_t done) {
        if (!shown_) {
            return;
        }
        // The drive test's count climbs while writing and falls back while reading.
        reading_ = reading_ || (drive_ && done < peak_);
        peak_ = std::max(peak_, done);
        std::string text = drive_ ? (reading_ ? "Reading " : "Writing ") : "Reading ";
        text += std::to_string(done >> 10) + " KB";
        if (total_ > 0) {
            constexpr std::size_t kWidth = 30;
            const std::uint64_t part = reading_ ? total_ - std::min(done, total_) : done;
            const auto filled =
                static_cast<std::size_t>(std::min<std::uint64_t>(part, total_) * kWidth / total_);
            text.resize(std::max<std::size_t>(text.size() + 1, 22), ' ');
            text += '[';
            text.append(filled, '#').append(kWidth - filled, '.') += ']';
        }
        Write(text);
    }

    // Two columns more than drawn: the terminal's "^C" echo after a Ctrl+C.
    void Clear() {
        if (width_ > 0) {
            std::fprintf(stderr, "\r%s\r", std::string(width_ + 2, ' ').c_str());
            std::fflush(stderr);
            width_ = 0;
        }
        reading_ = false;
        peak_ = 0;
    }

private:
    void Write(const std::string& text) {
        const std::string pad(width_ > text.size() ? width_ - text.size() : 0, ' ');
        std::fprintf(stderr, "\r%s%s", text.c_str(), pad.c_str());
        std::fflush(stderr);
        width_ = std::max(width_, text.size());
    }

    bool shown_;
    bool drive_;
    std::uint64_t total_;
    std::size_t width_ = 0;
    bool reading_ = false;
    std::uint64_t peak_ = 0;
};

// Runs one test to its end or a stop; the stop's signal number, else 0.
int RunOnce(ConsoleWindow& window, TestProc test, Progress& progress,
            std::optional<Report>& report) {
    RecordTargets(&window, &window); // StopTests forgets them after every test
    Launch(test);
    int signal = 0;
    for (;;) {
        signal = WaitForEvent(kTickMs);
        if (signal) {
            break; // StopTests below stops the test at once and removes its file
        }
        const bool ended = !g_testRunning.load(); // before the report: it comes first
        report = window.TakeReport();
        if (report || ended) {
            break;
        }
        progress.Show(g_bytesDone.load());
    }
    StopTests();
    progress.Clear();
    return signal;
}

// 0 once the line is out, else the exit status. JSON is UTF-8; the result
// line is in the engine's code page.
int Print(const std::string& text, bool utf8) {
    const int wrote = WriteOut(text + '\n', utf8);
    if (wrote < 0) {
        std::fprintf(stderr, "sarnoval-cli: could not write the result.\n");
        return kTestFailed;
    }
    return wrote ? 128 + wrote : 0;
}

int Run(const Options& o) {
    ConsoleWindow window(Wake);
    TestProc test = FileReadTest;
    std::uint64_t total = 0;
    Finished finished;
    finished.drive = o.drive;
    std::error_code ec;
    if (o.drive) {
        test = DriveWriteReadTest;
        window.SetChecked(o.sizeId);
        for (const SizeOption& option : kSizeOptions) {
            total = option.id == o.sizeId ? option.bytes : total;
        }
        const DriveMap dialog = DialogDriveMap();
        std::string letter = o.target;
        DriveMap letters = dialog;
        fs::path root;
        if (IsLetter(o.target)) {
            letter[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
            root = DriveRoot(dialog, letter).value_or(fs::path());
        } else {
            // One letter that leads to the folder, and nowhere else. Text that
            // names no folder leads nowhere, rather than to the current one.
            const fs::path given = PathFromText(o.target);
            root = given.empty() ? given : AbsoluteFolder(given);
            root = root.has_filename() ? root : root.parent_path(); // no trailing separator
            letter = root.empty() ? "" : std::string(1, LetterFor(root, dialog));
            letters = root.empty() ? DriveMap{} : DriveMap{{letter[0], root}};
        }
        window.SetText(IDC_DRIVE_LETTER, letter);
        window.SetDriveLetters(letters);
        finished.target = PathToUtf8(root);
    } else {
        window.SetText(IDC_FILE_PATH, o.target);
        const fs::path path = PathFromText(o.target);
        total = fs::is_regular_file(path, ec) ? fs::file_size(path, ec) : 0;
        total = ec ? 0 : total;
        finished.target = TextToUtf8(o.target);
    }
    Progress progress(StderrIsTerminal() && !o.quiet, o.drive, total);
    std::vector<ResultFigures> runs;
    for (int i = 0; i < o.repeat; ++i) {
        std::optional<Report> report;
        if (const int signal = RunOnce(window, test, progress, report)) {
            return 128 + signal;
        }
        if (!report || !report->figures) {
            const std::string message = report ? report->text : "The test gave no result.";
            WriteText(stderr, message + "\n", false);
            if (report && !report->detail.text.empty()) {
                WriteText(stderr, report->detail.text + "\n", false);
            }
            if (report && o.json) {
                finished.timeUtc = UtcNow();
                Print(FailureJson(finished, report->text, report->detail), true);
            }
            return kTestFailed;
        }
        finished.line = report->text;
        finished.figures = *report->figures;
        finished.timeUtc = UtcNow();
        if (o.json) {
            // The folder the test ran in: a stand-in's, where it took one.
            if (o.drive && !finished.figures.where.empty()) {
                finished.target = PathToUtf8(finished.figures.where);
            }
            finished.storage = DescribeStorage(finished.figures.where);
        }
        if (const int status = Print(o.json ? TestJson(finished) : finished.line, o.json)) {
            return status;
        }
        runs.push_back(finished.figures);
    }
    return o.json && o.repeat > 1 ? Print(SummaryJson(finished, runs), true) : 0;
}

int Main(int argc, char** argv) {
    Options options;
    if (const auto problem = Parse(Arguments(argc, argv), options)) {
        WriteText(stderr, "sarnoval-cli: " + *problem + "\n" + kUsage, false);
        return kUsageError;
    }
    if (options.help) {
        std::printf("%s%s", kUsage, kHelp);
        return 0;
    }
    if (options.version) {
        std::printf("sarnoval-cli %s\n", SARNOVAL_VERSION);
        return 0;
    }
    return Run(options);
}

} // namespace

} // namespace sarnoval::cli

int main(int argc, char** argv) {
    using namespace sarnoval::cli;
    sarnoval::NoSystemErrorBoxes();
    CatchStopSignals(); // before any thread starts, so every thread inherits it
    BinaryOutput();
    const int status = Main(argc, argv);
    StopSettled(); // every test has stopped and removed its files
    return status;
}
