// Closing the dialog while a test runs: the program must end promptly, with
// no temporary file left and no thread still running.
#include "ui_test_support.h"

#include "engine/drive_write_read.h"
#include "res/resource.h"
#include "ui/quit_signals.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace ui_test;

namespace {

enum class How { CloseBox, Escape, Code, Signal };
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
    }
    void closeMidTest() {
        QFETCH(How, how);
        QFETCH(When, when);
        const QString first = m_sandbox->Folder('C') + "/" + sarnoval::kFirstTempName;
        const QString second = m_sandbox->Folder('C') + "/" + sarnoval::kSecondTempName;

        CThroughputDlg dlg;
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
        }
        // Closing waits for the worker: when it returns the test is over.
        const qint64 took = closing.elapsed();
        QCOMPARE(finished.count(), 1);
        QVERIFY(!dlg.isVisible());
        QVERIFY(EngineAtRest());
        QVERIFY(!QFileInfo::exists(first));
        QVERIFY(!QFileInfo::exists(second));
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
        QTRY_COMPARE(VisibleMessageBoxCount(), 0);
        // Nothing reaches the list after closing: the test was cut short.
        QTest::qWait(50);
        QCOMPARE(dlg.m_resultList->count(), 0);
        qInfo("closed in %lld ms", took);
    }

    // A dialog closed mid-test can be shown again and test again.
    void usableAfterClose() {
        CThroughputDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Button(dlg, IDC_MODE_DRIVE)->click();
        Button(dlg, IDC_SIZE_100MB)->click();
        Button(dlg, IDC_TEST)->click();
        dlg.close();
        QVERIFY(EngineAtRest());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Button(dlg, IDC_SIZE_1MB)->click();
        Button(dlg, IDC_TEST)->click();
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
    }

    // Closed while the open-file dialog is up: nothing is launched afterwards.
    void closedWhilePicking() {
        CThroughputDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        SetFilePicker([&](QWidget*) {
            dlg.close();
            return m_sandbox->Root() + QStringLiteral("/missing");
        });
        Button(dlg, IDC_TEST)->click();
        QVERIFY(!dlg.isVisible());
        QVERIFY(EngineAtRest());
        QTest::qWait(50);
        QCOMPARE(dlg.m_resultList->count(), 0);
    }

    // Destroying the dialog without closing it also stops the test.
    void destroyedMidTest() {
        {
            CThroughputDlg dlg;
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
