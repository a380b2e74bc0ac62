#include "ui/throughput_app.h"

#include "ui/quit_signals.h"
#include "ui/throughput_dlg.h"

#include <QScreen>
#include <QSettings>
#include <QWindow>

#ifdef Q_OS_UNIX
#include <csignal>
#endif
#ifdef Q_OS_WIN
#include <QFont>

#include <windows.h>
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

#ifdef Q_OS_WIN
// The font Windows gives dialogs and message boxes, as the user set it
// (Segoe UI 9 pt on Windows 10 and 11 by default); the dialog is set in it.
void UseMessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return;
    }
    const LOGFONTW& message = metrics.lfMessageFont;
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) {
        ::ReleaseDC(nullptr, screen);
    }
    QFont font = QApplication::font();
    font.setFamily(QString::fromWCharArray(message.lfFaceName));
    if (dpi > 0 && message.lfHeight != 0) {
        // lfHeight is in pixels at the screen's DPI.
        font.setPointSizeF(qAbs(message.lfHeight) * 72.0 / dpi);
    }
    QApplication::setFont(font);
}
#endif

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
#ifdef Q_OS_WIN
    UseMessageFont();
#endif
    // The window's Wayland app id names the installed desktop entry.
    setDesktopFileName(QStringLiteral(SARNOVAL_APP_ID));
}

bool CThroughputApp::InitInstance() {
    CThroughputDlg dlg;
    // Centred on the screen, frame and all. A move places the frame, which
    // Windows knows once the window exists; where it is not known before the
    // window is shown (X11), the client area is what is centred.
    dlg.winId(); // makes the native window
    const QRect screen = dlg.screen()->availableGeometry();
    const QRect outer = dlg.rect().marginsAdded(dlg.windowHandle()->frameMargins());
    dlg.move(screen.center() - QRect(QPoint(0, 0), outer.size()).center());
    CloseOnQuitSignals(&dlg);
    dlg.exec();
    // The dialog's destructor has stopped the tests: no thread outlives the application.
    return false;
}
