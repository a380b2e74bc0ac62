#include "engine/leftover.h"

#include "engine/chunk_pace.h"
#include "engine/drive_write_read.h"
#include "engine/pattern.h"

#include <algorithm>
#include <vector>

namespace sarnoval {

namespace {

std::uint64_t LargestFile() {
    std::uint64_t largest = 0;
    for (const SizeOption& option : kSizeOptions) {
        largest = std::max(largest, option.bytes);
    }
    return largest + ChunkPace::kMostBytes;
}

bool ContentIsOurs(std::uint64_t size, const ReadAt& read) {
    OwnContent content;
    std::vector<unsigned char> chunk(std::size_t{1} << 20);
    std::uint64_t at = 0;
    while (at < size) {
        const std::size_t got =
            read(at, chunk.data(),
                 static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - at)));
        if (got == 0 || !content.Feed(chunk.data(), got)) {
            return false;
        }
        at += got;
    }
    return content.Ours();
}

} // namespace

LeftoverVerdict ExamineLeftover(const FoundFile& found, const ReadAt& read,
                                std::chrono::system_clock::time_point now) {
    const LeftoverVerdict theirs{false, "not a file of ours"};
    if (!found.regular || found.links != 1 || !found.ownedByUs || found.size > LargestFile() ||
        !ContentIsOurs(found.size, read)) {
        return theirs;
    }
    if (now - found.modified < kLeftoverAge) {
        const long long seconds = std::max<long long>(
            std::chrono::round<std::chrono::seconds>(now - found.modified).count(), 0);
        return {false,
                "a file left by a run that ended " + std::to_string(seconds) +
                    (seconds == 1 ? " second" : " seconds") +
                    " ago, or in use by another copy; it is removed once it is a minute old"};
    }
    return {true, {}};
}

} // namespace sarnoval
