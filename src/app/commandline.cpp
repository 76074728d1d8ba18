#include "app/commandline.h"

#include "platform/portnames.h"

#include <QCommandLineParser>

namespace zor {

namespace {

const QStringList BaudRates = {QStringLiteral("115200"), QStringLiteral("9600")};

struct Options {
    QCommandLineParser parser;
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Open serial port PORT at start: a number as in the "
                                           "Ports menu (1 to %1) or a device path.")
                                .arg(MaxPortNumber),
                            QStringLiteral("PORT")};
    QCommandLineOption baud{QStringLiteral("baud"),
                            QStringLiteral("The serial port's baud rate: 115200 or 9600."),
                            QStringLiteral("RATE")};
    QCommandLineOption host{QStringLiteral("host"),
                            QStringLiteral("Connect to the supply at HOST:PORT over TCP at start."),
                            QStringLiteral("HOST:PORT")};
    QCommandLineOption autoUpdate{QStringLiteral("auto-update"),
                                  QStringLiteral("Start polling once the link is open.")};

    Options() {
        parser.setApplicationDescription(
            QStringLiteral("Operator and service console for ZOR high-voltage supplies."));
        parser.addOptions({port, baud, host, autoUpdate});
        parser.addHelpOption();
        parser.addVersionOption();
    }
};

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
    bool ok = false;
    port = text.mid(colon + 1).toInt(&ok);
    return ok && !host.isEmpty() && port >= 1 && port <= 65535;
}

} // namespace

std::variant<CommandLine, CommandLineError> parseCommandLine(const QStringList &arguments) {
    Options o;
    if (!o.parser.parse(arguments))
        return CommandLineError{o.parser.errorText()};
    if (!o.parser.positionalArguments().isEmpty())
        return CommandLineError{QStringLiteral("Unexpected argument: %1")
                                    .arg(o.parser.positionalArguments().constFirst())};
    CommandLine line;
    if (o.parser.isSet(QStringLiteral("help")) || o.parser.isSet(QStringLiteral("help-all")))
        line.action = CommandLine::Action::Help;
    else if (o.parser.isSet(QStringLiteral("version")))
        line.action = CommandLine::Action::Version;
    line.autoUpdate = o.parser.isSet(o.autoUpdate);
    if (o.parser.isSet(o.port)) {
        line.port = o.parser.value(o.port).trimmed();
        if (!serialDeviceFor(line.port))
            return CommandLineError{
                QStringLiteral("--port %1: not a port number from 1 to %2 nor a device path.")
                    .arg(o.parser.value(o.port))
                    .arg(MaxPortNumber)};
    }
    if (o.parser.isSet(o.baud)) {
        line.baud = o.parser.value(o.baud).trimmed();
        if (!BaudRates.contains(line.baud))
            return CommandLineError{
                QStringLiteral("--baud %1: the rate must be 115200 or 9600.").arg(line.baud)};
        if (line.port.isEmpty())
            return CommandLineError{QStringLiteral("--baud needs --port.")};
    }
    if (o.parser.isSet(o.host)) {
        if (!line.port.isEmpty())
            return CommandLineError{QStringLiteral("Give either --port or --host, not both.")};
        if (!splitHost(o.parser.value(o.host).trimmed(), line.host, line.tcpPort))
            return CommandLineError{
                QStringLiteral("--host %1: give the address and TCP port as HOST:PORT, the port "
                               "from 1 to 65535.")
                    .arg(o.parser.value(o.host))};
    }
    if (line.autoUpdate && line.port.isEmpty() && line.host.isEmpty())
        return CommandLineError{QStringLiteral("--auto-update needs --port or --host.")};
    return line;
}

QString commandLineUsage() {
    // Read before any application object exists, which the parser would name the program by.
    return Options().parser.helpText().replace(QStringLiteral("<executable_name>"),
                                               QStringLiteral("zor-console"));
}

} // namespace zor
