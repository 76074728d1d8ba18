#pragma once

#include "ctl/ctlargs.h"
#include "link/devicelink.h"
#include "records/audittrail.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"

#include <QJsonObject>
#include <QTextStream>

namespace zor::ctl {

// Runs the commands of one invocation on one link and prints what they found.
class Runner : public QObject {
    Q_OBJECT
public:
    Runner(const PortFactory &factory, QTextStream &out, QTextStream &err,
           QObject *parent = nullptr);

    // The exit code.
    Task<int> run(Invocation invocation);
    // Ctrl+C: ends a watch, or the chain after the running command; "ENBL 0;"
    // goes out first when this run switched the high voltage on. The shutdown
    // sequence is never cut short. The run then exits with exitCode.
    void interrupt(int exitCode = ExitInterrupted);

private:
    Task<bool> open(const Invocation &invocation);
    void close();
    Task<int> runStep(const Step &step);
    static Task<int> done(int code);
    Task<int> identity();
    Task<int> status();
    Task<int> watch(const Step &step);
    Task<int> set(const Step &step);
    Task<int> highVoltage(bool on, int warnSeconds = 0);
    // The audit trail, read from its files: no link.
    int auditVerify(const Step &step);
    int auditList(const Step &step);
    Task<int> reset();
    Task<int> shutdown();
    Task<int> send(const Step &step);
    Task<int> season(const Step &step);

    // Runs operations as one command of the link, in the bracket.
    Task<> inCommand(std::function<Task<>()> body);
    // Runs an operation and returns how the supply answered it.
    Task<parse::Ack> acknowledged(std::function<Task<parse::Ack>()> operation);
    // Prints the outcome; a refusal, or an answer other than the acknowledgement
    // when otherRefuses, gives ExitRefused.
    int report(const QString &command, parse::Ack ack, QJsonObject json, const QString &people,
               const QString &reason, bool otherRefuses);
    bool silent() const { return silentReplies_ > 0; }
    int noReply(const QString &command);
    void print(const QJsonObject &json, const QString &people);
    void fail(const QString &message);
    // What the status read right after a refusal shows as its cause, if anything.
    Task<QString> reasonFor(parse::Ack ack, bool otherRefuses);
    // Prints the run's errors as one JSON object when asked to; returns code.
    int finished(int code);
    // Waits in the event loop; false when interrupted.
    Task<bool> pause(int ms);

    DeviceLink link_;
    SupplyState state_;
    SupplyOps ops_;
    AuditTrail audit_;
    QTextStream &out_;
    QTextStream &err_;
    bool json_ = false;
    bool csvRun_ = false;
    int silentReplies_ = 0;
    bool hvSwitchedOn_ = false;
    bool interrupted_ = false;
    int interruptCode_ = ExitInterrupted;
    QStringList errors_; // with --json, printed together at the end
    bool csvHeaderDone_ = false;
    Wake pausing_;
};

} // namespace zor::ctl
