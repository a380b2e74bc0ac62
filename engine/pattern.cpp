#include "engine/pattern.h"

#include "engine/drive_write_read.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

namespace sarnoval {

namespace {

void PutWord(unsigned char* at, std::uint64_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &value, 8); // one store: the check stamps its copy of every page
        return;
    }
    for (std::size_t i = 0; i < 8; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

std::uint64_t GetWord(const unsigned char* at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(at[i]) << (8 * i);
    }
    return value;
}

void PutStamp(unsigned char* at, std::uint64_t page, std::uint64_t tag) {
    PutWord(at, page);
    PutWord(at + 8, tag);
}

// Where a page's bytes under its stamp start in the base.
const unsigned char* BaseOf(std::uint64_t page) {
    return Pattern::Base() + page % kPeriodBytes;
}

// Calls visit(page, in, n, at) for each part of file bytes [offset, offset +
// size) that lies in one page: n bytes from byte in of the page at offset
// page, at byte at of the range. Stops when visit returns false.
template <typename Visit> void EachPagePart(std::uint64_t offset, std::size_t size, Visit visit) {
    for (std::uint64_t pos = offset; pos < offset + size;) {
        const std::uint64_t page = pos / kPageBytes * kPageBytes;
        const auto in = static_cast<std::size_t>(pos - page);
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(offset + size, page + kPageBytes) - pos);
        if (!visit(page, in, n, static_cast<std::size_t>(pos - offset))) {
            return;
        }
        pos += n;
    }
}

bool RestIsBase(const unsigned char* page, std::size_t size, std::uint64_t of) {
    return size <= kStampBytes ||
           std::memcmp(page + kStampBytes, BaseOf(of) + kStampBytes, size - kStampBytes) == 0;
}

// How bytes [in, in + size) of the page at offset page, given in got, differ
// from what was written there.
Mismatch Diagnose(const Pattern& pattern, std::uint64_t page, std::size_t in,
                  const unsigned char* got, std::size_t size) {
    unsigned char expected[kPageBytes];
    pattern.Fill(expected, page, kPageBytes);
    Mismatch found;
    unsigned bits = 0;
    std::size_t first = size;
    bool zeros = true;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char diff = got[i] ^ expected[in + i];
        bits += static_cast<unsigned>(std::popcount(diff));
        first = diff && first == size ? i : first;
        zeros = zeros && got[i] == 0;
    }
    found.offset = page + in + first;
    const bool whole = in == 0 && size > kStampBytes;
    const std::uint64_t from = whole ? GetWord(got) : 0;
    const std::uint64_t tag = whole ? GetWord(got + 8) : 0;
    if (zeros) {
        found.how = Damage::Zeros;
    } else if (whole && tag == pattern.Tag() && from != page && from % kPageBytes == 0 &&
               RestIsBase(got, size, from)) {
        found.how = Damage::Moved;
        found.from = from;
    } else if (whole && tag != pattern.Tag() && from == page && RestIsBase(got, size, page)) {
        found.how = Damage::Stale;
    } else if (bits <= 32) {
        found.how = Damage::Bits;
        found.bitsChanged = bits;
    }
    return found;
}

// Whether the whole pages from file offset first, count of them in got, are
// as written. Compares as wide as the processor allows: the check reads every
// byte back from memory, and at memory's pace the narrow compare costs half
// as much again in CPU time.
template <typename Vector>
inline __attribute__((always_inline)) bool PagesAsWritten(const unsigned char* got,
                                                          std::uint64_t first, std::size_t count,
                                                          std::uint64_t tag) {
    static_assert(kStampBytes == 16 && sizeof(Vector) >= kStampBytes);
    const unsigned char* period = Pattern::Base();
    Vector differ{};
    for (std::size_t i = 0; i < count; ++i, got += kPageBytes) {
        const std::uint64_t page = first + i * kPageBytes;
        const unsigned char* base = period + page % kPeriodBytes;
        unsigned char written[sizeof(Vector)];
        PutStamp(written, page, tag);
        std::memcpy(written + kStampBytes, base + kStampBytes, sizeof written - kStampBytes);
        Vector head;
        std::memcpy(&head, written, sizeof head);
        Vector gotHead;
        std::memcpy(&gotHead, got, sizeof gotHead);
        differ |= gotHead ^ head;
        for (std::size_t at = sizeof(Vector); at < kPageBytes; at += sizeof(Vector)) {
            Vector a, b;
            std::memcpy(&a, got + at, sizeof a);
            std::memcpy(&b, base + at, sizeof b);
            differ |= a ^ b;
        }
    }
    std::uint64_t any = 0;
    for (std::size_t k = 0; k < sizeof(Vector) / 8; ++k) {
        any |= differ[k];
    }
    return any == 0;
}

using Words2 = std::uint64_t __attribute__((vector_size(16)));
bool PagesAsWrittenNarrow(const unsigned char* got, std::uint64_t first, std::size_t count,
                          std::uint64_t tag) {
    return PagesAsWritten<Words2>(got, first, count, tag);
}

#if defined(__x86_64__)
using Words4 = std::uint64_t __attribute__((vector_size(32)));
__attribute__((target("avx2"))) bool PagesAsWrittenAvx2(const unsigned char* got,
                                                        std::uint64_t first, std::size_t count,
                                                        std::uint64_t tag) {
    return PagesAsWritten<Words4>(got, first, count, tag);
}
#endif

bool WholePagesAsWritten(const unsigned char* got, std::uint64_t first, std::size_t count,
                         std::uint64_t tag) {
    static const PageCompare compare = PageCompares().back();
    return compare(got, first, count, tag);
}

} // namespace

