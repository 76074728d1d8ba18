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
    zor::SupplyOps ops(link, state);
    return ops.pollStep() == 0 && state.pollCycle() == 0 ? 0 : 1;
}
