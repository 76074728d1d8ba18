#pragma once

#include "link/transport.h"
#include "platform/serialport.h"
#include "platform/tcpclient.h"

#include <functional>
#include <memory>

namespace zor {

// Where the link's components come from: the real ones in the console,
// in-memory fakes or scripted supplies in tests.
struct PortFactory {
    std::function<std::unique_ptr<SerialPortComponent>()> serial;
    std::function<std::unique_ptr<TcpClientComponent>()> tcp;

    static PortFactory real();
};

// The transport of the target's kind, not yet opened.
std::unique_ptr<Transport> makeTransport(const LinkTarget &target, const PortFactory &factory);

} // namespace zor
