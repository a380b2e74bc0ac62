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
#include <span>
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
    "options: --json, --repeat N, --quiet (-q), --help (-h), --version (-V)\n";

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
    "  --repeat N         runs the test N times (1 to 1000), stopping at a failure;\n"
    "                     a last line gives the medians\n"
    "  -q, --quiet        no progress on a terminal\n"
    "  -h, --help         this text, and exit\n"
    "  -V, --version      the version, and exit\n"
    "\n"
    "Standard output holds only results: by default the line the dialog would\n"
    "show, with control characters in names shown as '?'. Messages go to standard\n"
    "error. Exit status: 0 success, 1 a test failed, 2 a usage error, 128 + the\n"
    "signal's number when stopped by a signal.\n";

struct Options;
class Progress;

// One entry per kind of test: a third test is one more entry.
struct Kind {
    const char* name;
    TestProc test;
    bool takesSize;
    const char* targetKey; // what JSON calls the target
    bool writes;           // has write figures
    const char* fallback;  // the target when none is given; null: one is needed
    // Sets the controls for the options' target; the bytes the test moves (0
    // when unknown), and the target as the reports name it.
    std::uint64_t (*setUp)(ConsoleWindow& window, const Options& o, std::string& target);
};

// One entry per output format.
struct Format {
    bool utf8; // else in the engine's code page
    std::string (*result)(const Finished& test);
    // What a failure adds to standard output; null: nothing.
    std::string (*failure)(const Finished& test, const std::string& message,
                           const FailureDetail& detail);
    std::string (*summary)(const Finished& last, const std::vector<ResultFigures>& runs);
};

// A line for a terminal or a line-by-line reader: a name's control
// characters (a newline, an escape) shown as '?', so one result is one line
// and no name can forge another.
std::string Visible(std::string text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        const auto third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
        if (byte < 0x20 || byte == 0x7f) {
            text[i] = '?';
        } else if (byte == 0xc2 && next >= 0x80 && next < 0xa0) { // C1 controls in UTF-8
            text.replace(i, 2, "?");
        } else if (byte == 0xe2 && next == 0x80 && (third == 0xa8 || third == 0xa9)) {
            text.replace(i, 3, "?"); // line and paragraph separators
        }
    }
    return text;
}

const Format kText = {false, [](const Finished& test) { return Visible(test.line); }, nullptr,
                      SummaryText};
const Format kJson = {true, TestJson, FailureJson, SummaryJson};

struct Options {
    bool help = false;
    bool version = false;
    const Kind* kind = nullptr;
    std::string target; // a letter or folder for the drive test, a path for the file test
    int sizeId = IDC_SIZE_20MB;
    bool sizeGiven = false;
    const Format* format = &kText;
    bool quiet = false;
    int repeat = 1;
};

// A whole number from min to max written in digits, leading zeros allowed.
std::optional<int> Number(const std::string& text, int min, int max) {
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size());
    const std::string digits = text.substr(first);
    if (text.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isdigit(c); })) {
        return std::nullopt;
    }
    const int value = digits.empty() ? 0 : std::stoi(digits);
    return value >= min && value <= max ? std::optional(value) : std::nullopt;
}

using Problem = std::optional<std::string>;

// One entry per option.
struct Flag {
    const char* name;
    const char* shortName; // or null
    bool takesValue;
    Problem (*apply)(Options& o, const std::string& value);
};

const Flag kFlags[] = {
    {"--help", "-h", false,
     [](Options& o, const std::string&) -> Problem { return o.help = true, Problem(); }},
    {"--version", "-V", false,
     [](Options& o, const std::string&) -> Problem { return o.version = true, Problem(); }},
    {"--json", nullptr, false,
     [](Options& o, const std::string&) -> Problem { return o.format = &kJson, Problem(); }},
    {"--quiet", "-q", false,
     [](Options& o, const std::string&) -> Problem { return o.quiet = true, Problem(); }},
    {"--size", nullptr, true,
     [](Options& o, const std::string& value) -> Problem {
         // The dialog's own size options, in whole megabytes.
         const std::optional<int> mb = Number(value, 1, 100);
         const auto found =
             std::find_if(std::begin(kSizeOptions), std::end(kSizeOptions),
                          [&](const SizeOption& s) { return mb && s.bytes == *mb * 1000000ull; });
         if (found == std::end(kSizeOptions)) {
             return "--size must be 1, 5, 20 or 100, not '" + value + "'";
         }
         o.sizeId = found->id;
         o.sizeGiven = true;
         return std::nullopt;
     }},
    {"--repeat", nullptr, true,
     [](Options& o, const std::string& value) -> Problem {
         const std::optional<int> count = Number(value, 1, kMostRepeats);
         if (!count) {
             return "--repeat must be a number from 1 to 1000, not '" + value + "'";
         }
         o.repeat = *count;
         return std::nullopt;
     }},
};

// Takes the option at args[i] (and its value, which may be the next one).
Problem TakeOption(const std::vector<std::string>& args, std::size_t& i, Options& o) {
    std::string arg = args[i];
    std::optional<std::string> value;
    if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg.resize(eq);
    }
    const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags), [&](const Flag& f) {
        return arg == f.name || (f.shortName && arg == f.shortName);
    });
    if (flag == std::end(kFlags)) {
        return "unknown option " + arg;
    }
    if (flag->takesValue && !value) {
        if (i + 1 == args.size()) {
            return arg + " needs a value";
        }
        value = args[++i];
    } else if (!flag->takesValue && value) {
        return arg + " takes no value";
    }
    return flag->apply(o, value.value_or(""));
}

