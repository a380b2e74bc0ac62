// The application: it shows the main dialog and ends when the dialog closes.
#pragma once

#include <QApplication>

class CThroughputApp : public QApplication {
    Q_OBJECT

public:
    CThroughputApp(int& argc, char** argv);

    // Runs the main dialog to its end. Returns false: there is nothing to
    // run after it.
    bool InitInstance();
};
