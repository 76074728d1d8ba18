#include "link/linkoptions.h"

#include "platform/numbertext.h"
#include "platform/portnames.h"

#include <QCommandLineParser>

namespace zor {

namespace {

// "host:5025" or "[::1]:5025"; a port from 1 to 65535 is required.
bool splitHost(const QString &text, QString &host, int &port) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    host = text.left(colon);
    // An IPv6 address has colons of its own and comes in brackets.
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':'))
        return false;
    port = plainWhole(text.mid(colon + 1), 65535).value_or(0);
    return !host.isEmpty() && port >= 1;
}

} // namespace

LinkOptions::LinkOptions()
    : port(QStringLiteral("port"),
           QStringLiteral("Serial port PORT: a number as in the Ports menu (1 to %1) or a "
                          "device path.")
               .arg(MaxPortNumber),
           QStringLiteral("PORT")),
      baud(QStringLiteral("baud"), QStringLiteral("The serial port's baud rate: 115200 or 9600."),
           QStringLiteral("RATE")),
      host(QStringLiteral("host"), QStringLiteral("The supply at HOST:PORT over TCP."),
           QStringLiteral("HOST:PORT")) {}

void LinkOptions::addTo(QCommandLineParser &parser) const {
    parser.addOptions({port, baud, host});
}

std::variant<LinkTarget, QString> LinkOptions::read(const QCommandLineParser &parser) const {
    LinkTarget target;
    if (parser.isSet(port)) {
        target.port = parser.value(port).trimmed();
        if (!serialDeviceFor(target.port))
            return QStringLiteral("--port %1: not a port number from 1 to %2 nor a device path.")
                .arg(parser.value(port))
                .arg(MaxPortNumber);
    }
    if (parser.isSet(baud)) {
        target.baud = parser.value(baud).trimmed();
        if (target.baud != QLatin1String("115200") && target.baud != QLatin1String("9600"))
            return QStringLiteral("--baud %1: the rate must be 115200 or 9600.").arg(target.baud);
        if (target.port.isEmpty())
            return QStringLiteral("--baud needs --port.");
    }
    if (parser.isSet(host)) {
        if (!target.port.isEmpty())
            return QStringLiteral("Give either --port or --host, not both.");
        if (!splitHost(parser.value(host).trimmed(), target.host, target.tcpPort))
            return QStringLiteral("--host %1: give the address and TCP port as HOST:PORT, the "
                                  "port from 1 to 65535.")
                .arg(parser.value(host));
    }
    return target;
}

} // namespace zor
