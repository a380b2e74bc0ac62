// The application object: it shows the dialog centred, runs it to its end
// and leaves no test thread behind.
#include "ui_test_support.h"

#include "res/resource.h"
#include "tests/support/portable.h"
#include "ui/result_list_menu.h"
#include "ui/throughput_app.h"

#include "engine/drive_write_read.h"
#include "tests/engine/throttled_disk.h"

#include <QDirIterator>
#include <QFileDialog>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <string>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace ui_test;

namespace {

CThroughputDlg* ShownDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dlg = qobject_cast<CThroughputDlg*>(widget); dlg && dlg->isVisible()) {
            return dlg;
        }
    }
    return nullptr;
}

QString s_configDir;

#ifdef Q_OS_WIN
// Qt's native settings on Windows are the registry, which no path moves: its
// key for all Qt programs, as key=value lines.
QStringList RegistryValues() {
    const QSettings registry(QStringLiteral("HKEY_CURRENT_USER\\Software\\QtProject"),
                             QSettings::NativeFormat);
    QStringList values;
    for (const QString& key : registry.allKeys()) {
        values << key + QLatin1Char('=') + registry.value(key).toString();
    }
    return values;
}
#endif

#ifdef Q_OS_UNIX
// The quit handlers are in place once SIGTERM shows as caught.
// Whether the process is held by a stop signal.
bool IsStopped(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray text = stat.readAll();
    const qsizetype name = text.lastIndexOf(')'); // the state follows the command's name
    return name > 0 && text.mid(name + 2, 1) == "T";
}

bool CatchesTerm(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        }
    }
    return false;
}
#endif

// The child of fileSizeLimit: a 5 MB drive test under a 1 MB file-size limit.
// Prints the message box's text and ends normally, if it is not killed.
int FileSizeLimitChild(int argc, char** argv) {
    const std::string folder = qgetenv("SARNOVAL_FSIZE_CHILD").toStdString();
    if (!sarnoval::testing::LimitFileSize(1000000)) {
        return 2;
    }
    CThroughputApp app(argc, argv);
    CThroughputDlg dlg;
    dlg.DriveMap().SetSource([&] { return sarnoval::DriveMap{{'C', folder}}; });
    Button(dlg, IDC_MODE_DRIVE)->click();
    Button(dlg, IDC_SIZE_5MB)->click();
    Button(dlg, IDC_TEST)->click();
    if (!QTest::qWaitFor([] { return VisibleMessageBox() != nullptr; }, kTimeoutMs)) {
        return 3;
    }
    QMessageBox* box = VisibleMessageBox();
    std::printf("%s\n", box->text().toLocal8Bit().constData());
    box->button(QMessageBox::Ok)->click();
    return QTest::qWaitFor([] { return !sarnoval::g_testRunning.load(); }, kTimeoutMs) ? 0 : 4;
}

// The child of displayLost: a 100 MB drive test on the X display it was given,
// until the display goes. Returns only if the dialog closes.
int DisplayChild(int argc, char** argv) {
    const QString folder = qEnvironmentVariable("SARNOVAL_DISPLAY_CHILD");
    CThroughputApp app(argc, argv);
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &app, [&] {
        if (CThroughputDlg* dlg = ShownDialog()) {
            probe.stop();
            dlg->DriveMap().SetSource([&] { return sarnoval::DriveMap{{'C', PathOf(folder)}}; });
            Button(*dlg, IDC_MODE_DRIVE)->click();
            Button(*dlg, IDC_SIZE_100MB)->click();
            Button(*dlg, IDC_TEST)->click();
        }
    });
    probe.start(10);
    app.InitInstance();
    return 3;
}

} // namespace

