#include "file_read_test.h"

#include "figures.h"
#include "file_io.h"
#include "resource.h"
#include "test_state.h"

#include <string>
#include <vector>

namespace sarnoval {

void FileReadTest() {
    g_bytesDone.store(0);
    // The path is used whole: a cut path would open some other file.
    const std::string path = g_targetWindow.load()->GetDlgItemText(IDC_FILE_PATH, kWholeText);

    std::string line;
    bool stopped = false;
    File file = File::Open(std::filesystem::path(path), File::Mode::Read);
    if (!file) {
        line = FormatFileError(path);
    } else {
        std::vector<char> block(kFileBlockBytes);
        file.DropCache();
        bool failed = false;
        const std::uint64_t t0 = MillisecondClock();
        for (;;) {
            if (StopRequested()) {
                stopped = true;
                break;
            }
            const std::size_t got = file.ReadFull(block.data(), block.size(), failed);
            g_bytesDone.fetch_add(got);
            if (failed || got < block.size()) {
                break;
            }
        }
        const std::uint64_t t1 = MillisecondClock();
        line = failed ? FormatFileError(path) : FormatFileResult(path, g_bytesDone.load(), t1 - t0);
    }

    if (!stopped) {
        g_resultList.load()->AddString(line);
    }
    file.Close();
    g_bytesDone.store(0);
}

} // namespace sarnoval
