// Reads hand back every byte in order, whatever the block size, and on
// Windows bypass the cache through whole, aligned sectors (Wine does not
// enforce those rules; the engine checks them itself and fails a read that
// breaks them, so a fault shows here as a failed read).
#include "engine/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace sarnoval {
namespace {

namespace fs = std::filesystem;

TEST(FileReads, GiveEveryByteInOrderWhateverTheBlock) {
    std::random_device seed;
    const fs::path path = fs::temp_directory_path() / ("sarnoval-io-" + std::to_string(seed()));
    // Not a whole number of sectors or blocks: the tail is short.
    std::string written(1012345, '\0');
    std::minstd_rand bytes(7);
    for (char& byte : written) {
        byte = static_cast<char>(bytes());
    }
    std::ofstream(path, std::ios::binary) << written;

    for (const File::Mode mode : {File::Mode::Read, File::Mode::ReadBack}) {
        for (const std::size_t block : {std::size_t{200000}, std::size_t{100000}, std::size_t{4096},
                                        std::size_t{333333}, std::size_t{7}}) {
            File file = File::Open(path, mode);
            ASSERT_TRUE(file) << block;
#ifdef _WIN32
            EXPECT_TRUE(file.ReadsBypassCache()) << block;
#endif
            std::string read;
            std::string buffer(block, '\0');
            bool failed = false;
            std::size_t got = 0;
            do {
                got = file.ReadFull(buffer.data(), block, failed);
                read.append(buffer, 0, got);
            } while (got == block && !failed);
            EXPECT_FALSE(failed) << block;
            EXPECT_EQ(read.size(), written.size()) << block;
            EXPECT_TRUE(read == written) << block;
        }
    }
    fs::remove(path);
}

} // namespace
} // namespace sarnoval
