#pragma once

#include "supply/replyparse.h"
#include "supply/supplystate.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <array>
#include <functional>

namespace zor {

class DeviceLink;

// The protocol operations the poll, the windows and tools run against the
// supply. Each runs its exchanges inside the link's command bracket (so a call
// made while another exchange waits is held and runs right after it), parses
// the replies with the pure parsers of replyparse.h and writes SupplyState.
// The payloads, their order and the conversions are the windows' own.
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

    // "VMON;" "IMON;" "FMON;": a silent monitor is skipped, a bad reply ends the run.
    void readMonitors();
    // "LVPS;" "TEMP;".
    void readAuxMonitors();
    // "SLVR ;" then "SLIR ;" to kvPerBit and maPerBit; a bad SLVR ends the run,
    // a silent one does not.
    void readScaling();
    // "VSET;" or "ISET;" to the setpoint at the present scale.
    void readSetpoint(Channel c);
    // "STAT;" (silence counts a failed reply) then "FLT;": HV, faults, interlock,
    // arcs. An open interlock turns the switch off.
    void requestStatus();
    // "VREF n;" / "IREF n;": the setpoint becomes n only on ';' (Taken).
    void program(Channel c, int count);
    // "ENBL 1;" / "ENBL 0;". The switch moves at once; the lamp on ';'.
    void setHighVoltage(bool on);
    // "ENBL 0;" as the next frame on the wire, ahead of anything held.
    void switchOffFirst();
    // "HWVR;" "MODR;" "FREV;" (revision and build) "SOFT;" "SNUR;".
    void readIdentity(IdentityField f);
    // "WDTT;", sent without waiting for a reply.
    void tickleWatchdog();
    // "WDTE 1;" / "WDTE 0;".
    void setWatchdog(bool on);
    // "CLR;", taken on '$'.
    void resetFault();
    // "99,0,": hands the supply back to local control, taken on '$'.
    void localControl();
    // A status message the supply sent on its own over the network.
    void applyNetworkStatus(const QByteArray &text);

    // The poll: seven steps, one per tick, in this order; after the last one
    // the cycle is closed and SupplyState::sampled() emitted.
    struct PollStep {
        const char *name;
        void (*run)(SupplyOps &);
    };
    static const std::array<PollStep, 7> PollSteps;
    int pollStep() const { return pollStep_; }
    void pollTick();

signals:
    void answered(zor::SupplyOps::Operation op, zor::parse::Ack ack);
    // Every exchange, with its reply (empty when none came).
    void replied(const QByteArray &payload, const QByteArray &reply);
    // Every good set-point read-back, changed or not: a view that showed
    // something else in its place (a programming outcome) repaints it.
    void setpointRead(zor::Channel c, const zor::Reading &r);

private:
    // Exchanges a payload and notes whether anything came back.
    QByteArray exchange(const QByteArray &payload);
    // Reads one monitor; false when its reply was there but bad.
    bool readMonitor(const QByteArray &payload, Monitor m,
                     const std::function<double(long long)> &convert);
    void applyFaults(const parse::FaultFlags &flags);
    void driveHighVoltage(bool on);

    DeviceLink &link_;
    SupplyState &state_;
    int pollStep_ = 0;
    std::function<qint64()> monotonicNs_;
    std::function<QDateTime()> wallClock_;
};

} // namespace zor
