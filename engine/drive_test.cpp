#include "drive_test.h"

#include "drive_paths.h"
#include "figures.h"
#include "file_io.h"
#include "resource.h"
#include "test_state.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace sarnoval {

namespace fs = std::filesystem;

namespace {

// Dirty data is handed to the drive every so often, so that a stop never waits
// long for the final flush; often enough for that, seldom enough that the
// filesystem still lays the file out in large pieces.
constexpr std::uint64_t kWritebackBytes = 40 * kDriveBlockBytes;

TargetWindow& Window() {
    return *g_targetWindow.load();
}

std::string DriveText() {
    return Window().GetDlgItemText(IDC_DRIVE_LETTER, kDriveTextCapacity);
}

// The drive's root joined with name, or empty when the text names no drive.
fs::path TempPath(const char* name) {
    const auto root = DriveRoot(DriveText());
    return root ? *root / name : fs::path();
}

void Remove(const fs::path& path) {
    if (!path.empty()) {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
}

// No message once the program is closing: nobody is there to dismiss it.
void Tell(const char* text) {
    if (!StopRequested()) {
        Window().MessageBox(text);
    }
}

} // namespace

std::vector<unsigned char> MakeWriteBlock() {
    std::vector<unsigned char> block(kDriveBlockBytes);
    std::uint64_t state = 0x9E3779B97F4A7C15ull; // xorshift64: fixed seed, fixed bytes
    for (unsigned char& byte : block) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<unsigned char>(state >> 56);
    }
    return block;
}

void DriveWriteReadTest() {
    std::uint64_t size = 0;
    g_bytesDone.store(0);
    for (const SizeOption& option : kSizeOptions) {
        if (Window().IsDlgButtonChecked(option.id)) {
            size = option.bytes;
        }
    }

    const fs::path written = TempPath(kFirstTempName);
    File out = written.empty() ? File() : File::Open(written, File::Mode::NewWrite);
    if (!out) {
        Tell(kOpenWriteFailed);
        return;
    }

    const std::vector<unsigned char> block = MakeWriteBlock();
    bool ok = true;
    const std::uint64_t t0 = MillisecondClock();
    while (g_bytesDone.load() < size) {
        if (StopRequested() || !out.WriteAll(block.data(), block.size())) {
            ok = false;
            break;
        }
        g_bytesDone.fetch_add(kDriveBlockBytes);
        if (g_bytesDone.load() % kWritebackBytes == 0) {
            out.StartWriteback();
        }
    }
    // The interval ends when the data is on the drive, not in the cache.
    ok = ok && out.Sync();
    const std::uint64_t t1 = MillisecondClock();
    if (ok) {
        out.DropCache();
    }
    ok = out.Close() && ok;
    if (!ok || StopRequested()) {
        Remove(written);
        if (!StopRequested()) {
            Tell(kWriteFailed);
        }
        return;
    }

    // The field is read afresh: a letter changed meanwhile moves the rename and the read.
    const fs::path first = TempPath(kFirstTempName);
    const fs::path second = TempPath(kSecondTempName);
    // Where the file written above is now; it is removed on every way out.
    fs::path ours = written;
    if (!first.empty() && !second.empty()) {
        std::error_code error;
        fs::rename(first, second, error); // replaces a stale second file
        if (!error && first == written) {
            ours = second;
        }
    }

    const std::uint64_t t2 = MillisecondClock();
    File in = second.empty() ? File() : File::Open(second, File::Mode::Read);
    if (!in) {
        Tell(kOpenReadFailed);
        Remove(ours);
        return;
    }

    std::vector<unsigned char> readBlock(kDriveBlockBytes);
    while (g_bytesDone.load() != 0) {
        bool failed = false;
        if (StopRequested() ||
            in.ReadFull(readBlock.data(), readBlock.size(), failed) != readBlock.size() || failed) {
            ok = false;
            break;
        }
        g_bytesDone.fetch_sub(kDriveBlockBytes);
    }
    ok = in.Close() && ok;
    Remove(second);
    Remove(ours);
    if (!ok) {
        Tell(kReadFailed);
        return;
    }

    const std::string driveName = DriveName(DriveText());
    DriveFigures figures;
    figures.sizeBytes = size;
    figures.writeMs = t1 - t0;
    figures.readMsA = MillisecondClock() - t2;
    figures.readMsB = MillisecondClock() - t2;
    figures.readMsC = MillisecondClock() - t2;
    const std::string line = FormatDriveResult(driveName, figures);
    if (!StopRequested()) {
        g_resultList.load()->AddString(line);
    }
}

} // namespace sarnoval
