#include "link/portfactory.h"

#include "platform/qtserialport.h"
#include "platform/qttcpclient.h"

namespace zor {

PortFactory PortFactory::real() {
    return {[] { return std::make_unique<QtSerialPort>(); },
            [] { return std::make_unique<QtTcpClient>(); }};
}

std::unique_ptr<Transport> makeTransport(const LinkTarget &target, const PortFactory &factory) {
    switch (target.kind) {
    case LinkKind::Network:
        return std::make_unique<NetworkTransport>(target, factory.tcp());
    case LinkKind::SerialOverTcp:
        return std::make_unique<SerialOverTcpTransport>(target, factory.tcp());
    case LinkKind::Serial:
        break;
    }
    return std::make_unique<SerialTransport>(target, factory.serial());
}

} // namespace zor
