#pragma once

#include "sim/devicemodel.h"

#include "sim/replyshaper.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace zor::sim {

struct SimOptions {
    std::optional<QString> ptyLink;
    std::optional<quint16> tcpPort; // 0 picks a free port
    QString logPath;
    ModelSettings model;
    int statusPeriodMs = 1000;
    // Behaviour a unit may show within the protocol (late, mute, noise, pace).
    ReplyShaper::Settings unit;
    // Operator commands that the fault-injection and state flags stand for.
    QStringList startupCommands;
    bool helpRequested = false;
    bool versionRequested = false;
    QString helpText;
};

// arguments include the program name, as QCoreApplication::arguments() gives them.
std::optional<SimOptions> parseOptions(const QStringList &arguments, QString *error);

} // namespace zor::sim
