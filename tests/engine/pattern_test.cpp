#include "engine/pattern.h"

#include <gtest/gtest.h>

#include <vector>

namespace sarnoval {
namespace {

// One changed bit anywhere in a page is found, by every whole-page compare
// this processor runs and by Check, at its byte; the places are those a wide
// compare treats apart: the stamp, the rest of its first vector, the middle
// and the last bytes of a page, and a page cut at either end of the range.
TEST(PatternTest, EveryChangedBitIsFoundWhereItIs) {
    const Pattern pattern(0x5eed);
    const std::uint64_t start = 3 * kPeriodBytes - 2 * kPageBytes; // the period wraps inside
    std::vector<unsigned char> bytes(5 * kPageBytes);
    pattern.Fill(bytes.data(), start, bytes.size());
    const std::size_t places[] = {0,
                                  7,
                                  8,
                                  15,
                                  16,
                                  31,
                                  32,
                                  63,
                                  64,
                                  2100,
                                  kPageBytes - 1,
                                  2 * kPageBytes + 9,
                                  4 * kPageBytes + 4095};
    for (const PageCompare compare : PageCompares()) {
        EXPECT_TRUE(compare(bytes.data(), start, 5, pattern.Tag()));
        EXPECT_FALSE(compare(bytes.data(), start, 5, pattern.Tag() + 1));
        EXPECT_FALSE(compare(bytes.data(), start + kPageBytes, 4, pattern.Tag()));
        for (const std::size_t at : places) {
            bytes[at] ^= 0x10;
            EXPECT_FALSE(compare(bytes.data(), start, 5, pattern.Tag())) << at;
            bytes[at] ^= 0x10;
        }
    }
    for (const std::size_t at : places) {
        bytes[at] ^= 0x10;
        for (const std::size_t cut : {std::size_t{0}, std::size_t{5}}) { // whole, or cut pages
            const std::size_t from = at < cut ? 0 : cut;
            const std::optional<Mismatch> found =
                pattern.Check(bytes.data() + from, start + from, bytes.size() - from - cut);
            ASSERT_TRUE(found || at >= bytes.size() - cut) << at;
            EXPECT_TRUE(!found || found->offset == start + at) << at;
        }
        bytes[at] ^= 0x10;
    }
    EXPECT_FALSE(pattern.Check(bytes.data(), start, bytes.size()));
}

} // namespace
} // namespace sarnoval
