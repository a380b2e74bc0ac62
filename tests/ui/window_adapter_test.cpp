// The adapter between worker threads and widgets, on a bare window.
#include "ui/window_adapter.h"

#include "engine/file_io.h"
#include "res/resource.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

namespace {

constexpr int kTimeoutMs = 120000;

// Counts the calls queued to an object.
class QueuedCallCounter : public QObject {
public:
    std::atomic<int> calls{0};
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall) {
            ++calls;
        }
        return false;
    }
};

// Runs f on a worker thread; the result is ready when the worker is done.
template <class F> auto OnWorker(F f) {
    return std::async(std::launch::async, std::move(f));
}

template <class T> bool IsReady(const std::future<T>& future) {
    return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace

class WindowAdapterTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_window = std::make_unique<QWidget>();
        m_text = new QLineEdit(QStringLiteral("C:\\some\\path"), m_window.get());
        m_counter = new QLineEdit(m_window.get());
        m_option = new QCheckBox(m_window.get());
        m_list = new QListWidget(m_window.get());
        m_adapter = std::make_unique<QtWindowAdapter>(
            m_window.get(),
            [this](int id) -> QWidget* {
                switch (id) {
                case IDC_FILE_PATH:
                    return m_text;
                case IDC_KB_COUNT:
                    return m_counter;
                case IDC_SIZE_1MB:
                    return m_option;
                case IDC_RESULTS:
                    return m_list;
                default:
                    return nullptr;
                }
            },
            IDC_RESULTS);
    }
    void cleanup() {
        m_adapter.reset();
        m_window.reset();
    }

    // Reads from a worker are answered by this thread, cut as asked.
    void readsFromWorker_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<qulonglong>("capacity");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << IDC_FILE_PATH << qulonglong(sarnoval::kWholeText)
                               << "C:\\some\\path";
        QTest::newRow("cut") << IDC_FILE_PATH << qulonglong(5) << "C:\\s";
        QTest::newRow("capacity 0") << IDC_FILE_PATH << qulonglong(0) << "";
        QTest::newRow("no such control") << 4242 << qulonglong(100) << "";
    }
    void readsFromWorker() {
        QFETCH(int, id);
        QFETCH(qulonglong, capacity);
        QFETCH(QString, expected);
        auto answer = OnWorker([&] { return m_adapter->GetDlgItemText(id, capacity); });
        QTRY_VERIFY_WITH_TIMEOUT(IsReady(answer), kTimeoutMs);
        QCOMPARE(QString::fromStdString(answer.get()), expected);
        // On this thread the answer comes at once.
        QCOMPARE(QString::fromStdString(m_adapter->GetDlgItemText(id, capacity)), expected);
    }

    void checkedFromWorker_data() {
        QTest::addColumn<bool>("checked");
        QTest::newRow("checked") << true;
        QTest::newRow("not checked") << false;
    }
    void checkedFromWorker() {
        QFETCH(bool, checked);
        m_option->setChecked(checked);
        auto answer = OnWorker([&] { return m_adapter->IsDlgButtonChecked(IDC_SIZE_1MB); });
        QTRY_VERIFY_WITH_TIMEOUT(IsReady(answer), kTimeoutMs);
        QCOMPARE(answer.get(), checked);
    }

    // The counter loop repeats its value every 10 ms: a repeat must cost no
    // queued call, so an idle dialog does no work.
    void counterRepeatsCostNothing() {
        QueuedCallCounter counter;
        m_adapter->installEventFilter(&counter);
        auto showFromWorker = [&](std::uint64_t value) {
            std::thread worker([&] {
                for (int i = 0; i < 100; ++i) {
                    m_adapter->SetDlgItemInt(IDC_KB_COUNT, value);
                }
            });
            worker.join();
        };
        showFromWorker(7);
        QTRY_COMPARE(m_counter->text(), QStringLiteral("7"));
        QCOMPARE(counter.calls.load(), 1);
        showFromWorker(7);
        QTest::qWait(20);
        QCOMPARE(counter.calls.load(), 1);
        showFromWorker(8);
        QTRY_COMPARE(m_counter->text(), QStringLiteral("8"));
        QCOMPARE(counter.calls.load(), 2);
        m_adapter->removeEventFilter(&counter);
    }

    void linesInOrder() {
        std::thread worker([&] {
            for (int i = 0; i < 20; ++i) {
                m_adapter->AddString("line " + std::to_string(i));
            }
        });
        worker.join();
        QTRY_COMPARE(m_list->count(), 20);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(m_list->item(i)->text(), QStringLiteral("line %1").arg(i));
        }
    }

    // A result line tells, as its tooltip and to screen readers, the folder,
    // whether the transfers went past the cache, and when; its text stays
    // the engine's line.
    void resultLineSaysWhatItMeasured_data() {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("how");
        QTest::newRow("direct") << true << "past the system's cache";
        QTest::newRow("cached") << false << "through the system's cache";
    }
    void resultLineSaysWhatItMeasured() {
        QFETCH(bool, direct);
        QFETCH(QString, how);
        const QString folder = QDir::toNativeSeparators(QDir::tempPath());
        sarnoval::ResultFigures figures{1000000, 5, 4, direct, QDir::tempPath().toStdWString()};
        std::thread worker([&] { m_adapter->AddResult("C:\\, the line", figures); });
        worker.join();
        QTRY_COMPARE(m_list->count(), 1);
        const QListWidgetItem* item = m_list->item(0);
        QCOMPARE(item->text(), QStringLiteral("C:\\, the line"));
        const QString about = item->toolTip();
        QCOMPARE(item->data(Qt::AccessibleDescriptionRole).toString(), about);
        QVERIFY2(about.contains(QStringLiteral("Folder: ") + folder), qPrintable(about));
        QVERIFY2(about.contains(how), qPrintable(about));
        QVERIFY2(about.contains(QDate::currentDate().toString(Qt::ISODate)), qPrintable(about));
    }

    // Control characters and line breaks show as '?', so one result never
    // looks like two lines; the item keeps the engine's exact line.
    void controlCharactersShown_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QByteArray("/tmp/a b - ERROR Reading File.")
                               << "/tmp/a b - ERROR Reading File.";
        QTest::newRow("newline") << QByteArray("/tmp/a\nb - ERROR Reading File.")
                                 << "/tmp/a?b - ERROR Reading File.";
        QTest::newRow("return, tab, escape, delete") << QByteArray("x\r\t\x1b\x7fy") << "x????y";
        // In the local 8-bit encoding, as the engine writes it.
        QTest::newRow("line separator") << QString("a\u2028b").toLocal8Bit() << "a?b";
    }
    void controlCharactersShown() {
        QFETCH(QByteArray, line);
        QFETCH(QString, shown);
        if (QTest::currentDataTag() == QByteArray("line separator") &&
            QString::fromLocal8Bit(line) != QString("a\u2028b")) {
            QSKIP("the local 8-bit encoding (not UTF-8) has no line separator");
        }
        std::thread worker([&] { m_adapter->AddString(line.toStdString()); });
        worker.join();
        QTRY_COMPARE(m_list->count(), 1);
        QCOMPARE(m_list->item(0)->text(), shown);
        QCOMPARE(m_list->item(0)->data(Qt::UserRole).toString(), QString::fromLocal8Bit(line));
    }

    // A typed or picked name reaches the engine exactly or opens nothing. On
    // Windows this program runs in the legacy code page (no manifest), where
    // the system's conversion would turn the name into a look-alike's.
    void nameOpensItselfOrNothing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("present");
        QTest::addColumn<bool>("opens");
        QTest::newRow("in the code page") << "caf\u00e9.bin"
                                          << "caf\u00e9.bin" << true;
        QTest::newRow("stroke and acute") << "\u0141\u00f3d\u017a.bin"
                                          << "L\u00f3dz.bin" << false;
        QTest::newRow("macron") << "\u0100pple.bin"
                                << "Apple.bin" << false;
        QTest::newRow("full width") << "\uff46\uff55\uff4c\uff4c.bin"
                                    << "full.bin" << false;
    }
    void nameOpensItselfOrNothing() {
        QFETCH(QString, typed);
        QFETCH(QString, present);
        QFETCH(bool, opens);
#ifdef Q_OS_WIN
        QVERIFY2(QString::fromLocal8Bit("\xc3\xa9") != QStringLiteral("\u00e9"),
                 "built without the manifest's UTF-8 code page");
#endif
        QTemporaryDir dir;
        QFile file(dir.filePath(present));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        m_text->setText(dir.filePath(typed));
        const std::string text = m_adapter->GetDlgItemText(IDC_FILE_PATH, sarnoval::kWholeText);
        const sarnoval::File opened =
            sarnoval::File::Open(sarnoval::PathFromText(text), sarnoval::File::Mode::Read);
        QCOMPARE(opened.IsOpen(), opens);
    }

    // A worker waiting for this thread is let go by closing, even though
    // this thread never gets round to answering; afterwards nothing reaches
    // the widgets.
    void closingReleasesWaiters_data() {
        QTest::addColumn<int>("call");
        QTest::newRow("text") << 0;
        QTest::newRow("checked") << 1;
        QTest::newRow("message box") << 2;
    }
    void closingReleasesWaiters() {
        QFETCH(int, call);
        m_option->setChecked(true);
        std::atomic<bool> asked{false};
        auto answer = OnWorker([&] {
            asked.store(true);
            switch (call) {
            case 0:
                return m_adapter->GetDlgItemText(IDC_FILE_PATH, 100);
            case 1:
                return std::string(m_adapter->IsDlgButtonChecked(IDC_SIZE_1MB) ? "yes" : "no");
            default:
                m_adapter->MessageBox("hello", {});
                return std::string("dismissed");
            }
        });
        if (call == 2) {
            // The box comes up and holds the worker.
            QTRY_VERIFY_WITH_TIMEOUT(m_window->findChild<QMessageBox*>(), kTimeoutMs);
            QTest::qWait(20);
            QVERIFY(!IsReady(answer));
        } else {
            // Not answered while this thread does not serve events.
            while (!asked.load()) {
                std::this_thread::yield();
            }
            QVERIFY(answer.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout);
        }
        m_adapter->BeginClosing();
        // Closing alone ends the wait: no event is served here.
        QVERIFY(answer.wait_for(std::chrono::milliseconds(kTimeoutMs)) ==
                std::future_status::ready);
        const std::string got = answer.get();
        QCOMPARE(QString::fromStdString(got), QString::fromLatin1(call == 0   ? ""
                                                                  : call == 1 ? "no"
                                                                              : "dismissed"));
        // Later calls neither wait nor reach a widget.
        m_adapter->AddString("late");
        m_adapter->SetDlgItemInt(IDC_KB_COUNT, 99);
        auto late = OnWorker([&] { return m_adapter->GetDlgItemText(IDC_FILE_PATH, 100); });
        QVERIFY(late.wait_for(std::chrono::milliseconds(kTimeoutMs)) == std::future_status::ready);
        QCOMPARE(late.get(), std::string());
        QTest::qWait(20);
        QCOMPARE(m_list->count(), 0);
        QCOMPARE(m_counter->text(), QString());
        QTRY_VERIFY(!m_window->findChild<QMessageBox*>());
    }

    // The engine's box: program name as caption, the detail below the message,
    // OK, and the worker waits for it.
    void messageBoxWaitsForOk() {
        auto shown = OnWorker(
            [&] { m_adapter->MessageBox("Error testing drive.", {"C:\\SarnovalTemp.TMP: why."}); });
        QTRY_VERIFY_WITH_TIMEOUT(m_window->findChild<QMessageBox*>(), kTimeoutMs);
        QMessageBox* box = m_window->findChild<QMessageBox*>();
        QCOMPARE(box->text(), QStringLiteral("Error testing drive."));
        QCOMPARE(box->informativeText(), QStringLiteral("C:\\SarnovalTemp.TMP: why."));
        QCOMPARE(box->windowTitle(), QCoreApplication::applicationName());
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QTest::qWait(20);
        QVERIFY(!IsReady(shown));
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY_WITH_TIMEOUT(IsReady(shown), kTimeoutMs);
    }

private:
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_text = nullptr;
    QLineEdit* m_counter = nullptr;
    QCheckBox* m_option = nullptr;
    QListWidget* m_list = nullptr;
    std::unique_ptr<QtWindowAdapter> m_adapter;
};

QTEST_MAIN(WindowAdapterTest)
#include "window_adapter_test.moc"
