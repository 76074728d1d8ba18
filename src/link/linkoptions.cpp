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
           QStringLiteral("RATE")) {
    for (const TcpKindName &k : TcpKinds)
        addresses.append(QCommandLineOption(QString::fromLatin1(k.option),
                                            QString::fromLatin1(k.help),
                                            QStringLiteral("HOST:PORT")));
}

void LinkOptions::addTo(QCommandLineParser &parser) const {
    parser.addOptions({port, baud});
    parser.addOptions(addresses);
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
    QString named = target.port.isEmpty() ? QString() : QStringLiteral("port");
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const QCommandLineOption &address = addresses[i];
        if (!parser.isSet(address))
            continue;
        const QString name = address.names().constFirst();
        if (!named.isEmpty())
            return QStringLiteral("Give either --%1 or --%2, not both.").arg(named, name);
        named = name;
        target.kind = TcpKinds[i].kind;
        if (!splitHost(parser.value(address).trimmed(), target.host, target.tcpPort))
            return QStringLiteral("--%1 %2: give the address and TCP port as HOST:PORT, the "
                                  "port from 1 to 65535.")
                .arg(name, parser.value(address));
    }
    return target;
}

} // namespace zor
