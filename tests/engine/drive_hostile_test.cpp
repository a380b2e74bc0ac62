// The drive test in a folder others share: it writes through nothing, reads
// back only the file it wrote, and deletes nothing it did not create.
#include "drive_fixture.h"
#include "res/resource.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <regex>

namespace sarnoval::testing {
namespace {

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What stands at a name, as far as a test could change it.
std::string Describe(const fs::path& path) {
    std::error_code error;
    const auto status = fs::symlink_status(path, error);
    std::string text = std::to_string(static_cast<int>(status.type()));
    if (fs::is_symlink(status)) {
        text += " -> " + fs::read_symlink(path).string();
    } else if (fs::is_regular_file(status)) {
        text += " " + Contents(path).substr(0, 40);
    }
    return text;
}

struct Occupant {
    const char* name;
    std::function<bool(const fs::path& at, const fs::path& precious)> plant;
};

const Occupant kOccupants[] = {
    {"link to a file", [](auto& at, auto& p) { return ::symlink(p.c_str(), at.c_str()) == 0; }},
    {"link to /dev/zero", [](auto& at, auto&) { return ::symlink("/dev/zero", at.c_str()) == 0; }},
    {"dangling link",
     [](auto& at, auto& p) { return ::symlink((p.string() + ".gone").c_str(), at.c_str()) == 0; }},
    {"hard link to a file", [](auto& at, auto& p) { return ::link(p.c_str(), at.c_str()) == 0; }},
    {"empty folder", [](auto& at, auto&) { return ::mkdir(at.c_str(), 0700) == 0; }},
    {"fifo", [](auto& at, auto&) { return ::mkfifo(at.c_str(), 0600) == 0; }},
    {"another user's file",
     [](auto& at, auto&) {
         std::ofstream(at) << "theirs";
         return ::chown(at.c_str(), 65534, 65534) == 0; // root only
     }},
};

// Whatever stands at the first name: the test refuses to write, and leaves it.
// At the second name: the written file cannot move there, so it is not read
// back; the test says so and removes only its own file.
TEST_F(DriveTest, NothingAtEitherNameIsWrittenThroughReadOrDeleted) {
    const fs::path precious = MakeFile("precious.txt", 5, 'p');
    const std::pair<const char*, const char*> names[] = {
        {kFirstTempName, kOpenWriteFailed},
        {kSecondTempName, kOpenReadFailed},
    };
    for (const auto& [name, message] : names) {
        for (const Occupant& occupant : kOccupants) {
            const fs::path at = driveC_ / name;
            if (!occupant.plant(at, precious)) {
                fs::remove(at);
                continue; // needs root
            }
            const std::string before = Describe(at);
            HeadlessWindow window;
            window.SetText(IDC_DRIVE_LETTER, "C");
            ChooseSize(window, IDC_SIZE_1MB);
            const std::string which = std::string(name) + ", " + occupant.name;
            ASSERT_TRUE(RunCase(window, DriveWriteReadTest)) << which;
            EXPECT_EQ(window.Messages(), std::vector<std::string>{message}) << which;
            EXPECT_TRUE(window.Lines().empty()) << which;
            EXPECT_EQ(Describe(at), before) << which;
            EXPECT_EQ(Contents(precious), "ppppp") << which;
            EXPECT_EQ(Entries(driveC_), std::vector<std::string>{name}) << which;
            fs::remove(at);
        }
    }
}

// Two copies testing one folder: the second is refused at once and the first
// still reports its own file.
TEST_F(DriveTest, SecondCopyOnTheSameFolderIsRefusedAndTheFirstCompletes) {
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    // Each copy is a process of its own, running the test on its one thread.
    const auto runCopy = [&](bool first) {
        HeadlessWindow window;
        ChooseSize(window, IDC_SIZE_5MB);
        window.SetTextSource([&](int, int index) {
            if (first && index == 1) { // written, before the rename: let the second run
                char byte = 1;
                bool ok = ::write(toParent[1], &byte, 1) == 1 && ::read(toChild[0], &byte, 1) == 1;
                (void)ok;
            }
            return std::string("C");
        });
        RecordTargets(&window, &window);
        DriveWriteReadTest();
        if (first) {
            static const std::regex line(R"(^C:\\, .* 4882 KB read and written in \d+ Seconds\.$)");
            return window.Lines().size() == 1 && std::regex_match(window.Lines()[0], line) &&
                   window.Messages().empty();
        }
        return window.Lines().empty() &&
               window.Messages() == std::vector<std::string>{kOpenWriteFailed};
    };
    const auto spawn = [&](bool first) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(runCopy(first) ? 0 : 1);
        }
        return child;
    };
    const auto exitedWell = [](pid_t child) {
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    };

    const pid_t first = spawn(true);
    char byte = 0;
    ASSERT_EQ(::read(toParent[0], &byte, 1), 1);
    EXPECT_TRUE(exitedWell(spawn(false))) << "the second copy was not refused";
    ASSERT_EQ(::write(toChild[1], &byte, 1), 1);
    EXPECT_TRUE(exitedWell(first)) << "the first copy did not report its own file";
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) {
        ::close(fd);
    }
    ExpectNothingLeft();
}

} // namespace
} // namespace sarnoval::testing
