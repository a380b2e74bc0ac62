#include "engine/figures.h"

#include <gtest/gtest.h>

#include <string>

namespace sarnoval {
namespace {

struct FileLineCase {
    std::string path;
    std::uint64_t bytes;
    std::uint64_t ms;
    std::string line;
};

TEST(FileResultLine, WorkedValues) {
    const FileLineCase cases[] = {
        {"C:\\data\\big.iso", 70000000, 4321,
         "C:\\data\\big.iso, 93x Read (15 MB/sec), 68359 KB read in 4 Seconds."},
        {"C:\\a.bin", 100000, 0, "C:\\a.bin, 0x Read (97 MB/sec), 97 KB read in 0 Seconds."},
        // 64-bit counts: 5 GB in 10 s, which a 32-bit count would wrap.
        {"/big", 5000000000ull, 10000,
         "/big, 3030x Read (488 MB/sec), 4882812 KB read in 10 Seconds."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatFileResult(c.path, c.bytes, c.ms), c.line) << c.path;
    }
}

TEST(DriveResultLine, WorkedValues) {
    EXPECT_EQ(FormatDriveResult("C:\\", {20000000, 2500, 800, 800, 800}),
              "C:\\, 133x Read (24 MB/sec), 44x Write (7 MB/sec), 19531 KB read and written in 2 "
              "Seconds.");
    EXPECT_EQ(FormatDriveResult("D:\\", {100000000, 12000, 1500, 1500, 1500}),
              "D:\\, 333x Read (65 MB/sec), 51x Write (8 MB/sec), 97656 KB read and written in "
              "13 Seconds.");
    // Each read interval feeds its own figure: Ra the seconds, Rb the rate, Rc the multiple.
    EXPECT_EQ(FormatDriveResult("E:\\", {20000000, 999, 1999, 0, 999}),
              "E:\\, 133x Read (19531 MB/sec), 133x Write (19 MB/sec), 19531 KB read and written "
              "in 1 Seconds.");
}

TEST(ErrorLine, KeepsThePathWhole) {
    EXPECT_EQ(FormatFileError(""), " - ERROR Reading File.");
    const std::string longPath(1500, 'p');
    EXPECT_EQ(FormatFileError(longPath), longPath + " - ERROR Reading File.");
}

TEST(ElidePath, Boundaries) {
    const std::string p63(63, 'a');
    EXPECT_EQ(ElidePath(p63), p63);
    std::string p64 = "X" + std::string(4, 'b') + std::string(59, 'c');
    EXPECT_EQ(ElidePath(p64), "..." + std::string(59, 'c'));
    EXPECT_EQ(ElidePath(p64).size(), 62u);
    EXPECT_EQ(ElidePath(""), "");
    // The cut is by bytes, even inside a multi-byte character.
    std::string utf8 = std::string(60, 'd') + "\xC3\xA9" + std::string(58, 'e');
    EXPECT_EQ(ElidePath(utf8), "...\xA9" + std::string(58, 'e'));
    // The result line shows the shown name, the error line the whole path.
    EXPECT_EQ(FormatFileResult(p64, 0, 0).substr(0, 62), ElidePath(p64));
}

TEST(SpeedMultiple, SubSecondIsBytesOver150000) {
    for (std::uint64_t ms : {0u, 1u, 500u, 999u}) {
        EXPECT_EQ(SpeedMultiple(20000000, ms), 20000000u / 150000) << ms;
    }
    EXPECT_EQ(SpeedMultiple(1500000, 10000), 0u);  // 150,000 B/s shows as 0x
    EXPECT_EQ(SpeedMultiple(20000000, 1000), 66u); // divides by whole seconds + 1
    EXPECT_EQ(KbPerMs(1024, 0), 1u);
    EXPECT_EQ(KbPerMs(1023, 0), 0u);
    EXPECT_EQ(KbPerMs(~0ull, ~0ull - 1), 0u); // the divisor cannot reach zero here
}

TEST(MillisecondClock, IsMonotonic) {
    std::uint64_t last = MillisecondClock();
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t now = MillisecondClock();
        ASSERT_GE(now, last);
        last = now;
    }
}

} // namespace
} // namespace sarnoval
