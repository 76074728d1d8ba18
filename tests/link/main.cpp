#include <QApplication>
#include <QTest>

#include "tst_link.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    int status = 0;
    status |= zor::test::runProtocolTests(argc, argv);
    status |= zor::test::runDeviceLinkTests(argc, argv);
    status |= zor::test::runRealTransportTests(argc, argv);
    return status;
}
