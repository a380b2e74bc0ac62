// What the platforms share of file access: the traced clock and moving files.
// The system calls are in file_io_posix.cpp and file_io_windows.cpp.
#include "engine/file_io.h"

#include "engine/figures.h"

#include <atomic>
#include <system_error>
#include <utility>

namespace sarnoval {

namespace {
std::atomic<bool> g_directAllowed{true};
} // namespace

void AllowDirectTransfers(bool allow) {
    g_directAllowed.store(allow);
}

bool DirectTransfersAllowed() {
    return g_directAllowed.load();
}

std::string File::Why() const {
    return std::system_category().message(error_);
}

std::uint64_t ReadClock(IoTrace* trace) {
    if (trace) {
        trace->Step(IoStep::Clock);
    }
    return MillisecondClock();
}

File::File(File&& other) noexcept
    : bypass_(std::move(other.bypass_)), native_(std::exchange(other.native_, kNone)),
      id_(other.id_), mayBlock_(other.mayBlock_), refused_(other.refused_), taken_(other.taken_),
      error_(other.error_), trace_(other.trace_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        bypass_ = std::move(other.bypass_);
        native_ = std::exchange(other.native_, kNone);
        id_ = other.id_;
        mayBlock_ = other.mayBlock_;
        refused_ = other.refused_;
        taken_ = other.taken_;
        error_ = other.error_;
        trace_ = other.trace_;
    }
    return *this;
}

File::~File() {
    Close();
}

bool File::IsOpen() const {
    return native_ != kNone;
}

void File::Note(IoStep step) const {
    if (trace_) {
        trace_->Step(step);
    }
}

} // namespace sarnoval
