#include "engine/file_io.h"
#include "ui/throughput_app.h"
#include "ui/translation.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

QtMessageHandler g_qtHandler = nullptr;

// Qt ends the program with abort() when no window system can be reached, and
// tells only of reinstalling the application. Before the application exists,
// a fatal message can only be that.
void NoDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        g_qtHandler(type, context, message);
        return;
    }
    std::fputs("Sarnoval needs a display, and none can be reached.\n"
               "Run it on a desktop, or use sarnoval-cli for the same tests in a terminal.\n",
               stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char** argv) {
    sarnoval::NoSystemErrorBoxes();
    g_qtHandler = qInstallMessageHandler(NoDisplay);
    CThroughputApp app(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    // The system's language (LANGUAGE, LANG), for the whole run.
    const UiTranslation translation;
    app.InitInstance();
    return 0;
}
