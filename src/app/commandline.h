#pragma once

#include "link/linkoptions.h"
#include "telemetry/brokersettings.h"

#include <QString>
#include <QStringList>
#include <variant>

namespace zor {

// What the console was asked for on its command line.
struct CommandLine : LinkTarget {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    bool autoUpdate = false;
    // --last: the link that opened last, polled; resolved by withLastLink().
    bool last = false;
    // The data log to start with; empty for none.
    QString logFile;
    // The broker to publish to; off unless --mqtt is given.
    telemetry::BrokerSettings mqtt;
};

struct CommandLineError {
    QString message;
};

// Reads the arguments (program name first). Nothing is opened or shown here.
std::variant<CommandLine, CommandLineError> parseCommandLine(const QStringList &arguments);
struct RememberedLink;
// --last made concrete: the remembered link and polling, or, with none
// remembered, nothing given (the console asks for a port).
CommandLine withLastLink(CommandLine line, const RememberedLink &remembered);
// The usage text that --help prints and a bad argument follows.
QString commandLineUsage();

} // namespace zor
