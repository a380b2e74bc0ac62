// When a file at one of the drive test's names is a leftover of our own: the
// one rule every platform uses before it deletes anything there.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

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

// How much of a found file's start to read for IsOwnLeftover.
std::size_t LeftoverHeadBytes(std::uint64_t size);

// Only we write such a file: a regular file with one name, ours, a whole
// number of write blocks and no more than the largest test, starting with the
// write pattern (head is its first LeftoverHeadBytes), and untouched for
// kLeftoverAge. Anything else may be somebody's data.
bool IsOwnLeftover(const FoundFile& found, std::span<const unsigned char> head,
                   std::chrono::system_clock::time_point now);

} // namespace sarnoval
