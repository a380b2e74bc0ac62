// The drive test in a folder others share: it writes through nothing, reads
// back only the file it wrote, and deletes nothing it did not create.
#include "drive_fixture.h"
#include "engine/folder.h"
#include "engine/leftover.h"
#include "engine/pattern.h"
#include "res/resource.h"

#ifdef _WIN32
#include "engine/folder.h"
#include "engine/windows_api.h"

#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>
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

#ifdef _WIN32
const char* const kDevice = "NUL";
#else
const char* const kDevice = "/dev/zero";
#endif

// A plant that fails (no root, or no such thing on this system) skips its case.
const Occupant kOccupants[] = {
    {"link to a file", [](auto& at, auto& p) { return MakeSymlink(p, at); }},
    {"link to a device", [](auto& at, auto&) { return MakeSymlink(kDevice, at); }},
    {"dangling link", [](auto& at, auto& p) { return MakeSymlink(p.string() + ".gone", at); }},
    {"hard link to a file",
     [](auto& at, auto& p) {
         std::error_code error;
         fs::create_hard_link(p, at, error);
         return !error;
     }},
    {"empty folder", [](auto& at, auto&) { return fs::create_directory(at); }},
#ifndef _WIN32
    {"fifo", [](auto& at, auto&) { return ::mkfifo(at.c_str(), 0600) == 0; }},
    {"another user's file",
     [](auto& at, auto&) {
         std::ofstream(at) << "theirs";
         return ::chown(at.c_str(), 65534, 65534) == 0; // root only
     }},
#endif
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
            ForDriveC(window, IDC_SIZE_1MB);
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

// A file at either name is deleted only when only we could have written it:
// every byte what a run writes (this pattern or the one before), whatever the
// length, no more than 100 MB and a transfer, and nobody has touched it for a
// while. Anything else is left byte for byte, and the user is told why.
TEST_F(DriveTest, OnlyProvableLeftoversAreRemoved) {
    const auto old = 2 * kLeftoverAge;
    const std::uint64_t block = kDriveBlockBytes;
    const auto write = [](const fs::path& at, const std::string& bytes, std::chrono::seconds age) {
        std::ofstream(at, std::ios::binary) << bytes;
        fs::last_write_time(at, fs::file_time_type::clock::now() - age);
    };
    const auto stamped = [](std::uint64_t size) {
        std::string bytes(size, '\0');
        Pattern(7).Fill(reinterpret_cast<unsigned char*>(bytes.data()), 0, bytes.size());
        return bytes;
    };
    struct Case {
        const char* what;
        const char* name;
        std::function<void(const fs::path&)> plant;
        const char* message; // null: removed, and the test reports its line
        const char* why;     // what the detail says
    };
    const Case cases[] = {
        {"cut mid-page", kFirstTempName, [&](auto& at) { write(at, stamped(3 * 4096 + 5), old); },
         nullptr, ""},
        {"cut in a stamp", kFirstTempName, [&](auto& at) { write(at, stamped(4096 + 9), old); },
         nullptr, ""},
        {"whole", kSecondTempName, [&](auto& at) { write(at, stamped(5 * block), old); }, nullptr,
         ""},
        {"earlier pattern, cut", kFirstTempName,
         [&](auto& at) { PlantLeftover(at, block + 1, old); }, nullptr, ""},
        {"earlier pattern", kSecondTempName, [&](auto& at) { PlantLeftover(at, 5 * block, old); },
         nullptr, ""},
        {"empty", kFirstTempName, [&](auto& at) { write(at, "", old); }, nullptr, ""},
        {"a user's file", kFirstTempName, [&](auto& at) { write(at, "precious", old); },
         kOpenWriteFailed, "not a file of ours"},
        {"zeros", kFirstTempName, [&](auto& at) { write(at, std::string(block, '\0'), old); },
         kOpenWriteFailed, "not a file of ours"},
        {"last byte not ours", kFirstTempName,
         [&](auto& at) {
             std::string bytes = stamped(3 * 4096 + 5);
             bytes.back() ^= 1;
             write(at, bytes, old);
         },
         kOpenWriteFailed, "not a file of ours"},
        {"two runs' pages", kFirstTempName,
         [&](auto& at) {
             std::string bytes = stamped(2 * 4096);
             bytes[4096 + 8] ^= 1; // the second page's tag
             write(at, bytes, old);
         },
         kOpenWriteFailed, "not a file of ours"},
        {"over 100 MB and a transfer", kFirstTempName,
         [&](auto& at) {
             PlantLeftover(at, block, old);
             fs::resize_file(at, 110000000);
             fs::last_write_time(at, fs::file_time_type::clock::now() - old);
         },
         kOpenWriteFailed, "not a file of ours"},
        {"modified lately", kFirstTempName,
         [&](auto& at) { write(at, stamped(block), kLeftoverAge / 2); }, kOpenWriteFailed,
         "a file left by a run that ended 3"},
        {"a user's file", kSecondTempName, [&](auto& at) { write(at, "precious", {}); },
         kOpenReadFailed, "not a file of ours"},
    };
    for (const Case& c : cases) {
        const std::string which = std::string(c.name) + ", " + c.what;
        const fs::path at = driveC_ / c.name;
        c.plant(at);
        const std::string before = Contents(at);
        const auto modified = fs::last_write_time(at);
        HeadlessWindow window;
        ForDriveC(window, IDC_SIZE_1MB);
        ASSERT_TRUE(RunCase(window, DriveWriteReadTest)) << which;
        if (!c.message) {
            EXPECT_TRUE(window.Messages().empty()) << which;
            EXPECT_EQ(window.Lines().size(), 1u) << which;
            EXPECT_TRUE(Entries(driveC_).empty()) << which;
            continue;
        }
        EXPECT_EQ(window.Messages(), std::vector<std::string>{c.message}) << which;
        ASSERT_EQ(window.Details().size(), 1u) << which;
        // Which file, then why.
        EXPECT_EQ(window.Details()[0].text.rfind(at.string() + ": " + c.why, 0), 0u)
            << which << ": " << window.Details()[0].text;
        EXPECT_TRUE(window.Lines().empty()) << which;
        EXPECT_TRUE(Contents(at) == before) << which;
        EXPECT_EQ(fs::last_write_time(at), modified) << which;
        EXPECT_EQ(Entries(driveC_), std::vector<std::string>{c.name}) << which;
        fs::remove(at);
    }
}

// Names a copy's part ("first" or "second") and the parent's scratch folder.
constexpr const char* kCopyVariable = "SARNOVAL_TEST_COPY";

// One copy's part, in a process of its own on its one thread. The first holds
// between writing and the rename until the parent says go.
void RunCopy(const std::string& part) {
    const bool first = part.rfind("first|", 0) == 0;
    const fs::path dir = part.substr(part.find('|') + 1);
    HeadlessWindow window;
    window.SetDriveLetters({{'C', dir / "c"}});
    window.SetChecked(IDC_SIZE_5MB, true);
    window.SetTextSource([&](int, int index) {
        if (first && index == 1) { // written, before the rename: let the second run
            std::ofstream(dir / "written").close();
            WaitForFile(dir / "go", kReportWait);
        }
        return std::string("C");
    });
    RecordTargets(&window, &window);
    DriveWriteReadTest();
    if (first) {
        static const std::regex line(R"(^C:\\, .* 4882 KB read and written in \d+ Seconds\.$)");
        ASSERT_EQ(window.Lines().size(), 1u);
        EXPECT_TRUE(std::regex_match(window.Lines()[0], line)) << window.Lines()[0];
        EXPECT_TRUE(window.Messages().empty());
    } else {
        EXPECT_TRUE(window.Lines().empty());
        EXPECT_EQ(window.Messages(), std::vector<std::string>{kOpenWriteFailed});
        EXPECT_NE(window.Details().at(0).text.find(kFolderBusy), std::string::npos);
    }
}

// Two copies testing one folder: the second is refused at once and the first
// still reports its own file. Each copy is this test again, in a child process.
TEST_F(DriveTest, SecondCopyOnTheSameFolderIsRefusedAndTheFirstCompletes) {
    if (const char* part = std::getenv(kCopyVariable)) {
        RunCopy(part);
        return;
    }
    const auto* self = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test = std::string(self->test_suite_name()) + "." + self->name();
    ChildRun first(test, kCopyVariable, "first|" + dir_.string());
    ASSERT_TRUE(WaitForFile(dir_ / "written", kReportWait)) << "the first copy did not write";
    ChildRun second(test, kCopyVariable, "second|" + dir_.string());
    EXPECT_EQ(second.Wait(), 0) << "the second copy was not refused";
    std::ofstream(dir_ / "go").close();
    EXPECT_EQ(first.Wait(), 0) << "the first copy did not report its own file";
    ExpectNothingLeft();
}

#ifdef _WIN32
// A copy in another logon session holds the folder by an object in the global
// namespace, named by the folder's id as the system gives it. Another user's
// refuses to be opened by us, as one that grants nobody anything does.
TEST_F(DriveTest, FolderHeldFromAnotherSessionIsNotOurs) {
    const HANDLE dir = ::CreateFileW(driveC_.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    FILE_ID_INFO id{};
    ASSERT_TRUE(::GetFileInformationByHandleEx(dir, FileIdInfo, &id, sizeof id));
    ::CloseHandle(dir);
    std::uint64_t number[2];
    std::memcpy(number, id.FileId.Identifier, sizeof number);
    const std::wstring name = L"Global\\SarnovalFolder-" + std::to_wstring(id.VolumeSerialNumber) +
                              L"-" + std::to_wstring(number[1]) + L"-" + std::to_wstring(number[0]);
    SECURITY_ATTRIBUTES nobody{sizeof nobody, nullptr, FALSE};
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:", SDDL_REVISION_1, &nobody.lpSecurityDescriptor, nullptr));
    const HANDLE theirs = ::CreateMutexW(&nobody, FALSE, name.c_str());
    ::LocalFree(nobody.lpSecurityDescriptor);
    ASSERT_TRUE(theirs);
    EXPECT_FALSE(Folder(driveC_).Held());
    ::CloseHandle(theirs);
}
#endif

} // namespace
} // namespace sarnoval::testing
