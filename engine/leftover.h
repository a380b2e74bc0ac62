// When a file at one of the drive test's names is a leftover of our own: the
// one rule every platform uses before it deletes anything there.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace sarnoval {

// What a file at one of the names shows of itself.
struct FoundFile {
    bool regular = false; // a regular file, not a link, folder or device
    std::uint64_t links = 0;
    bool ownedByUs = true; // where the system has owners to compare
    std::uint64_t size = 0;
    std::chrono::system_clock::time_point modified;
};

// A file nobody modified for this long may be a leftover. A copy of the
// program that is testing changes its file with every write, seconds apart
// at most, and while it reads back touches it every kTouchPeriod; so a file
// modified more recently may be another copy's, reaching the same folder
// through a second mount of a share, where the folder lock does not reach.
inline constexpr std::chrono::seconds kLeftoverAge{60};
inline constexpr std::chrono::seconds kTouchPeriod{10};

// Reads up to size bytes of the file at offset; how many came, 0 at its end
// or on a failure.
using ReadAt =
    std::function<std::size_t(std::uint64_t offset, unsigned char* into, std::size_t size)>;

// What to do with a file found at one of the names.
struct LeftoverVerdict {
    bool remove = false;
    std::string why; // when it stays: a plain sentence for the user
};

// Only we write such a file: a regular file with one name, ours, no larger
// than the largest test and one transfer, whose every byte is what a run of
// the test writes (a run cut anywhere included), and untouched for
// kLeftoverAge by now, the file system's own clock. Anything else may be
// somebody's data. The whole file is read before a verdict to remove it.
LeftoverVerdict ExamineLeftover(const FoundFile& found, const ReadAt& read,
                                std::chrono::system_clock::time_point now);

} // namespace sarnoval
