// How much one direct transfer moves. Large transfers, one at a time, are
// what a fast drive needs; small ones keep the counter climbing and a stop
// prompt on a slow drive, since a stop waits for the transfer under way.
#pragma once

#include <chrono>
#include <cstddef>

namespace sarnoval {

class ChunkPace {
public:
    // Small enough that a stop waits no more than 1.3 s at 200 kB/s.
    static constexpr std::size_t kFirstBytes = 256u << 10;
    static constexpr std::size_t kLeastBytes = 256u << 10;
    static constexpr std::size_t kMostBytes = 8u << 20;
    // A chunk that takes less than kQuick doubles the next, one that takes
    // more than kSlow halves it: at 1 MB/s a chunk takes a quarter of a
    // second, the first one included.
    static constexpr std::chrono::milliseconds kQuick{60};
    static constexpr std::chrono::milliseconds kSlow{250};

    std::size_t Bytes() const { return bytes_; }

    // A transfer of bytes took took; a shorter one than Bytes() counts as
    // what a whole chunk would have taken at its pace.
    void Took(std::size_t bytes, std::chrono::steady_clock::duration took) {
        if (bytes == 0) {
            return;
        }
        const auto whole = std::chrono::duration<double>(took) *
                           (static_cast<double>(bytes_) / static_cast<double>(bytes));
        if (whole < kQuick && bytes_ < kMostBytes) {
            bytes_ *= 2;
        } else if (whole > kSlow && bytes_ > kLeastBytes) {
            bytes_ /= 2;
        }
    }

private:
    std::size_t bytes_ = kFirstBytes;
};

} // namespace sarnoval
