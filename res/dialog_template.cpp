#include "res/dialog_template.h"

#include <array>

namespace sarnoval {

namespace {

constexpr unsigned kOption = kFlat | kPushLike; // radio drawn as a flat push button

constexpr std::array<ControlTemplate, 20> kMainControls = {{
    {IDC_TEST, "IDC_TEST", ControlKind::DefPushButton, kTabStop, "Test", 1, 2, 40, 11},
    {IDC_CLEAR_TEXT, "IDC_CLEAR_TEXT", ControlKind::PushButton, kTabStop, "Clear Text", 43, 2, 40,
     11},
    {IDC_KB_COUNT, "IDC_KB_COUNT", ControlKind::Edit,
     kReadOnly | kNumber | kAutoHScroll | kBorder | kTabStop, "", 155, 2, 69, 12},
    {IDC_WEBSITE, "IDC_WEBSITE", ControlKind::PushButton, kTabStop | kClientEdge,
     "Visit Company Website", 238, 2, 87, 16},
    {IDC_EMAIL, "IDC_EMAIL", ControlKind::PushButton, kTabStop | kClientEdge, "Email Quenvo", 327,
     2, 87, 16},
    {IDC_HELP_BUTTON, "IDC_HELP_BUTTON", ControlKind::PushButton, kTabStop, "¿Help?", 421, 2, 45,
     14},
    {IDC_MODE_FILE, "IDC_MODE_FILE", ControlKind::RadioButton, kOption | kGroup, "A chosen file", 8,
     27, 50, 10},
    {IDC_MODE_DRIVE, "IDC_MODE_DRIVE", ControlKind::RadioButton, kOption, "A drive", 66, 27, 38,
     10},
    {IDC_SIZE_1MB, "IDC_SIZE_1MB", ControlKind::RadioButton, kOption | kGroup, "1 MB", 117, 27, 33,
     10},
    {IDC_SIZE_5MB, "IDC_SIZE_5MB", ControlKind::RadioButton, kOption, "5 MB", 154, 27, 33, 10},
    {IDC_SIZE_20MB, "IDC_SIZE_20MB", ControlKind::RadioButton, kOption, "20 MB", 191, 27, 37, 10},
    {IDC_SIZE_100MB, "IDC_SIZE_100MB", ControlKind::RadioButton, kOption, "100 MB", 232, 27, 41,
     10},
    {IDC_FILE_PATH, "IDC_FILE_PATH", ControlKind::Edit,
     kDisabled | kAutoHScroll | kBorder | kTabStop, "", 0, 43, 471, 12},
    {IDC_RESULTS, "IDC_RESULTS", ControlKind::ListBox,
     kNoSelection | kNotify | kNoIntegralHeight | kVScroll | kHScroll | kBorder | kTabStop |
         kModalFrame,
     "", 0, 65, 472, 136},
    {IDC_PROGRESS, "IDC_PROGRESS", ControlKind::Progress, kSmooth | kBorder, "Progress1", 0, 58,
     471, 6},
    {IDC_STATIC, "IDC_STATIC", ControlKind::Static, kLeft | kGroup, "KB Read / Written:", 91, 2, 62,
     8},
    {IDC_STATIC, "IDC_STATIC", ControlKind::GroupBox, 0, "What to test", 3, 18, 106, 23},
    {IDC_STATIC, "IDC_STATIC", ControlKind::GroupBox, 0, "\"A drive\" - Drive and File settings",
     113, 18, 244, 23},
    {IDC_DRIVE_LETTER, "IDC_DRIVE_LETTER", ControlKind::Edit,
     kCentre | kUpperCase | kBorder | kTabStop, "", 344, 25, 10, 12},
    {IDC_STATIC, "IDC_STATIC", ControlKind::Static, kLeft | kGroup, "Drive Letter to test:", 282,
     27, 61, 8},
}};

} // namespace

const DialogTemplate kMainDialog = {
    IDD_MAIN, "Sarnoval V1.1", "MS Sans Serif", 8, 472, 201, kMainControls,
};

const ControlTemplate* FindControl(int id) {
    if (id == IDC_STATIC) {
        return nullptr;
    }
    for (const ControlTemplate& control : kMainDialog.controls) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

} // namespace sarnoval
