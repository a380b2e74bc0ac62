#include "engine/file_io.h"
#include "ui/throughput_app.h"
#include "ui/translation.h"

int main(int argc, char** argv) {
    sarnoval::NoSystemErrorBoxes();
    CThroughputApp app(argc, argv);
    // The system's language (LANGUAGE, LANG), for the whole run.
    const UiTranslation translation;
    app.InitInstance();
    return 0;
}
