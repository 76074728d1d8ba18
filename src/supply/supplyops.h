#pragma once

#include "link/devicelink.h"
#include "supply/replyparse.h"
#include "supply/supplystate.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <array>
#include <functional>

namespace zor {

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
    void setHighVoltage(bool on) { setHighVoltageSince(on, state_.offAsked()); }
    void setHighVoltageSince(bool on, quint64 offSeen);
    Task<parse::Ack> highVoltageTask(bool on, quint64 offSeen);
    // For a run: brings the high voltage to `on` unless the switch is there
    // already (a toggle alone would invert its meaning once anything else had
    // moved the switch). An on is never sent once an off was asked for after
    // the run began (`offSeen`): it answers false, and the run must end. Await
    // it inside a command body, so the position it reads is the one it acts on.
    Task<bool> runHighVoltage(bool on, quint64 offSeen);
    // "ENBL 0;" as the next frame on the wire, ahead of anything queued; counts
    // as an off asked.
    void switchOffFirst();
    // "HWVR;" "MODR;" "FREV;" (revision and build) "SOFT;" "SNUR;".
    void readIdentity(IdentityField f);
    Task<> identityTask(IdentityField f);
    // "WDTT;", sent without waiting for a reply.
    void tickleWatchdog() { queue(&SupplyOps::watchdogTickleTask); }
    Task<> watchdogTickleTask();
    // "WDTE 1;" / "WDTE 0;".
    void setWatchdog(bool on);
    Task<> watchdogTask(bool on);
    // "CLR;", taken on '$'.
    void resetFault() { queue(&SupplyOps::faultResetTask); }
    Task<> faultResetTask();
    // "99,0,": hands the supply back to local control, taken on '$'.
    void localControl();
    Task<parse::Ack> localControlTask();
    // A seasoning step's setpoints, replies not examined: "IREF 0;", then
    // "VREF kv;", then "IREF ma;", so the current is dropped before the
    // voltage moves. `wanted` is asked before each: a stop while one waited
    // ends the step there. (0, 0) is the zeroing that closes every run.
    Task<> seasoningStepTask(qint16 kv, qint16 ma, const std::function<bool()> &wanted);
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
    // Every good set-point read-back, changed or not: a view that showed
    // something else in its place (a programming outcome) repaints it.
    void setpointRead(zor::Channel c, const zor::Reading &r);

private:
    void queue(Task<> (SupplyOps::*task)());
    // Exchanges a payload and notes whether anything came back.
    Task<QByteArray> exchange(const char *payload);
    Task<QByteArray> exchangeText(QByteArray payload);
    // Reads one monitor; false when its reply was there but bad.
    Task<bool> readMonitor(Quantity q);
    // The monitors one poll step reads, in the table's order, until a bad reply.
    Task<> readGroup(ReadBy step);
    void applyFaults(const parse::FaultFlags &flags);
    void applyHighVoltageAck(bool on, const QByteArray &reply);
    Task<> kvSetpointTask() { return setpointTask(Channel::Kv); }
    Task<> maSetpointTask() { return setpointTask(Channel::Ma); }

    DeviceLink &link_;
    SupplyState &state_;
    int pollStep_ = 0;
    std::function<qint64()> monotonicNs_;
    std::function<QDateTime()> wallClock_;
};

} // namespace zor
