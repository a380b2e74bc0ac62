// Closing the dialog while a test runs: the program must end promptly, with
// no temporary file left and no thread still running.
#include "ui_test_support.h"

#include "engine/drive_write_read.h"
#include "res/resource.h"
#include "tests/support/headless_window.h"
#include "tests/support/portable.h"
#include "ui/quit_signals.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <QFileDialog>
#include <QPointer>

#ifdef Q_OS_WIN
#include "engine/windows_api.h"
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

using namespace ui_test;

namespace {

// A test that ends only when asked, and then takes its time, as a slow disk's
// final flush would.
constexpr int kSlowEndMs = 600;
std::string s_slowFile;

void SlowToEnd() {
    std::FILE* file = std::fopen(s_slowFile.c_str(), "wb");
    while (!sarnoval::StopRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kSlowEndMs));
    if (file) {
        std::fclose(file);
    }
    std::remove(s_slowFile.c_str());
}

enum class How { CloseBox, Escape, Code, Signal, EndSession };

// Windows has no quit signals: CloseOnQuitSignals does nothing there, and a
// raised SIGTERM would end this program.
#define SKIP_SIGNAL_WITHOUT_HANDLERS(how)                                                          \
    if ((how) == How::Signal && !kHasQuitSignals) {                                                \
        QSKIP("no quit signals on Windows (taskkill sends WM_CLOSE: the close box's path)");       \
    }
enum class When { Writing, ReadingBack, MessageUp };

} // namespace

Q_DECLARE_METATYPE(How)
Q_DECLARE_METATYPE(When)

class DialogCloseTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_sandbox = std::make_unique<Sandbox>();
        QVERIFY(m_sandbox->IsValid());
    }
    void cleanup() {
        m_sandbox.reset();
        QVERIFY(EngineAtRest());
    }

    void closeMidTest_data() {
        QTest::addColumn<How>("how");
        QTest::addColumn<When>("when");
        QTest::newRow("close box while writing") << How::CloseBox << When::Writing;
        QTest::newRow("Escape while writing") << How::Escape << When::Writing;
        QTest::newRow("close box while reading back") << How::CloseBox << When::ReadingBack;
        QTest::newRow("Escape while reading back") << How::Escape << When::ReadingBack;
        // The box blocks the dialog's own keys and close box; the program can
        // still be told to close.
        QTest::newRow("closed while the message is up") << How::Code << When::MessageUp;
        // Ctrl+C in a terminal or a plain kill.
        QTest::newRow("SIGTERM while writing") << How::Signal << When::Writing;
        QTest::newRow("SIGINT while reading back") << How::Signal << When::ReadingBack;
        // A logoff or shutdown on Windows.
        QTest::newRow("session ends while writing") << How::EndSession << When::Writing;
    }
    void closeMidTest() {
        QFETCH(How, how);
        QFETCH(When, when);
        SKIP_SIGNAL_WITHOUT_HANDLERS(how);
#ifndef Q_OS_WIN
        if (how == How::EndSession) {
            QSKIP("WM_ENDSESSION is Windows' (an X session's end: application_test displayLost)");
        }
#endif
        const QString first = m_sandbox->Folder('C') + "/" + sarnoval::kFirstTempName;
        const QString second = m_sandbox->Folder('C') + "/" + sarnoval::kSecondTempName;

        auto owned = std::make_unique<CThroughputDlg>();
        CThroughputDlg& dlg = *owned;
        m_sandbox->Attach(dlg);
        CloseOnQuitSignals(&dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        Button(dlg, IDC_MODE_DRIVE)->click();
        Button(dlg, IDC_SIZE_100MB)->click();
        if (when == When::MessageUp) {
            Edit(dlg, IDC_DRIVE_LETTER)->setText(QStringLiteral("Q")); // not mapped
        }
        Button(dlg, IDC_TEST)->click();

        // Catch the test in the wanted phase: poll tightly, the phases are short on a fast disk.
        QElapsedTimer waited;
        waited.start();
        bool caught = false;
        while (!caught && waited.elapsed() < kTimeoutMs) {
            QCoreApplication::processEvents();
            switch (when) {
            case When::Writing:
                caught = QFileInfo::exists(first) && QFileInfo(first).size() > 0;
                break;
            case When::ReadingBack:
                caught = QFileInfo::exists(second);
                break;
            case When::MessageUp:
                caught = VisibleMessageBox() != nullptr;
                break;
            }
            QVERIFY2(dlg.m_resultList->count() == 0, "the test ended before it could be caught");
        }
        QVERIFY(caught);

        QElapsedTimer closing;
        closing.start();
        switch (how) {
        case How::CloseBox:
        case How::Code:
            dlg.close();
            break;
        case How::Escape:
            QTest::keyClick(&dlg, Qt::Key_Escape);
            break;
        case How::Signal:
            std::raise(when == When::Writing ? SIGTERM : SIGINT);
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kTimeoutMs);
            break;
        case How::EndSession:
#ifdef Q_OS_WIN
            // Windows may end the process once this returns: the file must be gone by then.
            QCOMPARE(::SendMessageW(HWND(dlg.winId()), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF),
                     TRUE);
            ::SendMessageW(HWND(dlg.winId()), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
            QVERIFY(!sarnoval::g_testRunning.load());
            QVERIFY(!QFileInfo::exists(first));
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kTimeoutMs);
#endif
            break;
        }
        // The window goes at once; the test stops on its own and removes its files.
        const qint64 took = closing.elapsed();
        QCOMPARE(finished.count(), 1);
        QVERIFY(!dlg.isVisible());
        QTRY_COMPARE(VisibleMessageBoxCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QVERIFY(!QFileInfo::exists(first));
        QVERIFY(!QFileInfo::exists(second));
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
        // Nothing reaches the list after closing: the test was cut short.
        QTest::qWait(50);
        QCOMPARE(dlg.m_resultList->count(), 0);
        owned.reset();
        QVERIFY(EngineAtRest());
        qInfo("closed in %lld ms", took);
    }

    // A test that takes its time to end once asked, like a slow final flush:
    // the window still goes at once, and destroying the dialog waits for the
    // test, which removes its file.
    void slowEndAfterClose() {
        s_slowFile = (m_sandbox->Folder('C') + QStringLiteral("/slow.tmp")).toStdString();
        sarnoval::HeadlessWindow unused; // outlives the test
        auto owned = std::make_unique<CThroughputDlg>();
        CThroughputDlg& dlg = *owned;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        sarnoval::RecordTargets(&unused, &unused);
        sarnoval::Launch(SlowToEnd);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QString::fromStdString(s_slowFile)), kTimeoutMs);

        QElapsedTimer closing;
        closing.start();
        dlg.done(QDialog::Rejected);
        QVERIFY(!dlg.isVisible());
        QVERIFY2(closing.elapsed() < kSlowEndMs / 2, "done() waited for the test");
        QVERIFY(sarnoval::g_testRunning.load());

        owned.reset();
        QVERIFY(closing.elapsed() >= kSlowEndMs);
        QVERIFY(EngineAtRest());
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
    }

    // A file test stuck in a read that no data will end (a pipe whose writer
    // never writes) stops within about a second of closing.
    void blockedReadStops_data() {
        QTest::addColumn<How>("how");
        QTest::newRow("close box") << How::CloseBox;
        QTest::newRow("SIGTERM") << How::Signal;
    }
    void blockedReadStops() {
        QFETCH(How, how);
        SKIP_SIGNAL_WITHOUT_HANDLERS(how);
        auto owned = std::make_unique<CThroughputDlg>();
        CThroughputDlg& dlg = *owned;
        m_sandbox->Attach(dlg);
        CloseOnQuitSignals(&dlg);
        // Declared after the dialog, so it goes first: should the read not
        // stop, the end of the data still ends it rather than hanging here.
        const sarnoval::testing::BlockingPipe pipe(PathOf(m_sandbox->Root()), "pipe");
        QVERIFY(pipe.Ready());
        const QString path = QString::fromStdWString(pipe.Path().wstring());
        dlg.Picker().SetAnswer([&](QWidget*) { return path; });
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Button(dlg, IDC_TEST)->click();
        QTest::qWait(100);
        QVERIFY(sarnoval::g_testRunning.load()); // held in the read

        QElapsedTimer closing;
        closing.start();
        if (how == How::Signal) {
            std::raise(SIGTERM);
            QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), kTimeoutMs);
        } else {
            dlg.close();
            QVERIFY(!dlg.isVisible());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), 1000);
        const qint64 stopped = closing.elapsed();
        owned.reset();
        QVERIFY(closing.elapsed() < 1500);
        QVERIFY(EngineAtRest());
        qInfo("test stopped %lld ms after closing", stopped);
    }

    // A dialog closed mid-test can be shown again and test again.
    void usableAfterClose() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Button(dlg, IDC_MODE_DRIVE)->click();
        Button(dlg, IDC_SIZE_100MB)->click();
        Button(dlg, IDC_TEST)->click();
        dlg.close();
        QVERIFY(!dlg.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
        // Shown again, the dialog first waits for the stopped test.
        dlg.show();
        QVERIFY(EngineAtRest());
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Button(dlg, IDC_SIZE_1MB)->click();
        Button(dlg, IDC_TEST)->click();
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
    }

    // Closed, or told to quit, while the real open-file dialog is up: the
    // picker goes too and nothing is launched afterwards.
    void closedWhilePicking_data() {
        QTest::addColumn<How>("how");
        QTest::newRow("close box") << How::CloseBox;
        QTest::newRow("SIGTERM") << How::Signal;
    }
    void closedWhilePicking() {
        QFETCH(How, how);
        SKIP_SIGNAL_WITHOUT_HANDLERS(how);
        auto owned = std::make_unique<CThroughputDlg>();
        CThroughputDlg& dlg = *owned;
        m_sandbox->Attach(dlg);
        CloseOnQuitSignals(&dlg);
        dlg.Picker().SetAnswer(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Button(dlg, IDC_TEST)->click();
        // Test returned with the picker up: it does not block.
        QPointer<QFileDialog> picker = dlg.Picker().Dialog();
        QVERIFY(picker);
        QVERIFY(PickerShown(picker));
        picker->selectFile(m_sandbox->Root() + QStringLiteral("/missing"));
        if (how == How::Signal) {
            std::raise(SIGTERM);
            QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), kTimeoutMs);
        } else {
            dlg.close();
        }
        QVERIFY(!dlg.isVisible());
        QTRY_VERIFY(!picker || !picker->isVisible());
        QTest::qWait(50);
        QVERIFY(!sarnoval::g_testRunning.load());
        QCOMPARE(Edit(dlg, IDC_FILE_PATH)->text(), QString());
        QCOMPARE(dlg.m_resultList->count(), 0);
        owned.reset();
        QVERIFY(EngineAtRest());
    }

    // Destroying the dialog without closing it also stops the test.
    void destroyedMidTest() {
        {
            CThroughputDlg dlg;
            m_sandbox->Attach(dlg);
            Button(dlg, IDC_MODE_DRIVE)->click();
            Button(dlg, IDC_SIZE_100MB)->click();
            Button(dlg, IDC_TEST)->click();
            QVERIFY(sarnoval::g_testRunning.load());
            QTest::qWait(20);
        }
        QVERIFY(EngineAtRest());
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
    }

private:
    std::unique_ptr<Sandbox> m_sandbox;
};

QTEST_MAIN(DialogCloseTest)
#include "dialog_close_test.moc"
