#pragma once

#include <cstddef>

namespace sarnoval {

inline constexpr std::size_t kFileBlockBytes = 100000;

// Reads the file named in the path field from start to end and appends its
// result line, or the error line when it cannot be opened or read.
void FileReadTest();

class IoTrace;
// The same, telling trace of every file step and clock reading in order.
void FileReadTest(IoTrace* trace);

} // namespace sarnoval
