// Reads hand back every byte in order, whatever the block size, and on
// Windows bypass the cache through whole, aligned sectors (Wine does not
// enforce those rules; the engine checks them itself and fails a read that
// breaks them, so a fault shows here as a failed read). Files are told apart
// by their ids.
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

// Whether a file is ours decides whether it is read back or deleted: two names
// of one file match, another file with the same bytes does not, and an id the
// system did not give (number 0) matches none, not even another such id.
TEST(FileIds, MatchOnlyOneKnownFile) {
    std::random_device seed;
    const fs::path dir = fs::temp_directory_path() / ("sarnoval-ids-" + std::to_string(seed()));
    fs::create_directory(dir);
    std::ofstream(dir / "a") << "same";
    std::ofstream(dir / "b") << "same";
    fs::create_hard_link(dir / "a", dir / "link");
    const auto id = [&](const char* name) {
        return File::Open(dir / name, File::Mode::ReadBack).Id();
    };
    const struct {
        const char* what;
        FileId a, b;
        bool same;
    } cases[] = {
        {"two names of one file", id("a"), id("link"), true},
        {"another file", id("a"), id("b"), false},
        {"a 128-bit number", {7, 42, 9}, {7, 42, 9}, true},
        {"another upper half", {7, 42, 0}, {7, 42, 9}, false},
        {"another volume", {7, 42, 0}, {8, 42, 0}, false},
        {"unknown", {}, {}, false},
        {"unknown on one volume", {7, 0, 0}, {7, 0, 0}, false},
        {"unknown and known", {7, 0, 0}, {7, 42, 0}, false},
    };
    fs::remove_all(dir);
    for (const auto& c : cases) {
        EXPECT_EQ(SameFile(c.a, c.b), c.same) << c.what;
        EXPECT_EQ(SameFile(c.b, c.a), c.same) << c.what;
    }
}

} // namespace
} // namespace sarnoval
