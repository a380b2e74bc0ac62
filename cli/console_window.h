// The engine's window and results list behind a console: the controls hold
// what the command line asked for, and what the test reports is kept for the
// main thread to print, so only one thread ever writes to the terminal.
#pragma once

#include "engine/window.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace sarnoval::cli {

// What a test ended with: its line and figures, or a failure's text.
struct Report {
    std::string text;
    std::optional<ResultFigures> figures; // none when the test failed
    FailureDetail detail;                 // a failure's
};

class ConsoleWindow final : public TargetWindow, public ResultList {
public:
    // wake is called from the test's thread once a report is in.
    explicit ConsoleWindow(std::function<void()> wake) : wake_(std::move(wake)) {}

    void SetText(int id, std::string text);
    void SetChecked(int id);
    void SetDriveLetters(DriveMap map);
    // The test's report, once: the first it gave.
    std::optional<Report> TakeReport();

    std::string GetDlgItemText(int id, std::size_t capacity) override;
    bool IsDlgButtonChecked(int id) override;
    void SetDlgItemInt(int, std::uint64_t) override {} // progress reads the count itself
    void MessageBox(const std::string& text, const FailureDetail& detail) override;
    void AddString(const std::string& line) override;
    void AddResult(const std::string& line, const ResultFigures& figures) override;
    DriveMap DriveLetters() override;

private:
    void Keep(Report report);

    std::function<void()> wake_;
    std::mutex mutex_;
    std::map<int, std::string> texts_;
    std::set<int> checked_;
    DriveMap letters_;
    std::optional<Report> report_;
};

} // namespace sarnoval::cli
