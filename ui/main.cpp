#include "engine/file_io.h"
#include "ui/throughput_app.h"

int main(int argc, char** argv) {
    sarnoval::NoSystemErrorBoxes();
    CThroughputApp app(argc, argv);
    app.InitInstance();
    return 0;
}