class ApplicationTest : public QObject {
    Q_OBJECT

private slots:
    void runsDialogToItsEnd() {
        Sandbox sandbox;
        bool seen = false;
        QPoint offset;
        QSize frame;
        bool modal = false;
        bool parentless = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            CThroughputDlg* dlg = ShownDialog();
            if (!dlg || seen) {
                return;
            }
            seen = true;
            probe.stop();
            offset = dlg->frameGeometry().center() - dlg->screen()->availableGeometry().center();
            frame = dlg->frameGeometry().size() - dlg->size();
            modal = dlg->isModal();
            parentless = dlg->parentWidget() == nullptr;
            // A test left running when the dialog closes, on the sandbox's C.
            dlg->DriveMap().SetSource([&] {
                return sarnoval::DriveMap{{'C', PathOf(sandbox.Folder('C'))}};
            });
            Button(*dlg, IDC_MODE_DRIVE)->click();
            Button(*dlg, IDC_SIZE_100MB)->click();
            Button(*dlg, IDC_TEST)->click();
            dlg->close();
        });
        probe.start(10);
        auto* app = static_cast<CThroughputApp*>(QCoreApplication::instance());
        QCOMPARE(app->InitInstance(), false);
        QVERIFY(seen);
        // Centred on its screen, give or take the frame, which is not known
        // before the window is shown.
        QVERIFY2(qAbs(offset.x()) <= frame.width() / 2 + 1 &&
                     qAbs(offset.y()) <= frame.height() / 2 + 1,
                 qPrintable(QStringLiteral("%1,%2 with a frame of %3,%4")
                                .arg(offset.x())
                                .arg(offset.y())
                                .arg(frame.width())
                                .arg(frame.height())));
        QVERIFY(modal);
        QVERIFY(parentless);
        QVERIFY(EngineAtRest());
        QCOMPARE(sandbox.Leftovers('C'), QStringList());
