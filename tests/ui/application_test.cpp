// The application object: it shows the dialog centred, runs it to its end
// and leaves no test thread behind.
#include "ui_test_support.h"

#include "res/resource.h"
#include "ui/throughput_app.h"

#include <QScreen>
#include <QTest>
#include <QTimer>

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
            // A test left running when the dialog closes.
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
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        QVERIFY(modal);
        QVERIFY(parentless);
        QVERIFY(EngineAtRest());
        QCOMPARE(sandbox.Leftovers('C'), QStringList());
        // No name of its own: the program file's.
        QCOMPARE(QCoreApplication::applicationName(), ProgramName());
    }

    // The Wayland app id is the name of the desktop entry that is installed.
    void desktopFileName() {
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral(SARNOVAL_APP_ID));
        QVERIFY(QFileInfo::exists(QStringLiteral(SARNOVAL_SOURCE_DIR "/res/") +
                                  QGuiApplication::desktopFileName() + QStringLiteral(".desktop")));
    }
};

int main(int argc, char** argv) {
    CThroughputApp app(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "application_test.moc"
