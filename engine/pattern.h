// What the drive test writes, so that every byte read back can be checked.
// Each 4 KiB page of the file starts with a stamp: its own offset in the file
// and the run's tag. The rest is bytes that do not compress, the same at the
// same place of every period of kPeriodBytes. A page the drive returns from
// another place, from an earlier run, as zeros or with bits flipped is then
// told apart from the page written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sarnoval {

inline constexpr std::size_t kPageBytes = 4096;
inline constexpr std::size_t kStampBytes = 16; // offset, then tag; little-endian
// Longer than what compressing file systems and drives look at together
// (128 KiB on btrfs, 64 KiB on NTFS), and small enough to stay in the
// processor's cache while the read-back is compared with it.
inline constexpr std::size_t kPeriodBytes = 1u << 20;

// How a page read back differs from the page written.
enum class Damage {
    Bits,  // a few bits changed
    Moved, // another offset's page of this run
    Stale, // this offset's page of an earlier run: the write never arrived
    Zeros,
    Other,
};

struct Mismatch {
    std::uint64_t offset = 0; // the first byte that differs
    Damage how = Damage::Other;
    std::uint64_t from = 0;   // Moved: the offset whose page came back
    unsigned bitsChanged = 0; // Bits: how many in that page
};

// "bits", "moved", "stale", "zeros" or "other": for scripts.
const char* DamageName(Damage how);
// A plain sentence: where and how.
std::string Describe(const Mismatch& mismatch);

class Pattern {
public:
    // tag must not be 0, so that a page of zeros never passes.
    explicit Pattern(std::uint64_t tag) : tag_(tag) {}
    // A tag no other run is likely to have.
    static std::uint64_t NewTag();

    std::uint64_t Tag() const { return tag_; }
    // One period of the bytes under the stamps.
    static const unsigned char* Base();

    // Writes file bytes [offset, offset + size) to into.
    void Fill(unsigned char* into, std::uint64_t offset, std::size_t size) const;
    // Stamps the pages of file bytes [offset, offset + size) in memory that
    // already holds the bases at their places: byte i there is file byte
    // offset + i. Stamps cut at the end are written whole, so memory must
    // reach to the end of the last page.
    void Stamp(unsigned char* memory, std::uint64_t offset, std::size_t size) const;
    // Where file bytes [offset, offset + size), given in data, first differ
    // from what was written, and how.
    std::optional<Mismatch> Check(const unsigned char* data, std::uint64_t offset,
                                  std::size_t size) const;

private:
    std::optional<Mismatch> CheckPageByPage(const unsigned char* data, std::uint64_t offset,
                                            std::size_t size) const;

    std::uint64_t tag_;
};

// Whether whole pages, count of them from file offset first in got, are as
// written with tag. PageCompares gives those this processor runs, the one
// Check uses last.
using PageCompare = bool (*)(const unsigned char* got, std::uint64_t first, std::size_t count,
                             std::uint64_t tag);
std::vector<PageCompare> PageCompares();

// Tells, fed a file's bytes in order from its first, whether every one of
// them is what a run of the drive test writes: this pattern with any one tag,
// or the earlier pattern, the write block over and over.
class OwnContent {
public:
    // False once a byte is not ours.
    bool Feed(const unsigned char* data, std::size_t size);
    // Ours up to here; a file of fewer bytes than a stamp, but none, proves nothing.
    bool Ours() const;

private:
    std::uint64_t at_ = 0;
    std::optional<Pattern> pattern_; // from the first stamp
    unsigned char head_[kStampBytes] = {};
    bool current_ = true;
    bool earlier_ = true;
};

} // namespace sarnoval
