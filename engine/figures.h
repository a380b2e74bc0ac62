// Elapsed time, speed figures and the wording of the result lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sarnoval {

// Milliseconds from a monotonic clock: setting the system time cannot move it,
// and at 64 bits an interval never wraps.
std::uint64_t MillisecondClock();

// Bytes per whole second plus one, in units of 150,000 bytes per second.
constexpr std::uint64_t SpeedMultiple(std::uint64_t bytes, std::uint64_t ms) {
    return bytes / (ms / 1000 + 1) / 150000;
}

// Kilobytes per millisecond plus one, shown as "MB/sec".
constexpr std::uint64_t KbPerMs(std::uint64_t bytes, std::uint64_t ms) {
    return (bytes >> 10) / (ms + 1);
}

// A path of up to 63 bytes whole, a longer one as "..." and its last 59 bytes.
std::string ElidePath(std::string_view path);

std::string FormatFileResult(std::string_view path, std::uint64_t bytes, std::uint64_t ms);
std::string FormatFileError(std::string_view path);

struct DriveFigures {
    std::uint64_t sizeBytes = 0;
    std::uint64_t writeMs = 0; // W
    std::uint64_t readMsA = 0; // Ra: total seconds
    std::uint64_t readMsB = 0; // Rb: read "MB/sec"
    std::uint64_t readMsC = 0; // Rc: read speed multiple
};

// driveName is shown as given, e.g. "C:\".
std::string FormatDriveResult(std::string_view driveName, const DriveFigures& f);

} // namespace sarnoval
