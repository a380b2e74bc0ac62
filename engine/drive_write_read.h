#pragma once

#include "res/resource.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sarnoval {

inline constexpr std::size_t kDriveBlockBytes = 200000;
inline constexpr std::size_t kDriveTextCapacity = 100;
inline constexpr const char* kFirstTempName = "SarnovalTemp.TMP";
inline constexpr const char* kSecondTempName = "SarnovalTemp2.TMP";

inline constexpr const char* kOpenWriteFailed =
    "Error testing drive, could not open file for writing.";
inline constexpr const char* kOpenReadFailed =
    "Error testing drive, could not open file for reading.";
inline constexpr const char* kWriteFailed = "Error testing drive, could not write the file.";
inline constexpr const char* kReadFailed = "Error testing drive, could not read the file.";
inline constexpr const char* kDataWrong =
    "Error testing drive, the data read back is not what was written.";

struct SizeOption {
    int id;
    std::uint64_t bytes;
};

// Asked in this order; a later checked option wins.
inline constexpr SizeOption kSizeOptions[] = {
    {IDC_SIZE_1MB, 1000000},
    {IDC_SIZE_5MB, 5000000},
    {IDC_SIZE_20MB, 20000000},
    {IDC_SIZE_100MB, 100000000},
};

// One write block of bytes that do not compress, the same on every run: what
// the versions before the checked read-back wrote over and over, still known
// for a leftover.
std::vector<unsigned char> MakeWriteBlock();

// Writes a temporary file of the chosen size in the root of the chosen drive,
// renames it, reads it back, deletes it and appends a line with both speeds.
// It touches no file but the one it created, and one copy of the program at
// a time tests a folder.
void DriveWriteReadTest();

// Whether the read-back compares what comes back with what was written (the
// default). Benchmarks turn this off to measure what the check costs.
void CheckReadBack(bool check);

class IoTrace;
// The same, telling trace of every file step and clock reading in order.
void DriveWriteReadTest(IoTrace* trace);
// The trace that the test started without one tells, as the dialog and the
// CLI start it; none by default. Benchmarks time those runs by it.
void TraceDriveTests(IoTrace* trace);

// Written data is handed to the drive a chunk at a time, and the chunk before
// is waited for, so no more than two chunks are ever in flight: the counter
// follows the drive rather than the cache, and a stop waits for one chunk at
// most. Large enough that the drive always has a chunk queued, small enough
// that a chunk takes under a second at 5 MB/s.
inline constexpr std::uint64_t kWriteBehindBytes = 20 * kDriveBlockBytes;

} // namespace sarnoval
