#pragma once

#include "link/devicelink.h"
#include "supply/auditevent.h"
#include "supply/replyparse.h"
#include "supply/supplystate.h"
#include "supply/xraywarning.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <array>
#include <functional>

namespace zor {

// The factory parameters the configuration page writes, each one mnemonic.
enum class FactoryWrite {
    HardwareRevision,
    Model,
    KvFullScale,
    MaFullScale,
    PreHeat,
    FilamentTurnOn,
    ArcConfig,
    KvRampTime,
    MaRampTime,
    MaOffset,
    FilamentLimitMax,
    FilamentRampTime,
};

// The protocol operations the poll, the windows and tools run against the
// supply. Each is a command queued on the link (one at a time, in order); its
// exchanges suspend it until the reply comes, the replies go through the pure
// parsers of replyparse.h into SupplyState. The payloads, their order and the
// conversions are the windows' own. The *Task forms run inside a command the
// caller already has; the others queue one.
//
//   DeviceLink link(factory);  SupplyState state;  SupplyOps ops(link, state);
//   connect(&state, &SupplyState::sampled, plot, &Plot::add);
//   timer -> ops.pollTick();      // one of the seven steps per tick
class SupplyOps : public QObject {
    Q_OBJECT
public:
    // The operations whose answer is an acknowledgement, reported by answered().
    enum class Operation { ProgramKv, ProgramMa, HvOn, HvOff, ResetFault, LocalControl };
    Q_ENUM(Operation)

    SupplyOps(DeviceLink &link, SupplyState &state, QObject *parent = nullptr);

    DeviceLink &link() { return link_; }
    SupplyState &state() { return state_; }

    // Monotonic (ns) and wall clocks stamped on each sample; tests inject their own.
    void setClocks(std::function<qint64()> monotonicNs, std::function<QDateTime()> wallClock);

