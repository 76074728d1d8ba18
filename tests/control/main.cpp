#include "console.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    int status = 0;
    status |= zor::test::runSetpointTests(argc, argv);
    status |= zor::test::runSwitchTests(argc, argv);
    return status;
}