Problem Parse(const std::vector<std::string>& args, Options& o, std::span<const Kind> kinds) {
    std::vector<std::string> words;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (optionsEnd || args[i].size() < 2 || args[i][0] != '-') {
            words.push_back(args[i]);
        } else if (args[i] == "--") {
            optionsEnd = true;
        } else if (Problem problem = TakeOption(args, i, o)) {
            return problem;
        }
    }
    if (o.help || o.version) {
        return std::nullopt;
    }
    const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const Kind& k) {
        return !words.empty() && words[0] == k.name;
    });
    if (kind == kinds.end()) {
        return words.empty() ? "a mode is needed: drive or file"
                             : "unknown mode '" + words[0] + "'";
    }
    o.kind = &*kind;
    if (words.size() > 2) {
        return "one " + std::string(kind->name) + " at a time, not '" + words[2] + "'";
    }
    if (words.size() < 2 && !kind->fallback) {
        return "the " + std::string(kind->name) + " test needs a PATH";
    }
    if (o.sizeGiven && !kind->takesSize) {
        return "--size is for the drive test";
    }
    o.target = words.size() > 1 ? words[1] : kind->fallback;
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

    // Run run of runs: shown first on the line where there are several.
    void SetRun(int run, int runs) {
        run_ = runs > 1 ? "Run " + std::to_string(run) + " of " + std::to_string(runs) + ": " : "";
    }

    void Show(std::uint64_t done) {
        if (!shown_) {
            return;
        }
        // The drive test's count climbs while writing and falls back while reading.
        reading_ = reading_ || (drive_ && done < peak_);
        peak_ = std::max(peak_, done);
        std::string text = run_ + (drive_ && !reading_ ? "Writing " : "Reading ");
        text += std::to_string(done >> 10) + " KB";
        if (total_ > 0) {
            constexpr std::size_t kWidth = 30;
            const std::uint64_t part = reading_ ? total_ - std::min(done, total_) : done;
            const auto filled =
                static_cast<std::size_t>(std::min<std::uint64_t>(part, total_) * kWidth / total_);
            text.resize(std::max<std::size_t>(text.size() + 1, run_.size() + 22), ' ');
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
    std::string run_;
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

// The drive test: a letter goes through the dialog's drive map; anything
// else is a folder used as the drive's root.
std::uint64_t SetUpDrive(ConsoleWindow& window, const Options& o, std::string& target) {
    window.SetChecked(o.sizeId);
    std::uint64_t total = 0;
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
    target = PathToUtf8(root);
    return total;
}

std::uint64_t SetUpFile(ConsoleWindow& window, const Options& o, std::string& target) {
    window.SetText(IDC_FILE_PATH, o.target);
    std::error_code ec;
    const fs::path path = PathFromText(o.target);
    const std::uint64_t size = fs::is_regular_file(path, ec) ? fs::file_size(path, ec) : 0;
    target = TextToUtf8(o.target);
    return ec ? 0 : size;
}

const Kind kKinds[] = {
    {"drive", DriveWriteReadTest, true, "folder", true, "C", SetUpDrive},
    {"file", FileReadTest, false, "file", false, nullptr, SetUpFile},
};

// A failed test's message, and on the next line which file and why, on
// standard error; what the format adds on standard output.
int Failed(const Options& o, Finished& finished, const std::optional<Report>& report) {
    WriteText(stderr, Visible(report ? report->text : "The test gave no result.") + "\n", false);
    if (report && !report->detail.text.empty()) {
        WriteText(stderr, Visible(report->detail.text) + "\n", false);
    }
    if (report && o.format->failure) {
        finished.timeUtc = UtcNow();
        Print(o.format->failure(finished, report->text, report->detail), o.format->utf8);
    }
    return kTestFailed;
}

// Takes a finished test's line and figures, and for JSON where it ran: the
// folder really used (a stand-in's, where it took one) and its storage.
void Take(Finished& finished, const Report& report, bool describe) {
    finished.line = report.text;
    finished.figures = *report.figures;
    finished.timeUtc = UtcNow();
    if (describe) {
        if (finished.writes && !finished.figures.where.empty()) {
            finished.target = PathToUtf8(finished.figures.where);
        }
        finished.storage = DescribeStorage(finished.figures.where);
    }
}

int Run(const Options& o) {
    ConsoleWindow window(Wake);
    Finished finished;
    finished.kind = o.kind->name;
    finished.targetKey = o.kind->targetKey;
    finished.writes = o.kind->writes;
    const std::uint64_t total = o.kind->setUp(window, o, finished.target);
    Progress progress(StderrIsTerminal() && !o.quiet, o.kind->writes, total);
    std::vector<ResultFigures> runs;
    for (int i = 0; i < o.repeat; ++i) {
        progress.SetRun(i + 1, o.repeat);
        std::optional<Report> report;
        if (const int signal = RunOnce(window, o.kind->test, progress, report)) {
            return 128 + signal;
        }
        if (!report || !report->figures) {
            return Failed(o, finished, report);
        }
        Take(finished, *report, o.format->utf8);
        if (const int status = Print(o.format->result(finished), o.format->utf8)) {
            return status;
        }
        runs.push_back(finished.figures);
    }
    return o.repeat > 1 ? Print(o.format->summary(finished, runs), o.format->utf8) : 0;
}

int Main(int argc, char** argv) {
    Options options;
    if (const auto problem = Parse(Arguments(argc, argv), options, kKinds)) {
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
