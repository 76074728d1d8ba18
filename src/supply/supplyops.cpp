#include "supply/supplyops.h"

// This layer and the link below it are for tools without windows too.
#ifdef QT_WIDGETS_LIB
#error "the supply layer and the link must build without Qt Widgets"
#endif

#include "link/devicelink.h"

#include <chrono>

namespace zor {

namespace {

parse::Ack dollarAck(const QByteArray &reply, bool taken) {
    if (reply.isEmpty())
        return parse::Ack::NoReply;
    return taken ? parse::Ack::Taken : parse::Ack::Other;
}

// Keeps what is known where a new report says nothing.
void merge(std::optional<bool> &known, const std::optional<bool> &reported) {
    if (reported)
        known = reported;
}

} // namespace

const std::array<SupplyOps::PollStep, 7> SupplyOps::PollSteps{{
    {"monitors", [](SupplyOps &o) { o.readMonitors(); }},
    {"kV setpoint", [](SupplyOps &o) { o.readSetpoint(Channel::Kv); }},
    {"mA setpoint", [](SupplyOps &o) { o.readSetpoint(Channel::Ma); }},
    {"status", [](SupplyOps &o) { o.requestStatus(); }},
    {"aux monitors", [](SupplyOps &o) { o.readAuxMonitors(); }},
    {"scaling", [](SupplyOps &o) { o.readScaling(); }},
    {"watchdog", [](SupplyOps &o) { o.tickleWatchdog(); }},
}};

SupplyOps::SupplyOps(DeviceLink &link, SupplyState &state, QObject *parent)
    : QObject(parent), link_(link), state_(state), monotonicNs_([] {
          return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
      }),
      wallClock_([] { return QDateTime::currentDateTimeUtc(); }) {}

void SupplyOps::setClocks(std::function<qint64()> monotonicNs,
                          std::function<QDateTime()> wallClock) {
    monotonicNs_ = std::move(monotonicNs);
    wallClock_ = std::move(wallClock);
}

QByteArray SupplyOps::exchange(const QByteArray &payload) {
    const QByteArray reply = link_.exchange(payload);
    state_.setLinkAnswering(!reply.isEmpty());
    emit replied(payload, reply);
    return reply;
}

bool SupplyOps::readMonitor(const QByteArray &payload, Monitor m,
                            const std::function<double(long long)> &convert) {
    const QByteArray reply = exchange(payload);
    if (reply.isEmpty())
        return true;
    const auto text = parse::textValue(reply);
    if (!text)
        return false;
    const auto count = parse::monitorCount(reply);
    state_.setMonitor(m, {*text, count, count ? convert(*count) : 0.0});
    return count.has_value();
}

void SupplyOps::readMonitors() {
    link_.command(this, [this] {
        if (!readMonitor("VMON;", Monitor::Kv,
                         [this](long long n) { return n * state_.kvPerBit(); }))
            return;
        if (!readMonitor("IMON;", Monitor::Ma,
                         [this](long long n) { return n * state_.maPerBit(); }))
            return;
        readMonitor("FMON;", Monitor::FilamentA, convert::filamentAmps);
    });
}

void SupplyOps::readAuxMonitors() {
    link_.command(this, [this] {
        if (!readMonitor("LVPS;", Monitor::LvpsV, convert::lvpsVolts))
            return;
        readMonitor("TEMP;", Monitor::Temperature, convert::degrees);
    });
}

void SupplyOps::readScaling() {
    link_.command(this, [this] {
        const QByteArray volts = exchange("SLVR ;");
        const auto kv = parse::fullScale(volts);
        if (!volts.isEmpty() && !kv)
            return;
        if (kv)
            state_.setKvPerBit(convert::kvPerBitFrom(*kv));
        if (const auto ma = parse::fullScale(exchange("SLIR ;")))
            state_.setMaPerBit(convert::maPerBitFrom(*ma));
    });
}

void SupplyOps::readSetpoint(Channel c) {
    link_.command(this, [this, c] {
        const QByteArray reply = exchange(c == Channel::Kv ? "VSET;" : "ISET;");
        if (const auto count = parse::setpointCount(reply)) {
            const Reading r{QByteArray::number(*count), count, *count * state_.perBit(c)};
            state_.setSetpoint(c, r);
            emit setpointRead(c, r);
        }
    });
}

void SupplyOps::requestStatus() {
    link_.command(this, [this] {
        const QByteArray stat = exchange("STAT;");
        if (stat.isEmpty()) {
            state_.countFailedReply();
        } else if (const auto on = parse::hvOn(stat)) {
            state_.setXrayOn(*on);
            state_.setHvEnabled(*on);
        }
        applyFaults(parse::faultFlags(exchange("FLT;")));
    });
}

void SupplyOps::applyFaults(const parse::FaultFlags &flags) {
    StatusBits bits = state_.status();
    parse::FaultFlags &f = bits.faults;
    merge(f.arcOk, flags.arcOk);
    merge(f.tempOk, flags.tempOk);
    merge(f.overVoltageOk, flags.overVoltageOk);
    merge(f.underVoltageOk, flags.underVoltageOk);
    merge(f.overCurrentOk, flags.overCurrentOk);
    merge(f.underCurrentOk, flags.underCurrentOk);
    merge(f.watchdogOk, flags.watchdogOk);
    merge(f.operationOk, flags.operationOk);
    merge(f.interlockOpen, flags.interlockOpen);
    state_.setStatus(bits);
    // The arc is counted before an open interlock drops the switch.
    if (flags.arcOk == true)
        state_.setArcArmed(true);
    else if (flags.arcOk == false)
        state_.countArc();
    if (flags.interlockOpen == true)
        state_.setHvEnabled(false);
}

void SupplyOps::program(Channel c, int count) {
    link_.command(this, [this, c, count] {
        const QByteArray payload =
            QByteArray(c == Channel::Kv ? "VREF " : "IREF ") + QByteArray::number(count) + ';';
        const parse::Ack ack = parse::writeAck(exchange(payload));
        if (ack == parse::Ack::Taken)
            state_.setSetpoint(c, {QByteArray::number(count), count, count * state_.perBit(c)});
        else if (ack != parse::Ack::Refused)
            state_.countFailedReply();
        emit answered(c == Channel::Kv ? Operation::ProgramKv : Operation::ProgramMa, ack);
    });
}

void SupplyOps::setHighVoltage(bool on) {
    // The direction is fixed now: a request held behind another exchange must
    // not be turned round by a status read that moved the switch meanwhile.
    state_.setHvEnabled(on);
    link_.command(this, [this, on] { driveHighVoltage(on); });
}

void SupplyOps::switchOffFirst() {
    state_.setHvEnabled(false);
    link_.commandFirst([this] { driveHighVoltage(false); });
}

void SupplyOps::driveHighVoltage(bool on) {
    state_.setHvEnabled(on);
    const parse::Ack ack = parse::writeAck(exchange(on ? "ENBL 1;" : "ENBL 0;"));
    if (ack == parse::Ack::Taken)
        state_.setXrayOn(on);
    else if (ack == parse::Ack::NoReply)
        state_.countFailedReply();
    emit answered(on ? Operation::HvOn : Operation::HvOff, ack);
}

void SupplyOps::readIdentity(IdentityField f) {
    static constexpr std::array<const char *, IdentityFieldCount> Payloads{
        "HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};
    link_.command(this, [this, f] {
        const QByteArray reply = exchange(Payloads[static_cast<int>(f)]);
        if (reply.isEmpty()) {
            state_.setIdentityUnknown(f);
            if (f == IdentityField::FirmwareRevision)
                state_.setIdentityUnknown(IdentityField::SoftwareBuild);
            state_.countFailedReply();
            return;
        }
        if (f == IdentityField::HardwareRevision) {
            state_.setIdentity(f, QString::fromLatin1(*parse::hardwareRevision(reply)));
        } else if (f == IdentityField::FirmwareRevision) {
            const auto rev = parse::firmwareRevision(reply);
            state_.setIdentity(f, QString::fromLatin1(rev->revision));
            if (rev->build)
                state_.setIdentity(IdentityField::SoftwareBuild, QString::fromLatin1(*rev->build));
        } else if (const auto text = parse::textValue(reply)) {
            state_.setIdentity(f, QString::fromLatin1(*text));
        }
    });
}

void SupplyOps::tickleWatchdog() {
    link_.command(this, [this] { link_.outputOutputString("WDTT;"); });
}

void SupplyOps::setWatchdog(bool on) {
    link_.command(this, [this, on] {
        exchange(on ? "WDTE 1;" : "WDTE 0;");
        state_.setWatchdogEnabled(on);
    });
}

void SupplyOps::resetFault() {
    link_.command(this, [this] {
        const QByteArray reply = exchange("CLR;");
        emit answered(Operation::ResetFault, dollarAck(reply, parse::faultResetTaken(reply)));
    });
}

void SupplyOps::localControl() {
    link_.command(this, [this] {
        const QByteArray reply = exchange("99,0,");
        emit answered(Operation::LocalControl, dollarAck(reply, parse::numericTaken(reply)));
    });
}

void SupplyOps::applyNetworkStatus(const QByteArray &text) {
    const parse::NetworkStatus s = parse::networkStatus(text);
    if (s.hvOn) {
        state_.setXrayOn(*s.hvOn);
        state_.setHvEnabled(*s.hvOn);
    }
    StatusBits bits = state_.status();
    merge(bits.faults.interlockOpen, s.interlockOpen);
    merge(bits.psFault, s.psFault);
    state_.setStatus(bits);
}

void SupplyOps::pollTick() {
    PollSteps[pollStep_].run(*this);
    if (++pollStep_ < int(PollSteps.size()))
        return;
    pollStep_ = 0;
    state_.finishCycle(monotonicNs_(), wallClock_());
}

} // namespace zor
