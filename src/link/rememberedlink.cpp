#include "link/rememberedlink.h"

#include <QSettings>

namespace zor {

namespace {

const QString Port = QStringLiteral("link/port");
const QString Baud = QStringLiteral("link/baud");
const QString Host = QStringLiteral("link/host");
const QString TcpPort = QStringLiteral("link/tcpPort");
const QString NetworkLast = QStringLiteral("link/networkLast");
const QString NetworkKind = QStringLiteral("link/networkKind");

} // namespace

RememberedLink RememberedLink::load() {
    const QSettings s;
    RememberedLink last{s.value(Port).toString(), s.value(Baud).toString(),
                        s.value(Host).toString(), s.value(TcpPort).toInt(),
                        s.value(NetworkLast).toBool()};
    const QString kind = s.value(NetworkKind).toString();
    for (const TcpKindName &k : TcpKinds)
        if (QString::fromLatin1(k.option) == kind)
            last.networkKind = k.kind;
    return last;
}

void RememberedLink::storeSerial(const QString &port, const QString &baud) {
    QSettings s;
    s.setValue(Port, port);
    s.setValue(Baud, baud);
    s.setValue(NetworkLast, false);
}

void RememberedLink::storeNetwork(const LinkTarget &target) {
    QSettings s;
    s.setValue(Host, target.host);
    s.setValue(TcpPort, target.tcpPort);
    for (const TcpKindName &k : TcpKinds)
        if (k.kind == target.kind)
            s.setValue(NetworkKind, QString::fromLatin1(k.option));
    s.setValue(NetworkLast, true);
}

} // namespace zor
