#include "tests/support/headless_window.h"

namespace sarnoval {

void HeadlessWindow::SetText(int id, std::string text) {
    std::lock_guard lock(mutex_);
    texts_[id] = std::move(text);
}

void HeadlessWindow::SetTextSource(TextSource source) {
    std::lock_guard lock(mutex_);
    source_ = std::move(source);
}

void HeadlessWindow::SetChecked(int id, bool checked) {
    std::lock_guard lock(mutex_);
    if (checked) {
        checked_.insert(id);
    } else {
        checked_.erase(id);
    }
}

void HeadlessWindow::SetDriveLetters(DriveMap map) {
    std::lock_guard lock(mutex_);
    letters_ = std::move(map);
}

DriveMap HeadlessWindow::DriveLetters() {
    std::lock_guard lock(mutex_);
    return letters_;
}

void HeadlessWindow::SetMessageBoxHook(std::function<void(const std::string&)> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

std::string HeadlessWindow::GetDlgItemText(int id, std::size_t capacity) {
    std::lock_guard lock(mutex_);
    const int index = reads_[id]++;
    std::string text = source_ ? source_(id, index) : texts_[id];
    return CutToCapacity(std::move(text), capacity);
}

bool HeadlessWindow::IsDlgButtonChecked(int id) {
    std::lock_guard lock(mutex_);
    return checked_.count(id) != 0;
}

void HeadlessWindow::SetDlgItemInt(int id, std::uint64_t value) {
    std::lock_guard lock(mutex_);
    ++sets_[id];
    auto& values = shown_[id];
    if (values.empty() || values.back() != value) {
        values.push_back(value);
    }
}

void HeadlessWindow::MessageBox(const std::string& text, const FailureDetail& detail) {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
        details_.push_back(detail);
        hook = hook_;
    }
    changed_.notify_all();
    if (hook) {
        hook(text);
    }
}

void HeadlessWindow::AddString(const std::string& line) {
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    changed_.notify_all();
}

void HeadlessWindow::AddResult(const std::string& line, const ResultFigures& figures) {
    {
        std::lock_guard lock(mutex_);
        figures_.push_back(figures);
    }
    AddString(line);
}

std::vector<ResultFigures> HeadlessWindow::Figures() const {
    std::lock_guard lock(mutex_);
    return figures_;
}

std::vector<std::string> HeadlessWindow::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> HeadlessWindow::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<FailureDetail> HeadlessWindow::Details() const {
    std::lock_guard lock(mutex_);
    return details_;
}

std::vector<std::uint64_t> HeadlessWindow::ShownValues(int id) const {
    std::lock_guard lock(mutex_);
    const auto found = shown_.find(id);
    return found == shown_.end() ? std::vector<std::uint64_t>{} : found->second;
}

int HeadlessWindow::TextReads(int id) const {
    std::lock_guard lock(mutex_);
    const auto found = reads_.find(id);
    return found == reads_.end() ? 0 : found->second;
}

int HeadlessWindow::SetCalls(int id) const {
    std::lock_guard lock(mutex_);
    const auto found = sets_.find(id);
    return found == sets_.end() ? 0 : found->second;
}

bool HeadlessWindow::WaitForReports(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&] { return lines_.size() + messages_.size() >= count; });
}

} // namespace sarnoval
