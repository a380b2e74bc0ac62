#include "engine/leftover.h"

#include "engine/drive_write_read.h"

#include <algorithm>
#include <vector>

namespace sarnoval {

namespace {

std::uint64_t LargestTest() {
    std::uint64_t largest = 0;
    for (const SizeOption& option : kSizeOptions) {
        largest = std::max(largest, option.bytes);
    }
    return largest;
}

} // namespace

std::size_t LeftoverHeadBytes(std::uint64_t size) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(size, kDriveBlockBytes));
}

bool IsOwnLeftover(const FoundFile& found, std::span<const unsigned char> head,
                   std::chrono::system_clock::time_point now) {
    if (!found.regular || found.links != 1 || !found.ownedByUs ||
        found.size % kDriveBlockBytes != 0 || found.size > LargestTest() ||
        head.size() != LeftoverHeadBytes(found.size) || now - found.modified < kLeftoverAge) {
        return false;
    }
    static const std::vector<unsigned char> pattern = MakeWriteBlock();
    return std::equal(head.begin(), head.end(), pattern.begin());
}

} // namespace sarnoval
