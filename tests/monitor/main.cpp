#include "tst_monitor.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    int status = 0;
    status |= zor::test::runStatusTests(argc, argv);
    status |= zor::test::runReadbackTests(argc, argv);
    status |= zor::test::runIdentityTests(argc, argv);
    return status;
}
