#include "ui/throughput_app.h"

#include "ui/quit_signals.h"
#include "ui/throughput_dlg.h"

#include <QScreen>

// No application name is set: message boxes are captioned with the program
// file's name.
CThroughputApp::CThroughputApp(int& argc, char** argv) : QApplication(argc, argv) {
    // The window's Wayland app id names the installed desktop entry.
    setDesktopFileName(QStringLiteral(SARNOVAL_APP_ID));
}

bool CThroughputApp::InitInstance() {
    CThroughputDlg dlg;
    // Centred on the screen; the frame is not known before the window is
    // shown, so the client area is what is centred.
    const QRect screen = dlg.screen()->availableGeometry();
    dlg.move(screen.center() - dlg.rect().center());
    CloseOnQuitSignals(&dlg);
    dlg.exec();
    // The dialog's destructor has stopped the tests: no thread outlives the application.
    return false;
}
