// A window without a screen, for tests and benchmarks: it answers from values
// it was given and records everything it was asked to show.
#pragma once

#include "engine/window.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace sarnoval {

class HeadlessWindow final : public TargetWindow, public ResultList {
public:
    // Gives a control's text; the n-th read of that control (from 0) may differ.
    using TextSource = std::function<std::string(int id, int readIndex)>;

    void SetText(int id, std::string text);
    void SetTextSource(TextSource source);
    void SetChecked(int id, bool checked);
    // No letter leads anywhere until given; on Windows an empty map would be
    // the real drives, so a drive test always gives one.
    void SetDriveLetters(DriveMap map);
    // Runs on every MessageBox, on the caller's thread, before it returns.
    void SetMessageBoxHook(std::function<void(const std::string&)> hook);

    std::string GetDlgItemText(int id, std::size_t capacity) override;
    bool IsDlgButtonChecked(int id) override;
    void SetDlgItemInt(int id, std::uint64_t value) override;
    void MessageBox(const std::string& text, const FailureDetail& detail) override;
    void AddString(const std::string& line) override;
    void AddResult(const std::string& line, const ResultFigures& figures) override;
    DriveMap DriveLetters() override;

    std::vector<std::string> Lines() const;
    // The figures behind each result line given with them.
    std::vector<ResultFigures> Figures() const;
    std::vector<std::string> Messages() const;
    // The detail given with each message.
    std::vector<FailureDetail> Details() const;
    // Each value shown in a control, in order; a repeat of the last is not recorded again.
    std::vector<std::uint64_t> ShownValues(int id) const;
    int TextReads(int id) const;
    // How often SetDlgItemInt was called for the control, repeats included.
    int SetCalls(int id) const;

    // Waits until lines + messages reach count; false on timeout.
    bool WaitForReports(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<int, std::string> texts_;
    TextSource source_;
    std::set<int> checked_;
    DriveMap letters_;
    std::function<void(const std::string&)> hook_;
    std::map<int, int> reads_;
    std::map<int, std::vector<std::uint64_t>> shown_;
    std::map<int, int> sets_;
    std::vector<std::string> lines_;
    std::vector<ResultFigures> figures_;
    std::vector<std::string> messages_;
    std::vector<FailureDetail> details_;
};

} // namespace sarnoval
