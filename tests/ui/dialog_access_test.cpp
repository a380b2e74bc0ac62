// Keyboard and screen reader: what assistive technology sees through each
// control's QAccessibleInterface, and the keys that reach the option buttons.
#include "ui_test_support.h"

#include "res/resource.h"

#include <QAccessible>
#include <QLabel>
#include <QTest>

using namespace ui_test;

namespace {

// The accessible object a screen reader finds for a widget, by walking the dialog's tree.
QAccessibleInterface* Find(QAccessibleInterface* root, QWidget* widget) {
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface* child = root->child(i);
        if (child && child->object() == widget) {
            return child;
        }
    }
    return nullptr;
}

} // namespace

class DialogAccessTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<Sandbox>(); }
    void cleanup() {
        m_sandbox.reset();
        QVERIFY(EngineAtRest());
    }

    // Every control has a name; the five without a caption get one, and the
    // two labels speak for their fields.
    void names_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");
        QTest::newRow("counter") << IDC_KB_COUNT << "KB Read / Written"
                                 << "KB Read / Written:";
        QTest::newRow("path") << IDC_FILE_PATH << "Chosen file" << QString();
        QTest::newRow("drive") << IDC_DRIVE_LETTER << "Drive Letter to test"
                               << "Drive Letter to test:";
        QTest::newRow("results") << IDC_RESULTS << "Results" << QString();
        QTest::newRow("progress") << IDC_PROGRESS << "Progress" << QString();
    }
    void names() {
        QFETCH(int, id);
        QFETCH(QString, name);
        QFETCH(QString, label);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&dlg);
        QVERIFY(root);
        for (QWidget* widget : dlg.TemplateWidgets()) {
            QAccessibleInterface* iface = Find(root, widget);
            QVERIFY2(iface, qPrintable(widget->objectName()));
            QVERIFY2(!iface->text(QAccessible::Name).isEmpty(), qPrintable(widget->objectName()));
        }
        QAccessibleInterface* iface = Find(root, dlg.Control(id));
        QCOMPARE(iface->text(QAccessible::Name), name);
        const auto labels = iface->relations(QAccessible::Label);
        if (label.isEmpty()) {
            QVERIFY(labels.isEmpty());
        } else {
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels.first().first->text(QAccessible::Name), label);
        }
    }

    // The drive field tells which folder each letter stands for.
    void driveDescription() {
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        QAccessibleInterface* iface =
            QAccessible::queryAccessibleInterface(dlg.Control(IDC_DRIVE_LETTER));
        QCOMPARE(iface->text(QAccessible::Description),
                 QStringLiteral("The folder each drive letter stands for:\nC: %1\nD: %2")
                     .arg(m_sandbox->Folder('C'), m_sandbox->Folder('D')));
    }

    // Each option has a key of its own, announced as its shortcut; pressing it
    // checks the option. The focus stays where it was, but a command button
    // other than Test hands it to Test, so that Enter runs the test.
    void optionKeys_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("focusAfter");
        QTest::newRow("A drive") << IDC_MODE_DRIVE << "Alt+D" << IDC_RESULTS << IDC_RESULTS;
        QTest::newRow("1 MB") << IDC_SIZE_1MB << "Alt+1" << IDC_DRIVE_LETTER << IDC_DRIVE_LETTER;
        QTest::newRow("5 MB") << IDC_SIZE_5MB << "Alt+5" << IDC_CLEAR_TEXT << IDC_TEST;
        QTest::newRow("100 MB") << IDC_SIZE_100MB << "Alt+0" << IDC_KB_COUNT << IDC_KB_COUNT;
        QTest::newRow("20 MB") << IDC_SIZE_20MB << "Alt+2" << IDC_HELP_BUTTON << IDC_TEST;
        QTest::newRow("A chosen file") << IDC_MODE_FILE << "Alt+F" << IDC_TEST << IDC_TEST;
    }
    void optionKeys() {
        QFETCH(int, id);
        QFETCH(QString, keys);
        QFETCH(int, focus);
        QFETCH(int, focusAfter);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        // Start from the other option of the pair, so the key has something to change.
        Button(dlg, id == IDC_MODE_FILE ? IDC_MODE_DRIVE : IDC_MODE_FILE)->click();
        Button(dlg, id == IDC_SIZE_20MB ? IDC_SIZE_1MB : IDC_SIZE_20MB)->click();
        QVERIFY(!Button(dlg, id)->isChecked());
        dlg.Control(focus)->setFocus();
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(dlg.Control(id));
        QCOMPARE(iface->role(), QAccessible::RadioButton);
        QCOMPARE(iface->text(QAccessible::Accelerator), keys);
        QCOMPARE(iface->actionInterface()->keyBindingsForAction(
                     QAccessibleActionInterface::toggleAction()),
                 QStringList{keys});
        QTest::keySequence(&dlg, QKeySequence(keys));
        QTRY_VERIFY(Button(dlg, id)->isChecked());
        QVERIFY(iface->state().checked);
        QCOMPARE(QApplication::focusWidget(), dlg.Control(focusAfter));
    }

    // An option key and Enter that arrive together, faster than a click
    // could be animated: Test runs with the option the key chose.
    void optionKeyThenEnter_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("picks");
        QTest::newRow("Alt+1 over 20 MB")
            << IDC_MODE_DRIVE << IDC_SIZE_20MB << int(Qt::Key_1) << IDC_SIZE_1MB << 0;
        QTest::newRow("Alt+D over a file")
            << IDC_MODE_FILE << IDC_SIZE_1MB << int(Qt::Key_D) << IDC_MODE_DRIVE << 0;
        QTest::newRow("Alt+F over a drive")
            << IDC_MODE_DRIVE << IDC_SIZE_1MB << int(Qt::Key_F) << IDC_MODE_FILE << 1;
    }
    void optionKeyThenEnter() {
        QFETCH(int, mode);
        QFETCH(int, size);
        QFETCH(int, key);
        QFETCH(int, chosen);
        QFETCH(int, picks);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        int picked = 0;
        QVERIFY(ShowCountingPicks(dlg, picked));
        Button(dlg, mode)->click();
        Button(dlg, size)->click();
        QWidget* focus = QApplication::focusWidget();
        QCOMPARE(focus, dlg.Control(IDC_TEST));
        QCoreApplication::postEvent(focus, new QKeyEvent(QEvent::KeyPress, key, Qt::AltModifier));
        QCoreApplication::postEvent(focus, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, {}));
        QCoreApplication::processEvents();
        QVERIFY(Button(dlg, chosen)->isChecked());
        QCOMPARE(picked, picks);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 1, kTimeoutMs);
        const QString line = dlg.m_resultList->item(0)->text();
        QVERIFY2(line.contains(picks ? QStringLiteral(" - ERROR Reading File.")
                                     : QStringLiteral(", 976 KB read and written in ")),
                 qPrintable(line));
    }

    // After any option click Enter runs Test, whichever command button had the focus.
    void enterAfterOption_data() {
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("option");
        QTest::newRow("clear text, 5 MB") << IDC_CLEAR_TEXT << IDC_SIZE_5MB;
        QTest::newRow("clear text, file") << IDC_CLEAR_TEXT << IDC_MODE_FILE;
        QTest::newRow("help, 100 MB") << IDC_HELP_BUTTON << IDC_SIZE_100MB;
        QTest::newRow("website, file") << IDC_WEBSITE << IDC_MODE_FILE;
    }
    void enterAfterOption() {
        QFETCH(int, focus);
        QFETCH(int, option);
        CThroughputDlg dlg;
        m_sandbox->Attach(dlg);
        int picks = 0;
        QVERIFY(ShowCountingPicks(dlg, picks));
        dlg.m_resultList->addItem(QStringLiteral("kept"));
        dlg.Control(focus)->setFocus();
        QTest::mouseClick(Button(dlg, option), Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(picks, 1);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_resultList->count(), 2, kTimeoutMs);
        QCOMPARE(dlg.m_resultList->item(0)->text(), QStringLiteral("kept"));
        QCOMPARE(VisibleMessageBoxCount(), 0);
    }

private:
    std::unique_ptr<Sandbox> m_sandbox;
};

QTEST_MAIN(DialogAccessTest)
#include "dialog_access_test.moc"
