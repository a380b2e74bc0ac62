// A drive test fixture: drives C and D are folders of the scratch folder.
#pragma once

#include "engine/drive_write_read.h"
#include "engine_fixture.h"

#include <algorithm>
#include <fstream>

namespace sarnoval::testing {

class DriveTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        driveC_ = dir_ / "c";
        driveD_ = dir_ / "d";
        fs::create_directories(driveC_);
        fs::create_directories(driveD_);
        letters_ = {{'C', driveC_}, {'D', driveD_}, {'E', dir_ / "absent"}};
        window_.SetDriveLetters(letters_);
        window_.SetText(IDC_DRIVE_LETTER, "C");
    }

    void ChooseSize(int id) { ChooseSize(window_, id); }

    // Sets window up as window_ is, for a drive test of drive C at size id.
    void ForDriveC(HeadlessWindow& window, int id) const {
        window.SetDriveLetters(letters_);
        window.SetText(IDC_DRIVE_LETTER, "C");
        ChooseSize(window, id);
    }

    static void ChooseSize(HeadlessWindow& window, int id) {
        for (const SizeOption& option : kSizeOptions) {
            window.SetChecked(option.id, option.id == id);
        }
    }

    // A file like one a killed run leaves: the write pattern over size bytes,
    // last modified age ago.
    static void PlantLeftover(const fs::path& at, std::uint64_t size, std::chrono::seconds age) {
        const std::vector<unsigned char> block = MakeWriteBlock();
        std::ofstream out(at, std::ios::binary);
        for (std::uint64_t done = 0; done < size; done += block.size()) {
            out.write(
                reinterpret_cast<const char*>(block.data()),
                static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), size - done)));
        }
        out.close();
        fs::last_write_time(at, fs::file_time_type::clock::now() - age);
    }

    void ExpectNothingLeft() {
        EXPECT_TRUE(Entries(driveC_).empty());
        EXPECT_TRUE(Entries(driveD_).empty());
        EXPECT_FALSE(fs::exists(dir_ / "absent"));
    }

    fs::path driveC_;
    fs::path driveD_;
    DriveMap letters_;
};

} // namespace sarnoval::testing
