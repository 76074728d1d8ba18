#include "link/rememberedlink.h"

#include <QSettings>

namespace zor {

namespace {

const QString Port = QStringLiteral("link/port");
const QString Baud = QStringLiteral("link/baud");
const QString Host = QStringLiteral("link/host");
const QString TcpPort = QStringLiteral("link/tcpPort");
const QString NetworkLast = QStringLiteral("link/networkLast");

} // namespace

RememberedLink RememberedLink::load() {
    const QSettings s;
    return {s.value(Port).toString(), s.value(Baud).toString(), s.value(Host).toString(),
            s.value(TcpPort).toInt(), s.value(NetworkLast).toBool()};
}

void RememberedLink::storeSerial(const QString &port, const QString &baud) {
    QSettings s;
    s.setValue(Port, port);
    s.setValue(Baud, baud);
    s.setValue(NetworkLast, false);
}

void RememberedLink::storeNetwork(const QString &host, int tcpPort) {
    QSettings s;
    s.setValue(Host, host);
    s.setValue(TcpPort, tcpPort);
    s.setValue(NetworkLast, true);
}

} // namespace zor
