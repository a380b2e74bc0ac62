#include "ui/throughput_app.h"

#include "ui/quit_signals.h"
#include "ui/throughput_dlg.h"

#include <QScreen>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

// Nothing is kept between runs. Qt's own dialogs (the file dialog's history
// and view) save settings; they are sent where no file can ever be made,
// under a path whose parent is a device, so they are neither written nor read.
void KeepNoSettings() {
    const QString nowhere = QStringLiteral("/dev/null/sarnoval");
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, nowhere);
        QSettings::setPath(format, QSettings::SystemScope, nowhere);
    }
}

} // namespace

// Message boxes are captioned with the application's name. On Windows none
// is set, so it is the program file's, Sarnoval. The Linux command is
// sarnoval, lower case; the name stays Sarnoval there too, and with it the
// window class (WM_CLASS) that the desktop entry matches.
CThroughputApp::CThroughputApp(int& argc, char** argv) : QApplication(argc, argv) {
#ifdef Q_OS_UNIX
    setApplicationName(QStringLiteral("Sarnoval"));
    // Past a file-size limit a write then fails with EFBIG, which the drive
    // test reports, instead of the signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    KeepNoSettings();
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
