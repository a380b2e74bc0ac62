// Renders the dialog after one file test and one drive test, for the README.
// Usage: dialog_screenshot OUTPUT.png [FILE_TO_READ]
#include "engine/test_state.h"
#include "res/resource.h"
#include "ui/drive_map_source.h"
#include "ui/file_picker.h"
#include "ui/throughput_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

bool WaitFor(CThroughputDlg& dlg, int lines) {
    QElapsedTimer timer;
    timer.start();
    while (dlg.m_resultList->count() < lines || sarnoval::g_testRunning.load()) {
        if (timer.elapsed() > 120000) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [FILE_TO_READ]\n", argv[0]);
        return 2;
    }
    QTemporaryDir drive;
    const QString file = argc > 2 ? QString::fromLocal8Bit(argv[2]) : app.applicationFilePath();
    CThroughputDlg dlg;
    dlg.DriveMap().SetSource([&] { return sarnoval::DriveMap{{'C', drive.path().toStdString()}}; });
    dlg.Picker().SetAnswer([&](QWidget*) { return file; });
    dlg.show();
    qobject_cast<QAbstractButton*>(dlg.Control(IDC_TEST))->click();
    bool ok = WaitFor(dlg, 1);
    qobject_cast<QAbstractButton*>(dlg.Control(IDC_MODE_DRIVE))->click();
    qobject_cast<QAbstractButton*>(dlg.Control(IDC_TEST))->click();
    ok = ok && WaitFor(dlg, 2);
    // Let the counter settle and the list repaint.
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    qobject_cast<QAbstractButton*>(dlg.Control(IDC_TEST))->setFocus();
    const bool saved = dlg.grab().save(QString::fromLocal8Bit(argv[1]));
    return ok && saved ? 0 : 1;
}
