// A drive test fixture: drives C and D are folders of the scratch folder.
#pragma once

#include "engine/drive_write_read.h"
#include "engine_fixture.h"

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

    static void ChooseSize(HeadlessWindow& window, int id) {
        for (const SizeOption& option : kSizeOptions) {
            window.SetChecked(option.id, option.id == id);
        }
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
