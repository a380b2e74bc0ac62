// Resource and control ids of the main dialog. The numbers are fixed: the
// engine addresses controls by them and the template table is keyed on them.
#pragma once

inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAINFRAME = 128;

inline constexpr int IDC_PROGRESS = 1001;
inline constexpr int IDC_CLEAR_TEXT = 1002;
inline constexpr int IDC_TEST = 1003;
inline constexpr int IDC_RESULTS = 1030;
inline constexpr int IDC_FILE_PATH = 1034;
inline constexpr int IDC_KB_COUNT = 1035;
inline constexpr int IDC_WEBSITE = 1036;
inline constexpr int IDC_HELP_BUTTON = 1037;
inline constexpr int IDC_EMAIL = 1038;
inline constexpr int IDC_MODE_FILE = 1039;
inline constexpr int IDC_MODE_DRIVE = 1040;
inline constexpr int IDC_SIZE_1MB = 1041;
inline constexpr int IDC_SIZE_5MB = 1042;
inline constexpr int IDC_SIZE_20MB = 1043;
inline constexpr int IDC_SIZE_100MB = 1044;
inline constexpr int IDC_DRIVE_LETTER = 1045;
// Static texts and group boxes have no id of their own.
inline constexpr int IDC_STATIC = -1;
