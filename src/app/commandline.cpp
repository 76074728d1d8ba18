#include "app/commandline.h"

#include "link/rememberedlink.h"

#include <QCommandLineParser>

namespace zor {

namespace {

struct Options {
    QCommandLineParser parser;
    LinkOptions link;
    QCommandLineOption autoUpdate{QStringLiteral("auto-update"),
                                  QStringLiteral("Start polling once the link is open.")};
    QCommandLineOption last{QStringLiteral("last"),
                            QStringLiteral("Open the last port or address that opened and start "
                                           "polling; without one, ask for a port.")};
    QCommandLineOption log{QStringLiteral("log"),
                           QStringLiteral("Write one CSV row per poll cycle to FILE, and the "
                                          "events to FILE.events.txt."),
                           QStringLiteral("FILE")};
    telemetry::BrokerOptions broker;

    Options() {
        parser.setApplicationDescription(
            QStringLiteral("Operator and service console for ZOR high-voltage supplies."));
        link.addTo(parser);
        parser.addOptions({autoUpdate, last, log});
        broker.addTo(parser);
        parser.addHelpOption();
        parser.addVersionOption();
    }
};

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
    const auto target = o.link.read(o.parser);
    if (const auto *why = std::get_if<QString>(&target))
        return CommandLineError{*why};
    static_cast<LinkTarget &>(line) = std::get<LinkTarget>(target);
    line.last = o.parser.isSet(o.last);
    if (line.last && line.given())
        return CommandLineError{
            QStringLiteral("--last names its own link: give no --port or --host.")};
    if (line.autoUpdate && !line.given() && !line.last)
        return CommandLineError{QStringLiteral("--auto-update needs --port or --host.")};
    line.logFile = o.parser.value(o.log);
    const auto mqtt = o.broker.read(o.parser);
    if (const auto *why = std::get_if<QString>(&mqtt))
        return CommandLineError{*why};
    line.mqtt = std::get<telemetry::BrokerSettings>(mqtt);
    return line;
}

CommandLine withLastLink(CommandLine line, const RememberedLink &remembered) {
    if (!line.last)
        return line;
    const bool network =
        !remembered.host.isEmpty() && (remembered.networkLast || remembered.port.isEmpty());
    if (network) {
        line.kind = remembered.networkKind;
        line.host = remembered.host;
        line.tcpPort = remembered.tcpPort;
    } else if (!remembered.port.isEmpty()) {
        line.port = remembered.port;
        line.baud = remembered.baud;
    }
    line.autoUpdate = line.given();
    return line;
}

QString commandLineUsage() {
    // Read before any application object exists, which the parser would name the program by.
    return Options().parser.helpText().replace(QStringLiteral("<executable_name>"),
                                               QStringLiteral("zor-console"));
}

} // namespace zor
