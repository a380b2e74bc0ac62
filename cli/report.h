// The JSON objects a test and a series of tests print, one per line.
#pragma once

#include "cli/platform.h"
#include "engine/volume.h"
#include "engine/window.h"

#include <string>
#include <vector>

namespace sarnoval::cli {

struct Finished {
    const char* kind = "";      // "drive" or "file"
    const char* targetKey = ""; // what the target is called: "folder" or "file"
    bool writes = false;        // has write figures
    std::string line;           // as the engine built it, in the local encoding
    std::string target;         // the folder tested, or the file as given; UTF-8 where known
    ResultFigures figures;
    StorageFacts storage; // where the test ran
    std::string timeUtc;
};

// "2026-12-08T22:25:38Z"
std::string UtcNow();

std::string TestJson(const Finished& test);
// A failed test: its message, and the detail's sentence, first bad offset
// and damage where it has them.
std::string FailureJson(const Finished& test, const std::string& message,
                        const FailureDetail& detail);
// The medians of a series of the same test, as an object and as a line.
std::string SummaryJson(const Finished& last, const std::vector<ResultFigures>& runs);
std::string SummaryText(const Finished& last, const std::vector<ResultFigures>& runs);

} // namespace sarnoval::cli