    // `ReadMonitors`: "VMON;" "IMON;" "FMON;"; a silent monitor is skipped, a bad
    // reply ends the run.
    void readMonitors() { queue(&SupplyOps::monitorsTask); }
    Task<> monitorsTask();
    // `ReadAuxMonitors`: "LVPS;" "TEMP;", the same way.
    void readAuxMonitors() { queue(&SupplyOps::auxMonitorsTask); }
    Task<> auxMonitorsTask();
    // `getScaling_Click`: "SLVR ;" then "SLIR ;" to kvPerBit and maPerBit; a bad SLVR ends the run,
    // a silent one does not.
    void readScaling() { queue(&SupplyOps::scalingTask); }
    Task<> scalingTask();
    // "VSET;" or "ISET;" to the setpoint at the present scale.
    void readSetpoint(Channel c);
    Task<> setpointTask(Channel c);
    // "STAT;" (silence counts a failed reply) then "FLT;": HV, faults, interlock,
    // arcs. An open interlock turns the switch off.
    void requestStatus() { queue(&SupplyOps::statusTask); }
    Task<> statusTask();
    // "VREF n;" / "IREF n;": the setpoint becomes n only on ';' (Taken).
    void program(Channel c, int count);
    Task<parse::Ack> programTask(Channel c, int count);
    // "ENBL 1;" / "ENBL 0;". The switch moves at once; the lamp on ';'. An on
    // goes out only if no off was asked since `offSeen` (the count when the
    // on was asked for; now when not given).
    void setHighVoltage(bool on) { setHighVoltageSince(on, offAsked()); }
    void setHighVoltageSince(bool on, quint64 offSeen);
    Task<parse::Ack> highVoltageTask(bool on, quint64 offSeen);
    // For a run: brings the high voltage to `on` unless the switch is there
    // already (a toggle alone would invert its meaning once anything else had
    // moved the switch). An on is never sent once an off was asked for after
    // the run began (`offSeen`): it answers false, and the run must end. Await
    // it inside a command body, so the position it reads is the one it acts on.
    // An on the supply refused answers false too.
    Task<bool> runHighVoltage(bool on, quint64 offSeen);
    // "ENBL 0;" as the next frame on the wire, ahead of anything queued; counts
    // as an off asked.
    void switchOffFirst();
    // Offs asked so far (the link's count): an on asked at one count is never
    // written at another.
    quint64 offAsked() const { return link_.offsAsked(); }
    // Counts an off the caller sends its own way, before it is sent.
    void noteOffAsked() { link_.noteOffAsked(); }
    // A run's own closing off, through the off lane like the X-ray off key's:
    // ahead of the exchange queue, so a stop never waits for the poll. The
    // run's stop is its audit entry.
    void runSwitchOff();
    // The warning before X-rays that the switch and the runs count down.
    XrayWarning &xrayWarning() { return xrayWarning_; }
    // The operator's "Clear Count": nothing is sent, but it is audited.
    void clearArcs();
    // A run's start or stop, one audit entry each (its steps have none).
    void auditRun(const QString &action, const QString &detail);
    // "HWVR;" "MODR;" "FREV;" (revision and build) "SOFT;" "SNUR;". Answers
    // Taken when the field was read, NoReply, or Other for a reply it cannot read.
    void readIdentity(IdentityField f);
    Task<parse::Ack> identityTask(IdentityField f);
    // "WDTT;", sent without waiting for a reply.
    void tickleWatchdog() { queue(&SupplyOps::watchdogTickleTask); }
    Task<> watchdogTickleTask();
    // "WDTE 1;" / "WDTE 0;".
    void setWatchdog(bool on);
    Task<> watchdogTask(bool on);
    // "CLR;": answered ';' (cleared) or '$' (still clearing) it is taken, the
    // one reading the console and zor-ctl share.
    void resetFault();
    Task<parse::FaultReset> faultResetTask();
    // "99,0,": hands the supply back to local control, taken on '$'.
    void localControl();
    Task<parse::Ack> localControlTask();
    // A seasoning step's setpoints, replies not examined: "IREF 0;", then
    // "VREF kv;", then "IREF ma;", so the current is dropped before the
    // voltage moves. `wanted` is asked before each: a stop while one waited
    // ends the step there. (0, 0) is the zeroing that closes every run.
    Task<> seasoningStepTask(qint16 kv, qint16 ma, const std::function<bool()> &wanted);

    // "ENBL 0;" without waiting for its reply: the closing off of an ending.
    Task<> closingOffTask();
    // "10,0," .. "13,0,": one of the four setpoint channels to zero, the reply
    // not collected (the shutdown's last steps).
    static constexpr int ZeroedChannels = 4;
    static QByteArray zeroingPayload(int channel);
    Task<> zeroChannelTask(int channel);

    // CANCEL: "10,n" / "11,n" (no trailing comma) returns the supply to the
    // accepted count; the reply is not collected.
    void revertSetpoint(Channel c, int count);
    Task<> revertSetpointTask(Channel c, int count);
    // "30,": resets the supply's total hours; the answer is collected only so
    // it cannot be taken for the next command's.
    void resetTotalHours() { queue(&SupplyOps::totalHoursResetTask); }
    Task<> totalHoursResetTask();
    // "40,rev,": the hardware revision number, taken on '$'.
    Task<bool> hardwareRevisionNumberTask(QByteArray revision);
    // "96,": the pass-through toggle; only silence counts.
    void togglePassthrough() { queue(&SupplyOps::passthroughTask); }
    Task<> passthroughTask();

