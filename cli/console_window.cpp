#include "cli/console_window.h"

#include <utility>

namespace sarnoval::cli {

void ConsoleWindow::SetText(int id, std::string text) {
    std::lock_guard lock(mutex_);
    texts_[id] = std::move(text);
}

void ConsoleWindow::SetChecked(int id) {
    std::lock_guard lock(mutex_);
    checked_.insert(id);
}

void ConsoleWindow::SetDriveLetters(DriveMap map) {
    std::lock_guard lock(mutex_);
    letters_ = std::move(map);
}

std::optional<Report> ConsoleWindow::TakeReport() {
    std::lock_guard lock(mutex_);
    return std::exchange(report_, std::nullopt);
}

std::string ConsoleWindow::GetDlgItemText(int id, std::size_t capacity) {
    std::lock_guard lock(mutex_);
    return CutToCapacity(texts_[id], capacity);
}

bool ConsoleWindow::IsDlgButtonChecked(int id) {
    std::lock_guard lock(mutex_);
    return checked_.count(id) != 0;
}

DriveMap ConsoleWindow::DriveLetters() {
    std::lock_guard lock(mutex_);
    return letters_;
}

void ConsoleWindow::MessageBox(const std::string& text, const FailureDetail& detail) {
    Keep({text, std::nullopt, detail});
}

// Only the file test's error line comes without figures.
void ConsoleWindow::AddString(const std::string& line) {
    Keep({line, std::nullopt, {}});
}

void ConsoleWindow::AddResult(const std::string& line, const ResultFigures& figures) {
    Keep({line, figures, {}});
}

void ConsoleWindow::Keep(Report report) {
    {
        std::lock_guard lock(mutex_);
        if (report_) {
            return;
        }
        report_ = std::move(report);
    }
    wake_();
}

} // namespace sarnoval::cli
