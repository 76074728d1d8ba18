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
// The usage text that --help prints and a bad argument follows.
QString commandLineUsage();

} // namespace zor
