#pragma once

#include "resource.h"

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

// One write block of bytes that do not compress, the same on every run.
std::vector<unsigned char> MakeWriteBlock();

// Writes a temporary file of the chosen size in the root of the chosen drive,
// renames it, reads it back, deletes it and appends a line with both speeds.
void DriveWriteReadTest();

} // namespace sarnoval
