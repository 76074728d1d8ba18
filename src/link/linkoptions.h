#pragma once

#include <QCommandLineOption>
#include <QString>
#include <variant>

class QCommandLineParser;

namespace zor {

// The link a program is told to open on its command line. The console and
// zor-ctl take the same options with the same rules, so a script and an
// operator name a supply the same way.
struct LinkTarget {
    QString port; // a number as in the Ports menu or a device path; empty for TCP
    QString baud; // "115200" or "9600"; empty when not given
    QString host; // empty for a serial port
    int tcpPort = 0;
    bool given() const { return !port.isEmpty() || !host.isEmpty(); }
};

struct LinkOptions {
    QCommandLineOption port;
    QCommandLineOption baud;
    QCommandLineOption host;

    LinkOptions();
    void addTo(QCommandLineParser &parser) const;
    // The target the parsed options name (none given is an empty target), or
    // what is wrong with them.
    std::variant<LinkTarget, QString> read(const QCommandLineParser &parser) const;
};

} // namespace zor
