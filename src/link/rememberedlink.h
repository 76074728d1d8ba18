#pragma once

#include "link/transport.h"

#include <QString>

namespace zor {

// The last serial port, baud rate and network address that opened, kept
// between runs and offered as the defaults next time. Nothing is opened from
// here: only the operator's or the command line's choice opens a port.
struct RememberedLink {
    QString port; // as typed: "1", "/dev/ttyUSB0"
    QString baud; // "115200" or "9600"
    QString host;
    int tcpPort = 0;
    bool networkLast = false;                 // the network address opened after the serial port
    LinkKind networkKind = LinkKind::Network; // what was reached at that address

    static RememberedLink load();
    static void storeSerial(const QString &port, const QString &baud);
    static void storeNetwork(const LinkTarget &target);
};

} // namespace zor
