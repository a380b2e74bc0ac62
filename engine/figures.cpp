#include "engine/figures.h"

#include <chrono>

namespace sarnoval {

std::uint64_t MillisecondClock() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string ElidePath(std::string_view path) {
    constexpr std::size_t kLongest = 63;
    constexpr std::size_t kTail = 59;
    if (path.size() <= kLongest) {
        return std::string(path);
    }
    // Cut by bytes, keeping the file name at the end.
    std::string shown = "...";
    shown += path.substr(path.size() - kTail);
    return shown;
}

std::string FormatFileResult(std::string_view path, std::uint64_t bytes, std::uint64_t ms) {
    std::string line = ElidePath(path);
    line += ", " + std::to_string(SpeedMultiple(bytes, ms)) + "x Read (" +
            std::to_string(KbPerMs(bytes, ms)) + " MB/sec), " + std::to_string(bytes >> 10) +
            " KB read in " + std::to_string(ms / 1000) + " Seconds.";
    return line;
}

std::string FormatFileError(std::string_view path) {
    std::string line(path);
    line += " - ERROR Reading File.";
    return line;
}

std::string FormatDriveResult(std::string_view driveName, const DriveFigures& f) {
    const std::uint64_t seconds = f.readMsA / 1000 + f.writeMs / 1000;
    std::string line(driveName);
    line += ", " + std::to_string(SpeedMultiple(f.sizeBytes, f.readMsC)) + "x Read (" +
            std::to_string(KbPerMs(f.sizeBytes, f.readMsB)) + " MB/sec), " +
            std::to_string(SpeedMultiple(f.sizeBytes, f.writeMs)) + "x Write (" +
            std::to_string(KbPerMs(f.sizeBytes, f.writeMs)) + " MB/sec), " +
            std::to_string(f.sizeBytes >> 10) + " KB read and written in " +
            std::to_string(seconds) + " Seconds.";
    return line;
}

} // namespace sarnoval