std::vector<PageCompare> PageCompares() {
    std::vector<PageCompare> compares{PagesAsWrittenNarrow};
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
        compares.push_back(PagesAsWrittenAvx2);
    }
#endif
    return compares;
}

const char* DamageName(Damage how) {
    switch (how) {
    case Damage::Bits:
        return "bits";
    case Damage::Moved:
        return "moved";
    case Damage::Stale:
        return "stale";
    case Damage::Zeros:
        return "zeros";
    case Damage::Other:
        break;
    }
    return "other";
}

std::string Describe(const Mismatch& m) {
    std::string text = "The data read back differs from what was written at byte " +
                       std::to_string(m.offset) + ": ";
    switch (m.how) {
    case Damage::Bits:
        text += std::to_string(m.bitsChanged) + (m.bitsChanged == 1 ? " bit" : " bits") +
                " changed in its 4 KiB.";
        break;
    case Damage::Moved:
        text += "the data written at byte " + std::to_string(m.from) +
                " came back in its place, as from a drive smaller than it claims.";
        break;
    case Damage::Stale:
        text += "an earlier test's data came back; what was written did not reach the drive.";
        break;
    case Damage::Zeros:
        text += "zeros came back.";
        break;
    case Damage::Other:
        text += "other data came back.";
        break;
    }
    return text;
}

std::uint64_t Pattern::NewTag() {
    std::random_device random;
    std::uint64_t tag =
        (static_cast<std::uint64_t>(random()) << 32) ^ random() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return tag ? tag : 1;
}

const unsigned char* Pattern::Base() {
    static const std::vector<unsigned char> base = [] {
        std::vector<unsigned char> bytes(kPeriodBytes);
        std::uint64_t state = 0x2545F4914F6CDD1Dull; // xorshift64: fixed seed, fixed bytes
        for (std::size_t i = 0; i < bytes.size(); i += 8) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            PutWord(&bytes[i], state);
        }
        return bytes;
    }();
    return base.data();
}

void Pattern::Fill(unsigned char* into, std::uint64_t offset, std::size_t size) const {
    EachPagePart(offset, size,
                 [&](std::uint64_t page, std::size_t in, std::size_t n, std::size_t at) {
                     unsigned char stamp[kStampBytes];
                     PutStamp(stamp, page, tag_);
                     const std::size_t head = in < kStampBytes ? std::min(kStampBytes - in, n) : 0;
                     std::memcpy(into + at, stamp + std::min(in, kStampBytes), head);
                     std::memcpy(into + at + head, BaseOf(page) + in + head, n - head);
                     return true;
                 });
}

void Pattern::Stamp(unsigned char* memory, std::uint64_t offset, std::size_t size) const {
    for (std::uint64_t page = (offset + kPageBytes - 1) / kPageBytes * kPageBytes;
         page < offset + size; page += kPageBytes) {
        PutStamp(memory + (page - offset), page, tag_);
    }
}

std::optional<Mismatch> Pattern::Check(const unsigned char* data, std::uint64_t offset,
                                       std::size_t size) const {
    // Whole pages the quick way; where they differ, and in pages cut at either
    // end, page by page to find the first difference and say what it is.
    const std::uint64_t first = (offset + kPageBytes - 1) / kPageBytes * kPageBytes;
    const std::uint64_t end = (offset + size) / kPageBytes * kPageBytes;
    if (first < end &&
        WholePagesAsWritten(data + (first - offset), first,
                            static_cast<std::size_t>((end - first) / kPageBytes), tag_)) {
        std::optional<Mismatch> found = CheckPageByPage(data, offset, first - offset);
        return found ? found : CheckPageByPage(data + (end - offset), end, offset + size - end);
    }
    return CheckPageByPage(data, offset, size);
}

std::optional<Mismatch> Pattern::CheckPageByPage(const unsigned char* data, std::uint64_t offset,
                                                 std::size_t size) const {
    std::optional<Mismatch> found;
    EachPagePart(offset, size,
                 [&](std::uint64_t page, std::size_t in, std::size_t n, std::size_t at) {
                     const unsigned char* got = data + at;
                     unsigned char stamp[kStampBytes];
                     PutStamp(stamp, page, tag_);
                     const std::size_t head = in < kStampBytes ? std::min(kStampBytes - in, n) : 0;
                     if (std::memcmp(got, stamp + std::min(in, kStampBytes), head) != 0 ||
                         std::memcmp(got + head, BaseOf(page) + in + head, n - head) != 0) {
                         found = Diagnose(*this, page, in, got, n);
                     }
                     return !found;
                 });
    return found;
}

bool OwnContent::Feed(const unsigned char* data, std::size_t size) {
    static const std::vector<unsigned char> block = MakeWriteBlock();
    for (std::size_t i = 0; earlier_ && i < size; ++i) {
        earlier_ = data[i] == block[(at_ + i) % block.size()];
    }
    std::size_t used = 0;
    while (current_ && !pattern_ && used < size) { // the stamp names the run
        head_[at_ + used] = data[used];
        if (at_ + ++used == kStampBytes) {
            pattern_.emplace(GetWord(head_ + 8));
            current_ = pattern_->Tag() != 0 && !pattern_->Check(head_, 0, kStampBytes);
        }
    }
    current_ = current_ && (!pattern_ || used == size ||
                            !pattern_->Check(data + used, at_ + used, size - used));
    at_ += size;
    return current_ || earlier_;
}

bool OwnContent::Ours() const {
    return (current_ && (pattern_ || at_ == 0)) || (earlier_ && (at_ >= kStampBytes || at_ == 0));
}

} // namespace sarnoval
