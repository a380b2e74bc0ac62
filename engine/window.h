// What the engine needs of the dialog, and nothing more. The tests call these
// from their own threads; implementations carry them to wherever the real
// controls live.
#pragma once

#include "engine/drive_paths.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <utility>

// <windows.h> renames MessageBox to MessageBoxA: the method keeps its one name.
#ifdef MessageBox
#undef MessageBox
#endif

namespace sarnoval {

// Capacity that asks for a control's whole text, uncut.
inline constexpr std::size_t kWholeText = std::numeric_limits<std::size_t>::max();

// What a failed test tells beyond its message: which file and why; for data
// read back wrong, where and how.
struct FailureDetail {
    FailureDetail() = default;
    FailureDetail(std::string sentence)
        : text(std::move(sentence)) {} // NOLINT: plain text converts
    FailureDetail(std::string sentence, std::uint64_t offset, const char* how)
        : text(std::move(sentence)), badOffset(offset), damage(how) {}

    std::string text; // a plain sentence, or nothing
    std::optional<std::uint64_t> badOffset;
    const char* damage = nullptr; // with badOffset: "bits", "moved", "stale", "zeros", "other"
};

class TargetWindow {
public:
    virtual ~TargetWindow() = default;

    // The control's text cut to capacity - 1 bytes (capacity 0 gives "").
    virtual std::string GetDlgItemText(int id, std::size_t capacity) = 0;
    virtual bool IsDlgButtonChecked(int id) = 0;
    // Shows the value as an unsigned decimal number.
    virtual void SetDlgItemInt(int id, std::uint64_t value) = 0;
    // Modal box with the application's name as caption, text as its message,
    // the detail's text below it, and one OK button; returns once it is
    // dismissed.
    virtual void MessageBox(const std::string& text, const FailureDetail& detail) = 0;
    // Where the drive letters lead: the folder each one stands for.
    virtual DriveMap DriveLetters() = 0;
};

// What a finished test measured, exactly as its line was worked out from it.
struct ResultFigures {
    std::uint64_t bytes = 0;   // moved: the drive test's size, or the bytes the file test read
    std::uint64_t writeMs = 0; // the drive test's write interval; 0 for the file test
    std::uint64_t readMs = 0;  // the read interval behind the line's read "MB/sec"
    bool direct = false;       // every transfer went past the system's cache
    // Where: the folder the drive test used (a stand-in's, where it took
    // one), or the file read.
    std::filesystem::path where;
};

class ResultList {
public:
    virtual ~ResultList() = default;
    // Appends one line at the end; the list is unsorted.
    virtual void AddString(const std::string& line) = 0;
    // A finished test's line with the figures behind it. A list that shows
    // only the line need not override this.
    virtual void AddResult(const std::string& line, const ResultFigures& /*figures*/) {
        AddString(line);
    }
};

// Cuts text to capacity - 1 bytes, as GetDlgItemText promises.
inline std::string CutToCapacity(std::string text, std::size_t capacity) {
    if (capacity == 0) {
        return {};
    }
    if (text.size() > capacity - 1) {
        text.resize(capacity - 1);
    }
    return text;
}

} // namespace sarnoval
