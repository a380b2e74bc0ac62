#include "ui/throughput_app.h"

int main(int argc, char** argv) {
    CThroughputApp app(argc, argv);
    app.InitInstance();
    return 0;
}
