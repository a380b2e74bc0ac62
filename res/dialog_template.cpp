#include "res/dialog_template.h"

#include <QtGlobal>

#include <array>

namespace sarnoval {

namespace {

constexpr unsigned kOption = kFlat; // radio drawn as a flat push button

// Captions are the English texts; marked so that lupdate finds them, and
// translated where the dialog makes its controls.
constexpr std::array<ControlTemplate, 20> kMainControls = {{
    {IDC_TEST, "IDC_TEST", ControlKind::DefPushButton, kTabStop,
     //: Button that starts the chosen test
     QT_TRANSLATE_NOOP("DialogTemplate", "Test"), 1, 2, 40, 11},
    {IDC_CLEAR_TEXT, "IDC_CLEAR_TEXT", ControlKind::PushButton, kTabStop,
     //: Button that empties the list of results
     QT_TRANSLATE_NOOP("DialogTemplate", "Clear Text"), 43, 2, 40, 11},
    {IDC_KB_COUNT, "IDC_KB_COUNT", ControlKind::Edit,
     kReadOnly | kNumber | kAutoHScroll | kBorder | kTabStop, "", 155, 2, 69, 12},
    {IDC_WEBSITE, "IDC_WEBSITE", ControlKind::PushButton, kTabStop | kClientEdge,
     //: Opens the maker's web site in the browser
     QT_TRANSLATE_NOOP("DialogTemplate", "Visit Company Website"), 238, 2, 87, 16},
    {IDC_EMAIL, "IDC_EMAIL", ControlKind::PushButton, kTabStop | kClientEdge,
     //: Writes an email to the maker; Quenvo is the company's name
     QT_TRANSLATE_NOOP("DialogTemplate", "Email Quenvo"), 327, 2, 87, 16},
    {IDC_HELP_BUTTON, "IDC_HELP_BUTTON", ControlKind::PushButton, kTabStop,
     //: Shows how to use the program; the inverted question mark is playful
     QT_TRANSLATE_NOOP("DialogTemplate", "¿Help?"), 421, 2, 45, 14},
    {IDC_MODE_FILE, "IDC_MODE_FILE", ControlKind::RadioButton, kOption | kGroup,
     //: What to test: reading a file the user picks. The help text quotes it.
     QT_TRANSLATE_NOOP("DialogTemplate", "A chosen file"), 8, 27, 50, 10},
    {IDC_MODE_DRIVE, "IDC_MODE_DRIVE", ControlKind::RadioButton, kOption,
     //: What to test: writing and reading back a file on a drive. The help
     //: text and the settings' frame quote it.
     QT_TRANSLATE_NOOP("DialogTemplate", "A drive"), 66, 27, 38, 10},
    {IDC_SIZE_1MB, "IDC_SIZE_1MB", ControlKind::RadioButton, kOption | kGroup,
     //: Size of the file that the drive test writes, in megabytes
     QT_TRANSLATE_NOOP("DialogTemplate", "1 MB"), 117, 27, 33, 10},
    {IDC_SIZE_5MB, "IDC_SIZE_5MB", ControlKind::RadioButton, kOption,
     //: Size of the file that the drive test writes, in megabytes
     QT_TRANSLATE_NOOP("DialogTemplate", "5 MB"), 154, 27, 33, 10},
    {IDC_SIZE_20MB, "IDC_SIZE_20MB", ControlKind::RadioButton, kOption,
     //: Size of the file that the drive test writes, in megabytes
     QT_TRANSLATE_NOOP("DialogTemplate", "20 MB"), 191, 27, 37, 10},
    {IDC_SIZE_100MB, "IDC_SIZE_100MB", ControlKind::RadioButton, kOption,
     //: Size of the file that the drive test writes, in megabytes
     QT_TRANSLATE_NOOP("DialogTemplate", "100 MB"), 232, 27, 41, 10},
    {IDC_FILE_PATH, "IDC_FILE_PATH", ControlKind::Edit,
     kDisabled | kAutoHScroll | kBorder | kTabStop, "", 0, 43, 471, 12},
    {IDC_RESULTS, "IDC_RESULTS", ControlKind::ListBox, kTabStop, "", 0, 65, 472, 136},
    {IDC_PROGRESS, "IDC_PROGRESS", ControlKind::Progress, 0, "Progress1", 0, 58, 471, 6},
    {IDC_STATIC, "IDC_STATIC", ControlKind::Static, 0,
     //: Label beside the count of kilobytes the running test has moved
     QT_TRANSLATE_NOOP("DialogTemplate", "KB Read / Written:"), 91, 2, 62, 8},
    {IDC_STATIC, "IDC_STATIC", ControlKind::GroupBox, 0,
     //: Frame around the two kinds of test
     QT_TRANSLATE_NOOP("DialogTemplate", "What to test"), 3, 18, 106, 23},
    {IDC_STATIC, "IDC_STATIC", ControlKind::GroupBox, 0,
     //: Frame around the file size and the drive letter, which only the
     //: "A drive" test uses; quotes that option's caption
     QT_TRANSLATE_NOOP("DialogTemplate", "\"A drive\" - Drive and File settings"), 113, 18, 244,
     23},
    {IDC_DRIVE_LETTER, "IDC_DRIVE_LETTER", ControlKind::Edit,
     kCentre | kUpperCase | kBorder | kTabStop, "", 344, 25, 10, 12},
    {IDC_STATIC, "IDC_STATIC", ControlKind::Static, 0,
     //: Label beside the one-letter field that names the drive to test
     QT_TRANSLATE_NOOP("DialogTemplate", "Drive Letter to test:"), 282, 27, 61, 8},
}};

} // namespace

const DialogTemplate kMainDialog = {
    IDD_MAIN, "Sarnoval V1.1", "MS Sans Serif", 8, 472, 201, kMainControls,
};

} // namespace sarnoval
