#include "engine/file_read.h"

#include "engine/chunk_pace.h"
#include "engine/figures.h"
#include "engine/file_io.h"
#include "engine/test_state.h"
#include "res/resource.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace sarnoval {

namespace {

// Reads the file through the cache in blocks; a pipe or device may hold a
// read until a stop. Returns false when stopped.
bool ReadThroughCache(File& file, bool& failed) {
    std::vector<char> block(kFileBlockBytes);
    for (;;) {
        const std::size_t got = file.ReadFull(block.data(), block.size(), failed, StopRequested);
        g_bytesDone.fetch_add(got);
        if (StopRequested()) {
            return false;
        }
        if (failed || got < block.size()) {
            return true;
        }
    }
}

// Reads the file straight from the drive into into, in chunks that follow
// its pace. Returns false when stopped.
bool ReadDirect(File& file, unsigned char* into, bool& failed) {
    ChunkPace pace;
    for (;;) {
        const std::size_t length = pace.Bytes();
        const auto start = std::chrono::steady_clock::now();
        const std::size_t got = file.ReadCount(into, length, failed);
        pace.Took(got, std::chrono::steady_clock::now() - start);
        g_bytesDone.fetch_add(got);
        if (StopRequested()) {
            return false;
        }
        if (failed || got < length) {
            return true;
        }
    }
}

} // namespace

void FileReadTest() {
    FileReadTest(nullptr);
}

void FileReadTest(IoTrace* trace) {
    g_bytesDone.store(0);
    // The path is used whole: a cut path would open some other file.
    const std::string path = g_targetWindow.load()->GetDlgItemText(IDC_FILE_PATH, kWholeText);

    std::string line;
    std::optional<ResultFigures> figures;
    bool stopped = false;
    File file = File::Open(PathFromText(path), File::Mode::Read, trace);
    if (!file) {
        line = FormatFileError(path);
    } else {
        // Direct where the file system takes it; then nothing is read
        // through the cache, and the memory is ready before the clock starts.
        TransferBuffer chunk;
        if (file.StartDirect() != 0) {
            chunk = AllocateTransferBuffer(ChunkPace::kMostBytes);
            if (!chunk) {
                file.EndDirect();
            }
        }
        // Evicted first, so the drive is measured and not an earlier read's cache.
        file.DropCache();
        bool failed = false;
        const std::uint64_t t0 = ReadClock(trace);
        stopped = chunk ? !ReadDirect(file, chunk.get(), failed) : !ReadThroughCache(file, failed);
        const std::uint64_t t1 = ReadClock(trace);
        line = failed ? FormatFileError(path) : FormatFileResult(path, g_bytesDone.load(), t1 - t0);
        if (!failed) {
            figures = ResultFigures{g_bytesDone.load(), 0, t1 - t0,
                                    chunk && file.ReadsBypassCache(), PathFromText(path)};
        }
    }

    if (!stopped) {
        ResultList& list = *g_resultList.load();
        figures ? list.AddResult(line, *figures) : list.AddString(line);
    }
    file.Close();
    g_bytesDone.store(0);
}

} // namespace sarnoval
