#pragma once

#include "platform/serialport.h"
#include "platform/tcpclient.h"

#include <functional>
#include <memory>

namespace zor {

// Where the link's two transports come from: the real components in the
// console, in-memory fakes or scripted supplies in tests.
struct PortFactory {
    std::function<std::unique_ptr<SerialPortComponent>()> serial;
    std::function<std::unique_ptr<TcpClientComponent>()> tcp;

    static PortFactory real();
};

} // namespace zor
