// The results you can keep: Copy and Save As… from the list's menu, Ctrl+C.
#include "ui_test_support.h"

#include "res/resource.h"
#include "ui/result_list_menu.h"
#include "ui/translation.h"

#include <QAction>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <filesystem>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace ui_test;

namespace {

struct Item {
    QString text;    // what the list shows
    QVariant engine; // the engine's exact line, when the item carries it
};

QList<QMenu*> VisibleMenus() {
    QList<QMenu*> menus;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* menu = qobject_cast<QMenu*>(widget); menu && menu->isVisible()) {
            menus << menu;
        }
    }
    return menus;
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

Q_DECLARE_METATYPE(Item)

class ResultListMenuTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<Sandbox>(); }
    void cleanup() {
        m_sandbox.reset();
        QVERIFY(EngineAtRest());
    }

    // Copy, Ctrl+C and Save As… give every line in order, as the engine wrote it.
    void lines_data() {
        QTest::addColumn<QList<Item>>("items");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("focus");
        QTest::newRow("none") << QList<Item>{} << QByteArray() << IDC_RESULTS;
        QTest::newRow("two lines, list focused")
            << QList<Item>{{"C:\\, 1x Read", {}}, {"/a - ERROR Reading File.", {}}}
            << QByteArray("C:\\, 1x Read\n/a - ERROR Reading File.\n") << IDC_RESULTS;
        QTest::newRow("engine's line over the shown text, Test focused")
            << QList<Item>{{"/x?y - ERROR Reading File.", QString("/x\ty - ERROR Reading File.")},
                           {"caf\u00e9", {}}}
            << (QByteArray("/x\ty - ERROR Reading File.\n") + QString("caf\u00e9\n").toLocal8Bit())
            << IDC_TEST;
    }
    void lines() {
        QFETCH(QList<Item>, items);
        QFETCH(QByteArray, bytes);
        QFETCH(int, focus);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        for (const Item& item : items) {
            auto* row = new QListWidgetItem(item.text, dlg.m_resultList);
            if (item.engine.isValid()) {
                row->setData(Qt::UserRole, item.engine);
            }
        }
        const QString text = QString::fromLocal8Bit(bytes);

        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        dlg.Control(focus)->setFocus();
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);

        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        dlg.ResultMenu()->CopyAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), text);

        const QString path = m_sandbox->Root() + QStringLiteral("/results.txt");
        QVERIFY(dlg.ResultMenu()->SaveTo(path));
        QCOMPARE(Contents(path), bytes);
    }

    // One menu opens from the mouse and from the keyboard, with Copy and
    // Save As…, also where the platform turns the key into a context menu
    // request of its own (X11 does for the Menu key).
    void menuOpens_data() {
        QTest::addColumn<bool>("mouse");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<bool>("request");
        QTest::newRow("right click") << true << QKeySequence() << false;
        QTest::newRow("Shift+F10") << false << QKeySequence(Qt::SHIFT | Qt::Key_F10) << false;
        QTest::newRow("Menu key") << false << QKeySequence(Qt::Key_Menu) << false;
        QTest::newRow("Menu key and request") << false << QKeySequence(Qt::Key_Menu) << true;
    }
    void menuOpens() {
        QFETCH(bool, mouse);
        QFETCH(QKeySequence, keys);
        QFETCH(bool, request);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.m_resultList->addItem(QStringLiteral("line"));
        dlg.m_resultList->setFocus();
        if (mouse) {
            QWidget* viewport = dlg.m_resultList->viewport();
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    viewport->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(viewport, &event);
        } else {
            if (request) {
                // As the platform sends it, to the window, before the key.
                QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(0, 0), QCursor::pos());
                QApplication::sendEvent(dlg.windowHandle(), &event);
            }
            QTest::keySequence(dlg.windowHandle(), keys);
        }
        QTRY_VERIFY(!VisibleMenus().isEmpty());
        QCOMPARE(VisibleMenus().size(), 1);
        QMenu* menu = VisibleMenus().first();
        QStringList captions;
        for (QAction* action : menu->actions()) {
            captions << action->text();
        }
        QCOMPARE(captions, (QStringList{"&Copy", "&Save As\u2026"}));
        menu->close();
    }

    // In every language each of the menu's items has an access key of its own.
    void accessKeys_data() {
        QTest::addColumn<QString>("language");
        for (const QString& language : QStringList{"en"} + UiTranslation::Available()) {
            QTest::newRow(qPrintable(language)) << language;
        }
    }
    void accessKeys() {
        QFETCH(QString, language);
        const UiTranslation translation({language});
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        QSet<QKeySequence> keys;
        for (QAction* action : {dlg.ResultMenu()->CopyAction(), dlg.ResultMenu()->SaveAction()}) {
            const QKeySequence key = QKeySequence::mnemonic(action->text());
            QVERIFY2(!key.isEmpty() && !keys.contains(key), qPrintable(action->text()));
            keys.insert(key);
        }
    }

    // Saving replaces the file through a new one renamed over it, and says
    // clearly when the folder cannot be written.
    void save_data() {
        QTest::addColumn<bool>("writable");
        QTest::newRow("replaces") << true;
        QTest::newRow("folder not writable") << false;
    }
    void save() {
        QFETCH(bool, writable);
#ifndef Q_OS_UNIX
        if (!writable) {
            QSKIP("Qt sets no folder permissions on Windows, and Wine enforces no ACLs");
        }
#endif
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.m_resultList->addItem(QStringLiteral("new"));
        QString folder = m_sandbox->Root() + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/results.txt");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old\n");
        old.close();
        // A second name for the old file: a rename leaves it as it was.
        const QString link = m_sandbox->Root() + QStringLiteral("/old-link");
        std::error_code linked;
        std::filesystem::create_hard_link(PathOf(path), PathOf(link), linked);
        QVERIFY2(!linked, linked.message().c_str());
        if (!writable) {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
#ifdef Q_OS_UNIX
        if (!writable && ::geteuid() == 0) {
            // Root writes anywhere it has permissions to change; use a folder nobody writes.
            folder = QStringLiteral("/proc");
        }
#endif
        const QString target = writable ? path : folder + QStringLiteral("/results.txt");

        QCOMPARE(dlg.ResultMenu()->SaveTo(target), writable);
        if (writable) {
            QCOMPARE(Contents(path), QByteArray("new\n"));
            QCOMPARE(Contents(link), QByteArray("old\n"));
            QCOMPARE(QDir(m_sandbox->Root() + "/out").entryList(QDir::Files | QDir::Hidden),
                     QStringList{"results.txt"});
            QCOMPARE(VisibleMessageBoxCount(), 0);
        } else {
            QTRY_VERIFY(VisibleMessageBox());
            const QString message = VisibleMessageBox()->text();
            QVERIFY2(message.startsWith(
                         QStringLiteral("Could not save the results to \"%1\".").arg(target)),
                     qPrintable(message));
            QVERIFY2(message.contains(QStringLiteral("folder \"%1\"").arg(folder)),
                     qPrintable(message));
            VisibleMessageBox()->close();
            QCOMPARE(Contents(path), QByteArray("old\n"));
        }
        QFile::setPermissions(m_sandbox->Root() + "/out",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Save As… in Qt's own file dialog saves under the name as typed, in the
    // folder shown, or says why it cannot and stays open; it replaces a file
    // only when the user says so.
    void saveTypedName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("click");    // on Save, else Enter
        QTest::addColumn<bool>("existing"); // the name is taken, and No is the answer
        const QString quoted = QStringLiteral("say \"hi\".txt");
        const QString tooLong = QString(296, u'n') + ".txt";
        QTest::newRow("quotes") << quoted << quoted << false << false;
        QTest::newRow("no suffix") << "a \"b\" c"
                                   << "a \"b\" c.txt" << true << false;
        QTest::newRow("taken, not replaced") << quoted << quoted << true << true;
        QTest::newRow("300 bytes, Enter") << tooLong << QString() << false << false;
        QTest::newRow("300 bytes, Save") << tooLong << QString() << true << false;
    }
    void saveTypedName() {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(bool, click);
        QFETCH(bool, existing);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.m_resultList->addItem(QStringLiteral("line"));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.ResultMenu()->SaveAction()->trigger();
        QPointer<QFileDialog> picker = dlg.findChild<QFileDialog*>();
        QVERIFY(picker && picker->isVisible());
        const QString folder = m_sandbox->Folder('D');
        picker->setDirectory(folder);
        if (picker->findChildren<QWidget*>().isEmpty()) {
            delete picker;
            // Windows' own dialog, which allows no quotes in a name and
            // reports a name too long itself.
            QSKIP("the platform's own file dialog is in use, not Qt's");
        }
        // Qt names these but does not promise the names; SaveDialog finds them by them.
        auto* name = picker->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* buttons = picker->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY2(name && buttons,
                 qPrintable(QStringLiteral("Qt %1's file dialog has no fileNameEdit or buttonBox: "
                                           "SaveDialog must learn their new names")
                                .arg(qVersion())));
        if (existing) {
            QFile old(folder + u'/' + saved);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\n") == 4);
            QTimer::singleShot(0, this, [] {
                if (QMessageBox* box = VisibleMessageBox()) {
                    box->button(QMessageBox::No)->click();
                }
            });
        }
        name->clear();
        QTest::keyClicks(name, typed);
        if (click) {
            QTest::mouseClick(buttons->button(QDialogButtonBox::Save), Qt::LeftButton);
        } else {
            QTest::keyClick(name, Qt::Key_Return);
        }
        const QStringList written = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        if (!saved.isEmpty()) {
            QTRY_COMPARE(picker.isNull(), !existing);
            QCOMPARE(written, QStringList{saved});
            QCOMPARE(Contents(folder + u'/' + saved), QByteArray(existing ? "old\n" : "line\n"));
            delete picker;
            return;
        }
        QTRY_VERIFY(VisibleMessageBox());
        QVERIFY2(
            VisibleMessageBox()->text().contains(QStringLiteral("The name is too long: 300 bytes")),
            qPrintable(VisibleMessageBox()->text()));
        QCOMPARE(written, QStringList());
        QVERIFY(picker->isVisible());
        VisibleMessageBox()->close();
        picker->reject();
    }

private:
    std::unique_ptr<Sandbox> m_sandbox;
};

QTEST_MAIN(ResultListMenuTest)
#include "result_list_menu_test.moc"
