// What the command line needs of the system, one file per platform.
#pragma once

#include "engine/drive_paths.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace sarnoval::cli {

// The arguments after the program's name, as text in the code page the
// engine takes. On Windows they come from the UTF-16 command line, and a
// character that page lacks becomes '?', never a look-alike that would name
// another file.
std::vector<std::string> Arguments(int argc, char** argv);

// Called first, before any thread starts: Ctrl+C, SIGTERM, SIGQUIT and SIGHUP
// (or the console's close events) from then on only mark a stop for
// WaitForEvent and WriteOut. A write past the file-size limit fails instead
// of ending the program.
void CatchStopSignals();
// Waits up to ms for a stop or a Wake; the stop's signal number, else 0.
int WaitForEvent(int ms);
// Any thread: ends a WaitForEvent early.
void Wake();
// Once the tests are over, however they ended: each has stopped and removed
// its files, and no other will start. The console's close events wait for
// it. Called last, on every way out after CatchStopSignals.
void StopSettled();

// The class of the hidden window that takes WM_ENDSESSION on Windows.
inline constexpr wchar_t kSessionWindowClass[] = L"SarnovalCliSession";

// Writes all of text to standard output, as WriteText does: 0 once written,
// -1 when it failed, or a stop's signal number when one comes first, so that
// a reader that does not read cannot hold the program.
int WriteOut(const std::string& text, bool utf8);

bool StderrIsTerminal();
// Standard output and error as bytes: no newline translation, so scripts
// read the same bytes on every system.
void BinaryOutput();

// The letters as the dialog maps them.
DriveMap DialogDriveMap();

// Text and paths as UTF-8 for JSON: the ANSI code page converted on Windows,
// the bytes as they are elsewhere.
std::string TextToUtf8(const std::string& text);
std::string PathToUtf8(const std::filesystem::path& path);

// The folder path names, absolute and normal. On Windows a \\?\ prefix is
// taken off: the engine adds its own, and the letter is then the drive's.
std::filesystem::path AbsoluteFolder(const std::filesystem::path& path);

// Writes text to stream (stdout or stderr). On a Windows console as UTF-16,
// from UTF-8 (utf8) or the ANSI code page, so every name shows right;
// anywhere else the bytes as they are.
bool WriteText(std::FILE* stream, const std::string& text, bool utf8);

} // namespace sarnoval::cli