    // Service writes. "PASS key;" opens them; no reply is read.
    Task<> unlockTask(QByteArray key);
    // "CONF;": the stored factory configuration, the reply as it came.
    Task<QByteArray> configurationTask();
    // One factory parameter: its mnemonic, a blank, the argument and ";".
    // `reason` is the operator's, for the audit trail.
    Task<> factoryWriteTask(FactoryWrite w, QByteArray argument, QString reason = {});
    // "SLVP kV*100;" (answer awaited) then "SLIP mA*1000;". The kV scale is
    // stored only when the supply took the first; true then.
    Task<bool> programScalingTask(QByteArray kvArgument, QByteArray maArgument, double kvFull,
                                  QString reason = {});
    // "SNUS serial;": no reply read.
    Task<> serialNumberWriteTask(QByteArray serial, QString reason = {});
    // "BAUD code;": the supply's own line rate; the reply is collected, not examined.
    Task<> unitBaudRateTask(int code, QString reason = {});
    // "27,": the user options, the reply as it came.
    Task<QByteArray> userOptionsTask();
    // "09," and each field followed by a comma; the reply as it came.
    Task<QByteArray> saveUserOptionsTask(QList<QByteArray> fields);

    // A status message the supply sent on its own over the network.
    void applyNetworkStatus(const QByteArray &text);

    // The poll: seven steps, one per tick, in this order; after the last one
    // the cycle is closed and SupplyState::sampled() emitted. A tick that
    // comes while the previous one is still queued is dropped.
    struct PollStep {
        const char *name;
        Task<> (SupplyOps::*run)();
    };
    static const std::array<PollStep, 7> PollSteps;
    int pollStep() const { return pollStep_; }
    void pollTick();
    Task<> pollTask();

signals:
    void answered(zor::SupplyOps::Operation op, zor::parse::Ack ack);
    // Every exchange, with its reply (empty when none came).
    void replied(const QByteArray &payload, const QByteArray &reply);
    // The first monitor of a poll cycle was answered: an update asked for has come.
    void monitorsAnswered();
    // A fault reset was answered '$': the supply is still clearing.
    void faultResetClearing(bool clearing);
    // Every good set-point read-back, changed or not: a view that showed
    // something else in its place (a programming outcome) repaints it.
    void setpointRead(zor::Channel c, const zor::Reading &r);
    // Every write the console or zor-ctl makes, once, as it ended (poll reads
    // are none): the audit trail's feed.
    void audited(const zor::AuditEvent &event);

private:
    void queue(Task<> (SupplyOps::*task)());
    // Exchanges a payload and notes whether anything came back.
    Task<QByteArray> exchange(const char *payload);
    Task<QByteArray> exchangeText(QByteArray payload, std::optional<quint64> offSeen = {});
    // Sends a payload whose reply is not collected.
    Task<> sendText(QByteArray payload);
    // Reads one monitor; false when its reply was there but bad.
    Task<bool> readMonitor(Quantity q);
    // The monitors one poll step reads, in the table's order, until a bad reply.
    Task<> readGroup(ReadBy step);
    void applyFaults(const parse::FaultFlags &flags);
    void applyHighVoltageAck(bool on, const QByteArray &reply);
    // The switching itself; a run's own switching is not audited step by step.
    Task<parse::Ack> switchTask(bool on, quint64 offSeen, bool audited);
    void audit(const QString &action, const QString &before, const QString &after,
               AuditOutcome outcome, const QString &reason = {});
    Task<> sendFactoryWrite(FactoryWrite w, QByteArray argument);
    Task<> kvSetpointTask() { return setpointTask(Channel::Kv); }
    Task<> maSetpointTask() { return setpointTask(Channel::Ma); }
    // The unit's reads that got no reply, read again, once, at the first
    // answer after a silence: a supply silent at the start stays unknown
    // otherwise.
    void rereadUnit();

    DeviceLink &link_;
    SupplyState &state_;
    int pollStep_ = 0;
    // One bit per identity field and one for the scale: its read got no reply.
    static constexpr unsigned ScaleBit = 1u << IdentityFieldCount;
    unsigned unread_ = 0;
    // Silence since the unit was last read. What a re-read meets is none: a
    // unit that never answers some reads is asked again only after the next.
    bool silentSinceRead_ = false;
    bool rereading_ = false;
    std::function<qint64()> monotonicNs_;
    std::function<QDateTime()> wallClock_;
    XrayWarning xrayWarning_{link_};
    // The options last read, the "before" of the next save.
    QByteArray userOptions_;
};

} // namespace zor