#ifndef Q_OS_WIN
        // The name that captions its messages and classes its window, whatever
        // the program file is called. (Windows keeps the program file's name.)
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Sarnoval"));
#endif
    }

    // Nothing is saved between runs: the real open-file and Save As dialogs,
    // shown and cancelled, leave no settings file in the (private)
    // configuration folder, and on Windows the registry as it was.
    void keepsNoSettings_data() {
        QTest::addColumn<bool>("saveAs");
        QTest::newRow("open") << false;
        QTest::newRow("save as") << true;
    }
    void keepsNoSettings() {
        QFETCH(bool, saveAs);
#ifdef Q_OS_WIN
        const QStringList registryBefore = RegistryValues();
#endif
        {
            CThroughputDlg dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            if (saveAs) {
                dlg.m_resultList->addItem(QStringLiteral("line"));
                dlg.ResultMenu()->SaveAction()->trigger();
            } else {
                Button(dlg, IDC_TEST)->click();
            }
            QPointer<QFileDialog> picker = dlg.findChild<QFileDialog*>();
            QVERIFY(picker);
            QVERIFY(PickerShown(picker));
            picker->reject();
            if (!saveAs) {
                QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList files;
        QDirIterator it(s_configDir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << it.next();
        }
        QCOMPARE(files, QStringList());
#ifdef Q_OS_WIN
        QCOMPARE(RegistryValues(), registryBefore);
#endif
    }

    // Past a file-size limit the drive test fails with its message and leaves
    // nothing, instead of the program being killed. Run in a child process
    // that sets the limit on itself.
    void fileSizeLimit() {
        if (!sarnoval::testing::CanLimitFileSize()) {
            QSKIP("Windows has no per-process file-size limit");
        }
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SARNOVAL_FSIZE_CHILD"), folder.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(kTimeoutMs));
        const QByteArray out = child.readAllStandardOutput();
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(out.trimmed(), QByteArray(sarnoval::kWriteFailed));
        QCOMPARE(
            QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
    }

    // A second quit signal while the program is closing ends it at once.
    void secondQuitSignal() {
#if defined(__SANITIZE_THREAD__)
        // The sanitizer runs a handler only when the thread that took the
        // signal next reaches a safe point, which may be after the program
        // has ended by the first signal.
        QSKIP("signal handlers are deferred under ThreadSanitizer");
#endif
#ifndef Q_OS_UNIX
        QSKIP("no quit signals on Windows (taskkill sends WM_CLOSE: the close box's path)");
#else
        QProcess program;
        program.start(QStringLiteral(SARNOVAL_BINARY), {});
        QVERIFY(program.waitForStarted());
        const qint64 pid = program.processId();
        QTRY_VERIFY_WITH_TIMEOUT(CatchesTerm(pid), kTimeoutMs);
        // Two different signals, so the second is not merged into the first.
        // Held stopped while both are sent, so that both are pending when it
        // goes on: on a busy machine the first could otherwise finish closing
        // before the second is even sent.
        ::kill(pid, SIGSTOP);
        // Stopped for real: a SIGCONT sent before the stop took effect would
        // cancel it, and the two signals could then come apart.
        QTRY_VERIFY_WITH_TIMEOUT(IsStopped(pid), kTimeoutMs);
        ::kill(pid, SIGINT);
        ::kill(pid, SIGTERM);
        ::kill(pid, SIGCONT);
        QVERIFY(program.waitForFinished(kTimeoutMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == 128 + SIGINT || program.exitCode() == 128 + SIGTERM,
                 qPrintable(QString::number(program.exitCode()) + ' ' +
                            QString::fromLocal8Bit(program.readAllStandardError())));
#endif
    }

    // The X server ends mid-test: Qt calls exit(1), and the test must be
    // stopped and its file removed first, not abort the exit on its thread.
    void displayLost() {
#ifndef Q_OS_LINUX
        QSKIP("needs an X server to take away (Xvfb); Windows and Wine have none");
#else
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) {
            QSKIP("Xvfb is not installed (package xvfb)");
        }
        QTemporaryDir folder;
        // Held to 4 MB/s where a blkio cgroup allows, so the test still writes.
        const sarnoval::testing::ThrottledDisk slow(PathOf(folder.path()), 4000000);
        int fds[2] = {-1, -1}; // Xvfb writes the display it took here
        QVERIFY(::pipe2(fds, O_CLOEXEC) == 0);
        QProcess server;
        server.setChildProcessModifier([&] { ::dup2(fds[1], 3); });
        server.start(xvfb, {"-displayfd", "3", "-nolisten", "tcp"});
        ::close(fds[1]);
        QByteArray display(":");
        for (char c = 0; ::read(fds[0], &c, 1) == 1 && c != '\n';) {
            display += c;
        }
        ::close(fds[0]);
        QVERIFY2(display.size() > 1, server.readAllStandardError().constData());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SARNOVAL_DISPLAY_CHILD", folder.path());
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        // Qt exits from inside its event loop, with D-Bus's and fontconfig's memory held.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        const QString first = folder.filePath(sarnoval::kFirstTempName);
        // Unthrottled, a fast disk may be done before the file is seen: the display goes anyway.
        const bool throttled = slow.WhyNot().empty();
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(first).size() > 0; },
                                throttled ? kTimeoutMs : 5000) ||
                !throttled);
        QCOMPARE(child.state(), QProcess::Running);
        server.kill();
        QVERIFY(child.waitForFinished(kTimeoutMs));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 1,
                 child.readAllStandardError().constData());
        QCOMPARE(QDir(folder.path()).entryList({"SarnovalTemp*"}, QDir::Files), QStringList());
#endif
    }

    // The Wayland app id is the name of the desktop entry that is installed.
    void desktopFileName() {
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral(SARNOVAL_APP_ID));
        QVERIFY(QFileInfo::exists(QStringLiteral(SARNOVAL_SOURCE_DIR "/res/") +
                                  QGuiApplication::desktopFileName() + QStringLiteral(".desktop")));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("SARNOVAL_FSIZE_CHILD")) {
        return FileSizeLimitChild(argc, argv);
    }
    if (qEnvironmentVariableIsSet("SARNOVAL_DISPLAY_CHILD")) {
        return DisplayChild(argc, argv);
    }
    // A private configuration folder, before anything reads its path.
    QTemporaryDir config;
    s_configDir = config.path();
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    CThroughputApp app(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
