#include "engine/file_read.h"

#include "engine/figures.h"
#include "engine/file_io.h"
#include "engine/test_state.h"
#include "res/resource.h"

#include <optional>
#include <string>
#include <vector>

namespace sarnoval {

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
        std::vector<char> block(kFileBlockBytes);
        // Evicted first, so the drive is measured and not an earlier read's cache.
        file.DropCache();
        bool failed = false;
        const std::uint64_t t0 = ReadClock(trace);
        for (;;) {
            // A pipe or device may hold a read until a stop: what it gave is no result.
            const std::size_t got =
                file.ReadFull(block.data(), block.size(), failed, StopRequested);
            g_bytesDone.fetch_add(got);
            if (StopRequested()) {
                stopped = true;
                break;
            }
            if (failed || got < block.size()) {
                break;
            }
        }
        const std::uint64_t t1 = ReadClock(trace);
        line = failed ? FormatFileError(path) : FormatFileResult(path, g_bytesDone.load(), t1 - t0);
        if (!failed) {
            figures = ResultFigures{g_bytesDone.load(), 0, t1 - t0};
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
