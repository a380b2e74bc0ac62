#include "engine/drive_paths.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include <cstdlib>

namespace sarnoval {
namespace {

TEST(BuildDriveMap, LettersFollowMountPointsOfWritableStorage) {
    const std::vector<Volume> volumes = {
        {"/srv/data", "xfs", false, true},
        {"/", "ext4", false, true},
        {"/proc", "proc", false, true},
        {"/run", "tmpfs", false, true},
        {"/media/cdrom", "iso9660", true, true},
        {"/mnt/backup", "ext4", true, true}, // read-only
        {"/mnt/usb", "vfat", false, false},  // not ready
        {"/boot", "ext4", false, true},
        {"/srv/data", "xfs", false, true}, // bind-mounted twice
        {"/home", "ext4", false, true},    // holds the home folder: that is C
    };
    const DriveMap map = BuildDriveMap("/home/ana", volumes);
    const DriveMap expected = {{'C', "/home/ana"}, {'D', "/"}, {'E', "/boot"}, {'F', "/srv/data"}};
    EXPECT_EQ(map, expected);
}

TEST(BuildDriveMap, HomeOnTheRootVolumeLeavesRootOut) {
    const DriveMap map =
        BuildDriveMap("/root", {{"/", "ext4", false, true}, {"/data", "ext4", false, true}});
    EXPECT_EQ(map, (DriveMap{{'C', "/root"}, {'D', "/data"}}));
    // "/ho" is not a parent of "/home/ana": whole components only.
    const DriveMap prefix =
        BuildDriveMap("/home/ana", {{"/", "ext4", false, true}, {"/ho", "ext4", false, true}});
    EXPECT_EQ(prefix, (DriveMap{{'C', "/home/ana"}, {'D', "/ho"}}));
}

TEST(BuildDriveMap, StopsAtZ) {
    std::vector<Volume> volumes;
    for (int i = 0; i < 40; ++i) {
        volumes.push_back({"/mnt/v" + std::to_string(100 + i), "ext4", false, true});
    }
    const DriveMap map = BuildDriveMap("/home/x", volumes);
    EXPECT_EQ(map.size(), 24u); // C, then D to Z
    EXPECT_EQ(map.rbegin()->first, 'Z');
    EXPECT_EQ(map.at('Z'), "/mnt/v122");
}

TEST(DriveRoot, OnlyAMappedSingleLetterNamesADrive) {
    const DriveMap map = {{'C', "/home/ana"}, {'D', "/srv"}};
    struct Case {
        const char* text;
        std::optional<std::filesystem::path> root;
    };
    for (const Case& c : {Case{"C", "/home/ana"}, Case{"c", "/home/ana"}, Case{"D", "/srv"},
                          Case{"E", std::nullopt}, Case{"", std::nullopt}, Case{"CC", std::nullopt},
                          Case{"5", std::nullopt}, Case{".", std::nullopt}, Case{"/", std::nullopt},
                          Case{"C:", std::nullopt}}) {
        EXPECT_EQ(DriveRoot(map, c.text), c.root) << c.text;
    }
    EXPECT_EQ(DriveName("C"), "C:\\");
#ifdef _WIN32
    // No map: the drive's own root, for a letter only.
    EXPECT_TRUE(DefaultDriveMap().empty());
    EXPECT_EQ(DriveRoot({}, "C"), std::filesystem::path(L"C:\\"));
    EXPECT_EQ(DriveRoot({}, "q"), std::filesystem::path(L"q:\\"));
    for (const char* text : {"", "CC", "C:", "1", ".", "\\", "\xC4"}) {
        EXPECT_EQ(DriveRoot({}, text), std::nullopt) << text;
    }
#else
    EXPECT_EQ(DriveRoot({}, "C"), std::nullopt);
#endif
}

// An unset, empty, root or relative HOME never makes C the root of the file
// system or a folder relative to wherever the program was started, however
// the root is spelt or reached.
TEST(AccountHome, ComesFromTheUserDatabaseWhenHomeIsUnusable) {
#ifdef _WIN32
    GTEST_SKIP() << "drive C is the real C:\\ on Windows; no home folder or user database";
#else
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    const std::string fromDatabase = entry->pw_dir;
    const char* saved = std::getenv("HOME");
    const std::string keep = saved ? saved : "";
    struct Case {
        const char* home; // null: unset
        std::string expected;
    };
    const std::string toRoot = ::testing::TempDir() + "sarnoval-home-to-root";
    std::filesystem::remove(toRoot);
    std::filesystem::create_directory_symlink("/", toRoot);
    for (const Case& c :
         {Case{nullptr, fromDatabase}, Case{"", fromDatabase}, Case{"/", fromDatabase},
          Case{"/.", fromDatabase}, Case{"/usr/..", fromDatabase}, Case{"//", fromDatabase},
          Case{toRoot.c_str(), fromDatabase}, Case{"relative/dir", fromDatabase},
          Case{"/home/ana", "/home/ana"}, Case{"/home/./ana/", "/home/ana"}}) {
        if (c.home) {
            ::setenv("HOME", c.home, 1);
        } else {
            ::unsetenv("HOME");
        }
        EXPECT_EQ(AccountHome(), c.expected) << (c.home ? c.home : "unset");
        const DriveMap map = DefaultDriveMap();
        ASSERT_EQ(map.count('C'), 1u);
        EXPECT_NE(map.at('C'), "/");
    }
    std::filesystem::remove(toRoot);
    if (saved) {
        ::setenv("HOME", keep.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
    EXPECT_FALSE(BuildDriveMap({}, {{"/data", "ext4", false, true}}).count('C'));
#endif
}

} // namespace
} // namespace sarnoval
