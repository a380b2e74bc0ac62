// Ctrl+C in a terminal, a plain kill or a hang-up closes the dialog the normal
// way, so a running test stops and removes its temporary file instead of
// leaving it on the drive.
#pragma once

class QWidget;

// Closes window on SIGINT, SIGTERM or SIGHUP. Another of them once the window
// is closing ends the process at once. Call once, on the GUI thread;
// the handlers stay until the process ends. On Windows, a logoff or shutdown
// (WM_ENDSESSION) is answered only once the test has stopped and removed its
// file, and then closes window. No-op elsewhere.
void CloseOnQuitSignals(QWidget* window);
