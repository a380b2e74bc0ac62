// Where the drive letters come from: the mount table, read without touching
// any mounted file system, and a source that hangs never freezes the dialog.
#include "ui_test_support.h"

#include "res/resource.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace ui_test;

namespace {

// Holds a reader until opened, or for at most a few seconds, so that a dialog
// that waits for it fails the test rather than hanging it.
class Gate {
public:
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::seconds(5), [this] { return m_open; });
    }
    void Open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

} // namespace

class DriveMapTest : public QObject {
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

    void parseMountInfo_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("expected"); // "mount point|type|ro or rw"
        QTest::newRow("one writable volume")
            << QByteArray("29 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n")
            << QStringList{"/|ext4|rw"};
        QTest::newRow("read-only, no optional fields")
            << QByteArray("40 29 7:0 / /media/cd ro,nosuid - iso9660 /dev/sr0 ro\n")
            << QStringList{"/media/cd|iso9660|ro"};
        QTest::newRow("'ro' only as a whole option")
            << QByteArray("41 29 0:50 / /srv rw,errors=remount-ro master:3 shared:9 - xfs "
                          "/dev/sdb ro\n")
            << QStringList{"/srv|xfs|rw"};
        QTest::newRow("escaped blank and backslash")
            << QByteArray("42 29 0:51 / /mnt/my\\040disk\\134x rw - nfs4 srv:/e rw\n")
            << QStringList{"/mnt/my disk\\x|nfs4|rw"};
        QTest::newRow("malformed line skipped")
            << QByteArray("garbage\n43 29 0:52 / /data rw - btrfs /dev/sdc rw")
            << QStringList{"/data|btrfs|rw"};
    }
    void parseMountInfo() {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const sarnoval::Volume& v : ParseMountInfo(text.toStdString())) {
            got << QStringLiteral("%1|%2|%3")
                       .arg(QString::fromStdString(v.mountPoint), QString::fromStdString(v.fsType),
                            v.readOnly ? "ro" : "rw");
        }
        QCOMPARE(got, expected);
    }

    // C is the account's home.
    void mountedMapUsesAccountHome() {
#ifdef Q_OS_WIN
        QSKIP("Windows has drive letters of its own: no mount table, no map");
#endif
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", m_sandbox->Folder('C').toLocal8Bit());
        const sarnoval::DriveMap map = ReadMountedDriveMap();
        qputenv("HOME", home);
        QVERIFY(map.count('C'));
        QCOMPARE(QString::fromStdString(map.at('C').string()), m_sandbox->Folder('C'));
    }

    // A map source that hangs, like statfs on a dead network server: Test
    // returns at once, events are served meanwhile, and the test starts within
    // the bound on the last map known. The source is let go before the dialog
    // goes: its destructor waits for a read in progress.
    void hungSourceKeepsDialogResponsive() {
        Gate gate; // outlives the dialog, whose reader may still be in it
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg); // the sandbox's map is now the last one known
        const QString elsewhere = m_sandbox->Root();
        dlg.DriveMap().SetSource([&] {
            gate.Wait();
            return sarnoval::DriveMap{{'C', elsewhere.toStdString()}};
        });
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Button(dlg, IDC_MODE_DRIVE)->click();
        Button(dlg, IDC_SIZE_1MB)->click();

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(10);
        QElapsedTimer clock;
        clock.start();
        Button(dlg, IDC_TEST)->click();
        QVERIFY2(clock.elapsed() < DriveMapReader::kWaitMs / 2, "Test waited for the source");
        // A 1 MB test may be over between two looks.
        QTRY_VERIFY_WITH_TIMEOUT(sarnoval::g_testRunning.load() || dlg.m_resultList->count() > 0,
                                 2 * DriveMapReader::kWaitMs);
        const qint64 launched = clock.elapsed();
        QVERIFY2(ticks >= 5,
                 qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(launched)));

        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        QVERIFY2(dlg.m_resultList->item(0)->text().startsWith(QLatin1String("C:\\, ")),
                 qPrintable(dlg.m_resultList->item(0)->text()));
        QTRY_VERIFY_WITH_TIMEOUT(!sarnoval::g_testRunning.load(), kTimeoutMs);
        QCOMPARE(m_sandbox->Leftovers('C'), QStringList());
        gate.Open();
        qInfo("launched after %lld ms, %d timer ticks meanwhile", launched, ticks);
    }

private:
    std::unique_ptr<Sandbox> m_sandbox;
};

QTEST_MAIN(DriveMapTest)
#include "drive_map_test.moc"
