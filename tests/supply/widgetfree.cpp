// Links the supply layer and the link alone: a widget symbol would not resolve.
#include "link/devicelink.h"
#include "supply/supplyops.h"

#include <QCoreApplication>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    zor::DeviceLink link(zor::PortFactory::real());
    zor::SupplyState state;
    return zor::SupplyOps(link, state).pollStep();
}
