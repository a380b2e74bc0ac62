// The five commands, run against the real engine on temporary folders.
#include "ui_test_support.h"

#include "engine/drive_write_read.h"
#include "res/resource.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

using namespace ui_test;

namespace {

const char* const kHelp = "To use this program:\n\nFor \"A chosen file\":\n"
                          "Pick the file you would like to read by clicking test\n"
                          " Note: A file of large size should be chosen for most\n"
                          " accurate results.\n\nFor \"A drive\":\n"
                          "Choose the drive letter to test,\n"
                          "choose the size of file to write/read.\n"
                          " Note: A large size should be chosen for most\n"
                          " accurate results.\n\n"
                          "What does this program do / what is it for?:\n\n"
                          "This program is to test how fast your computer can\n"
                          " access a certain file, or write/read from a drive\n"
                          "It can be usefull in determining:\n\n"
                          "1. The speed of a drive.\n"
                          "2. The speed of a network connection to a drive.\n"
                          "3. The speed of a CDROM.\n\n"
                          "If you still do not understand how to use this program,\n"
                          " then it is probably not for you.";

QRegularExpression DriveLine(const QString& letter, int kilobytes) {
    return QRegularExpression(
        QStringLiteral("^%1:\\\\, \\d+x Read \\(\\d+ MB/sec\\), \\d+x Write \\(\\d+ MB/sec\\), "
                       "%2 KB read and written in \\d+ Seconds\\.$")
            .arg(letter)
            .arg(kilobytes));
}

QString ShownPath(const QString& path) {
    const QByteArray bytes = path.toUtf8();
    return bytes.size() <= 63 ? path : QString::fromUtf8("..." + bytes.right(59));
}

void MakeFile(const QString& path, qint64 size) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));
}

} // namespace

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class DialogCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_sandbox = std::make_unique<Sandbox>();
        QVERIFY(m_sandbox->IsValid());
    }
    void cleanup() {
        QCOMPARE(m_sandbox->unexpectedPicks, 0);
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
        QCOMPARE(m_sandbox->Leftovers('D'), QStringList());
        m_sandbox.reset();
        QVERIFY(EngineAtRest());
        QCOMPARE(VisibleMessageBoxCount(), 0);
    }

    // The help button and F1 show the same text, byte for byte.
    void help_data() {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("button") << false;
        QTest::newRow("F1") << true;
    }
    void help() {
        QFETCH(bool, byKey);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        if (byKey) {
            QTest::keyClick(&dlg, Qt::Key_F1);
        } else {
            Button(dlg, IDC_HELP_BUTTON)->click();
        }
        QTRY_VERIFY(VisibleMessageBox());
        QMessageBox* box = VisibleMessageBox();
        QCOMPARE(box->text().toUtf8(), QByteArray(kHelp));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->windowTitle(), ProgramName());
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QCOMPARE(box->parentWidget(), &dlg);
        QVERIFY(box->isModal());
        box->button(QMessageBox::Ok)->click();
        QTRY_COMPARE(VisibleMessageBoxCount(), 0);
    }

    void links_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QUrl>("url");
        QTest::newRow("website") << IDC_WEBSITE
                                 << QUrl(QStringLiteral("https://www.quenvo.example/"));
        QTest::newRow("email") << IDC_EMAIL << QUrl(QStringLiteral("mailto:info@quenvo.example"));
    }
    void links() {
        QFETCH(int, id);
        QFETCH(QUrl, url);
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &recorder, "open");
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        Button(dlg, id)->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
        QCOMPARE(recorder.opened, QList<QUrl>{url});
        QCOMPARE(dlg.m_resultList->count(), 0);
        QCOMPARE(VisibleMessageBoxCount(), 0); // a failure is not reported
    }

    // Test in file mode: the picker's answer lands in the path field and the
    // file test reports on it.
    void fileTest_data() {
        QTest::addColumn<QString>("name"); // empty: the picker was cancelled
        QTest::addColumn<qint64>("size");  // negative: no such file
        // One row per way the dialog hands the path over; the engine's tests
        // cover the sizes and odd paths.
        QTest::newRow("some blocks") << "data.bin" << qint64(350000);
        QTest::newRow("name that does not exist") << "missing.bin" << qint64(-1);
        QTest::newRow("cancelled") << "" << qint64(-1);
    }
    void fileTest() {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        const QString path = name.isEmpty() ? QString() : m_sandbox->Root() + "/" + name;
        if (size >= 0) {
            MakeFile(path, size);
        }
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        QList<QWidget*> parents;
        dlg.Picker().SetAnswer([&](QWidget* parent) {
            parents << parent;
            return path;
        });
        Button(dlg, IDC_TEST)->click();
        QCOMPARE(parents, QList<QWidget*>{&dlg});
        // As the system writes paths, whatever separator the picker used.
        const QString shown = QDir::toNativeSeparators(path);
        QCOMPARE(dlg.m_strFilePath, shown);
        QCOMPARE(Edit(dlg, IDC_FILE_PATH)->text(), shown);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        const QString line = dlg.m_resultList->item(0)->text();
        if (size < 0) {
            QCOMPARE(line, shown + " - ERROR Reading File.");
        } else {
            const QRegularExpression format(
                QStringLiteral(
                    "^%1, \\d+x Read \\(\\d+ MB/sec\\), \\d+ KB read in \\d+ Seconds\\.$")
                    .arg(QRegularExpression::escape(ShownPath(shown))));
            QVERIFY2(format.match(line).hasMatch(), qPrintable(line));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(Edit(dlg, IDC_KB_COUNT)->text(), QStringLiteral("0"), kTimeoutMs);
        QCOMPARE(dlg.m_resultList->count(), 1);
    }

    // Test in drive mode writes and reads back in the mapped folder, leaves
    // nothing there and does not touch the path field.
    void driveTest_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("letter");
        QTest::addColumn<int>("kilobytes");
        QTest::newRow("C, 1 MB") << "" << IDC_SIZE_1MB << "C" << 976;
        QTest::newRow("D typed lower case, 5 MB") << "d" << IDC_SIZE_5MB << "D" << 4882;
    }
    void driveTest() {
        QFETCH(QString, typed);
        QFETCH(int, size);
        QFETCH(QString, letter);
        QFETCH(int, kilobytes);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        Edit(dlg, IDC_FILE_PATH)->setText(QStringLiteral("untouched"));
        if (!typed.isEmpty()) {
            QLineEdit* drive = Edit(dlg, IDC_DRIVE_LETTER);
            drive->setFocus();
            drive->selectAll();
            QTest::keyClicks(drive, typed);
        }
        QTest::mouseClick(Button(dlg, IDC_MODE_DRIVE), Qt::LeftButton);
        QTest::mouseClick(Button(dlg, size), Qt::LeftButton);
        QTest::mouseClick(Button(dlg, IDC_TEST), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        const QString line = dlg.m_resultList->item(0)->text();
        QVERIFY2(DriveLine(letter, kilobytes).match(line).hasMatch(), qPrintable(line));
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QCOMPARE(Edit(dlg, IDC_FILE_PATH)->text(), QStringLiteral("untouched"));
        QTRY_COMPARE_WITH_TIMEOUT(Edit(dlg, IDC_KB_COUNT)->text(), QStringLiteral("0"), kTimeoutMs);
        QCOMPARE(VisibleMessageBoxCount(), 0);
    }

    // The counter climbs to the size while writing and is back at 0 after the read.
    void counterFollowsTest() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        QList<qulonglong> shown;
        connect(Edit(dlg, IDC_KB_COUNT), &QLineEdit::textChanged, this,
                [&](const QString& text) { shown << text.toULongLong(); });
        Button(dlg, IDC_MODE_DRIVE)->click();
        Button(dlg, IDC_SIZE_100MB)->click();
        Button(dlg, IDC_TEST)->click();
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty() && shown.last() == 0, kTimeoutMs);
        QVERIFY(*std::max_element(shown.begin(), shown.end()) > 0);
        QVERIFY(*std::max_element(shown.begin(), shown.end()) <= 97656);
        for (int i = 1; i < shown.size(); ++i) {
            QVERIFY2(shown[i] != shown[i - 1], "the same value shown twice in a row");
        }
    }

    // A drive that is not mapped: the engine's message box, captioned with
    // the program's name, holds the test until OK.
    void writeFailureMessage() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Edit(dlg, IDC_DRIVE_LETTER)->setText(QStringLiteral("Q"));
        Button(dlg, IDC_MODE_DRIVE)->click();
        Button(dlg, IDC_TEST)->click();
        QTRY_VERIFY_WITH_TIMEOUT(VisibleMessageBox(), kTimeoutMs);
        QMessageBox* box = VisibleMessageBox();
        QCOMPARE(box->text(), QString::fromLatin1(sarnoval::kOpenWriteFailed));
        QCOMPARE(box->windowTitle(), ProgramName());
        QCOMPARE(box->windowTitle(), QCoreApplication::applicationName());
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QCOMPARE(box->parentWidget(), &dlg);
        QVERIFY(sarnoval::g_testRunning.load()); // waiting for the user
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QCOMPARE(dlg.m_resultList->count(), 0);
        QTRY_COMPARE(VisibleMessageBoxCount(), 0);
    }

    // Clear Text while a test runs: the list empties and the test's line is
    // then the only one.
    void clearTextDuringTest() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.Picker().SetAnswer([](QWidget*) { return QString(); });
        Button(dlg, IDC_TEST)->click();
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);

        Button(dlg, IDC_MODE_DRIVE)->click();
        Button(dlg, IDC_SIZE_1MB)->click();
        Button(dlg, IDC_TEST)->click();
        // The test cannot report before this thread answers its questions.
        QVERIFY(sarnoval::g_testRunning.load());
        Button(dlg, IDC_CLEAR_TEXT)->click();
        QCOMPARE(dlg.m_resultList->count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        const QString line = dlg.m_resultList->item(0)->text();
        QVERIFY2(DriveLine(QStringLiteral("C"), 976).match(line).hasMatch(), qPrintable(line));
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QCOMPARE(dlg.m_resultList->count(), 1);
    }

    // Clicks on Test while a test runs start nothing, under a busy cursor; in
    // file mode each still shows the picker and updates the path field.
    void rapidClicks_data() {
        QTest::addColumn<bool>("fileMode");
        QTest::newRow("drive") << false;
        QTest::newRow("file") << true;
    }
    void rapidClicks() {
        QFETCH(bool, fileMode);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        int picks = 0;
        dlg.Picker().SetAnswer([&](QWidget*) {
            return m_sandbox->Root() + QStringLiteral("/missing-%1").arg(++picks);
        });
        if (!fileMode) {
            Button(dlg, IDC_MODE_DRIVE)->click();
            Button(dlg, IDC_SIZE_1MB)->click();
        }
        for (int i = 0; i < 5; ++i) {
            Button(dlg, IDC_TEST)->click();
        }
        QCOMPARE(picks, fileMode ? 5 : 0);
        // The test cannot end before this thread answers its questions; the
        // busy cursor says why the clicks did nothing.
        QVERIFY(sarnoval::g_testRunning.load());
        QCOMPARE(dlg.cursor().shape(), Qt::BusyCursor);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QTRY_COMPARE(dlg.cursor().shape(), Qt::ArrowCursor);
        QTest::qWait(100);
        QCOMPARE(dlg.m_resultList->count(), 1);
        const QString line = dlg.m_resultList->item(0)->text();
        if (fileMode) {
            const QString last =
                QDir::toNativeSeparators(m_sandbox->Root() + QStringLiteral("/missing-5"));
            QCOMPARE(Edit(dlg, IDC_FILE_PATH)->text(), last);
            QVERIFY2(line.endsWith(" - ERROR Reading File."), qPrintable(line));
        } else {
            QVERIFY2(DriveLine(QStringLiteral("C"), 976).match(line).hasMatch(), qPrintable(line));
        }
    }

    // Each Test in drive mode reads the drive map afresh.
    void driveMapRefreshed() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());
        dlg.DriveMap().SetSource([&] {
            return sarnoval::DriveMap{{'C', elsewhere.path().toStdString()}};
        });
        Button(dlg, IDC_MODE_DRIVE)->click();
        Button(dlg, IDC_SIZE_1MB)->click();
        Button(dlg, IDC_TEST)->click();
        QCOMPARE(dlg.Control(IDC_DRIVE_LETTER)->toolTip(), "C: " + elsewhere.path());
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QVERIFY(QDir(elsewhere.path()).isEmpty());
    }

private:
    std::unique_ptr<Sandbox> m_sandbox;
};

QTEST_MAIN(DialogCommandsTest)
#include "dialog_commands_test.moc"
