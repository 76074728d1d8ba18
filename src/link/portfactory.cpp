#include "link/portfactory.h"

#include "platform/qtserialport.h"
#include "platform/qttcpclient.h"

namespace zor {

PortFactory PortFactory::real() {
    return {[] { return std::make_unique<QtSerialPort>(); },
            [] { return std::make_unique<QtTcpClient>(); }};
}

} // namespace zor
