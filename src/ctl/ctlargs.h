#pragma once

#include "link/transport.h"
#include "supply/supplystate.h"
#include "telemetry/brokersettings.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace zor::ctl {

// What a script gets back; --help lists them.
enum ExitCode {
    ExitDone = 0,
    // audit verify: the chain is broken.
    ExitBroken = 1,
    ExitUsage = 2,
    ExitNoSupply = 3,
    ExitRefused = 4,
    // Ctrl+C, after the safe stop: a shell's 128 + SIGINT, so an interrupted
    // script never looks complete.
    ExitInterrupted = 130
};

// A payload that would switch the high voltage on: "ENBL" with any argument
// but zero. `send` treats it as `hv on`.
bool switchesOn(const QByteArray &payload);

// One poll cycle is seven steps a console tick (66 ms) apart plus their
// exchanges, about 470 ms: a watch cannot print faster.
constexpr int MinWatchIntervalMs = 500;

enum class Verb {
    Identity,
    Status,
    Watch,
    Set,
    HvOn,
    HvOff,
    Reset,
    Shutdown,
    Send,
    Season,
    AuditVerify,
    AuditList
};

// One command of a run; several are chained with "then".
struct Step {
    Verb verb = Verb::Status;
    Channel channel = Channel::Kv;  // set
    double value = 0.0;             // set: kV or mA
    int intervalMs = 1000;          // watch: from the start of one poll cycle to the next
    int count = 0;                  // watch: cycles, 0 until interrupted
    bool csv = false;               // watch
    telemetry::BrokerSettings mqtt; // watch: publish each cycle there too
    QByteArray payload;             // send
    QString file;                   // season: the schedule file
    QString reportDir;              // season: where the record and report go
    int warnSeconds = 0;            // hv on: the warning before X-rays
    QString auditDir;               // audit: the trail's folder, else the console's
    QString since;                  // audit list: the first day (YYYY-MM-DD)
};

struct Invocation {
    LinkTarget target; // the port as a device path, at 115200 baud unless told; none for audit
    bool json = false;
    QList<Step> steps;
};

// Either a run, or a text to print (help, version, or what was wrong) and the exit code.
struct Parsed {
    std::optional<Invocation> invocation;
    QString text; // an error is one JSON object when --json was asked for
    int exitCode = ExitDone;
};

// What a failed run prints on stderr: plain lines, or with --json one object
// {"error": ..., "exit": N} for the whole run.
QString errorText(const QStringList &messages, int exitCode, bool json);

// arguments[0] is the program name.
Parsed parseArguments(const QStringList &arguments);

} // namespace zor::ctl
