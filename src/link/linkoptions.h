#pragma once

#include "link/transport.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <variant>

class QCommandLineParser;

namespace zor {

// The link a program is told to open on its command line. The console and
// zor-ctl take the same options with the same rules, so a script and an
// operator name a supply the same way.
struct LinkOptions {
    QCommandLineOption port;
    QCommandLineOption baud;
    // One per kind reached at a TCP address: --host, ...
    QList<QCommandLineOption> addresses;

    LinkOptions();
    void addTo(QCommandLineParser &parser) const;
    // The target the parsed options name (none given is an empty target), or
    // what is wrong with them.
    std::variant<LinkTarget, QString> read(const QCommandLineParser &parser) const;
};

} // namespace zor
