// One run of the engine's drive or file test on a headless window, timed from
// outside as well, with the process's peak memory while it ran.
#pragma once

#include "bench_common.h"

#include <cstdint>
#include <string>

namespace bench {

struct EngineRun {
    bool ok = false;
    std::string problem; // why ok is false
    std::string line;
    // The line's "MB/sec" figures (kilobytes per millisecond), as printed.
    std::uint64_t lineReadKbPerMs = 0;
    std::uint64_t lineWriteKbPerMs = 0; // drive test only
    std::uint64_t lineKb = 0;
    // Drive test only: the figures the engine built its line from, before the
    // line's "MB/sec" truncated them. Read intervals are Rb, the "MB/sec" one.
    std::uint64_t engineBytes = 0;
    std::uint64_t engineWriteMs = 0;
    std::uint64_t engineReadMs = 0;
    // Seconds between the window calls that bracket each phase (drive test:
    // the drive-text reads around writing and around reading back; file test:
    // the path read to the line's arrival). They include open, close, cache
    // eviction and deletes, so they are a little longer than the engine's own.
    double outsideWriteSec = 0;
    double outsideReadSec = 0;
    // Resident memory: before the run, and the peak while it ran (KiB).
    std::uint64_t rssBeforeKiB = 0;
    std::uint64_t rssPeakKiB = 0;
};

// Runs the drive test with drive C mapped to folder; sizeId is one of IDC_SIZE_*.
EngineRun RunDriveTest(const fs::path& folder, int sizeId, std::uint64_t expectedBytes);
// Runs the file test on path.
EngineRun RunFileTest(const fs::path& path, std::uint64_t expectedBytes);

// The line's "MB/sec" (KiB per ms) as decimal MB/s: 1 KiB/ms = 1.024 MB/s.
inline double KbPerMsToMBps(std::uint64_t kbPerMs) {
    return static_cast<double>(kbPerMs) * 1.024;
}

// Decimal MB/s from a byte count and whole milliseconds (infinite for 0 ms).
inline double MBps(std::uint64_t bytes, std::uint64_t ms) {
    return static_cast<double>(bytes) / 1000.0 / static_cast<double>(ms);
}

} // namespace bench
