#pragma once

#include <QString>
#include <QStringList>
#include <variant>

namespace zor {

// What the console was asked for on its command line.
struct CommandLine {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    // A port number as in the Ports menu or a device path; empty for none.
    QString port;
    // "115200" or "9600"; empty when not given.
    QString baud;
    QString host;
    int tcpPort = 0;
    bool autoUpdate = false;
};

struct CommandLineError {
    QString message;
};

// Reads the arguments (program name first). Nothing is opened or shown here.
std::variant<CommandLine, CommandLineError> parseCommandLine(const QStringList &arguments);
// The usage text that --help prints and a bad argument follows.
QString commandLineUsage();

} // namespace zor
