#ifdef QT_WIDGETS_LIB
#error "the supply layer and the link must build without Qt Widgets"
#endif
#include "link/devicelink.h"
#include "supply/supplyops.h"

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    zor::DeviceLink link(zor::PortFactory::real());
    zor::SupplyState state;
    return zor::SupplyOps(link, state).pollStep();
}
