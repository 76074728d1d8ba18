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
    {"monitors", &SupplyOps::monitorsTask},
    {"kV setpoint", &SupplyOps::kvSetpointTask},
    {"mA setpoint", &SupplyOps::maSetpointTask},
    {"status", &SupplyOps::statusTask},
    {"aux monitors", &SupplyOps::auxMonitorsTask},
    {"scaling", &SupplyOps::scalingTask},
    {"watchdog", &SupplyOps::watchdogTickleTask},
}};

SupplyOps::SupplyOps(DeviceLink &link, SupplyState &state, QObject *parent)
    : QObject(parent), link_(link), state_(state), monotonicNs_([] {
          return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
      }),
      wallClock_([] { return QDateTime::currentDateTimeUtc(); }) {
    connect(&link, &DeviceLink::transportChanged, &state, &SupplyState::forgetUnit);
}

void SupplyOps::setClocks(std::function<qint64()> monotonicNs,
                          std::function<QDateTime()> wallClock) {
    monotonicNs_ = std::move(monotonicNs);
    wallClock_ = std::move(wallClock);
}

void SupplyOps::queue(Task<> (SupplyOps::*task)()) {
    link_.command(this, [this, task] { return (this->*task)(); });
}

Task<QByteArray> SupplyOps::exchange(const char *payload) {
    co_return co_await exchangeText(payload);
}

Task<QByteArray> SupplyOps::exchangeText(QByteArray payload) {
    const QByteArray reply = co_await link_.exchange(payload);
    state_.setLinkAnswering(!reply.isEmpty());
    emit replied(payload, reply);
    co_return reply;
}

Task<bool> SupplyOps::readMonitor(Quantity q) {
    const QByteArray reply = co_await exchange(info(q).payload);
    if (reply.isEmpty())
        co_return true;
    const auto text = parse::textValue(reply);
    if (!text)
        co_return false;
    const auto count = parse::monitorCount(reply);
    const double value =
        count ? quantityValue(q, *count, state_.kvPerBit(), state_.maPerBit()) : 0.0;
    state_.setReading(q, {*text, count, value});
    co_return count.has_value();
}

Task<> SupplyOps::readGroup(ReadBy step) {
    for (const QuantityInfo &i : Quantities) {
        if (i.readBy != step)
            continue;
        const bool good = co_await readMonitor(i.id);
        if (!good)
            co_return;
    }
}

Task<> SupplyOps::monitorsTask() {
    co_await readGroup(ReadBy::Monitors);
}

Task<> SupplyOps::auxMonitorsTask() {
    co_await readGroup(ReadBy::AuxMonitors);
}

Task<> SupplyOps::scalingTask() {
    const QByteArray volts = co_await exchange("SLVR ;");
    const auto kv = parse::fullScale(volts);
    if (!volts.isEmpty() && !kv)
        co_return;
    if (kv)
        state_.setKvPerBit(convert::kvPerBitFrom(*kv));
    if (const auto ma = parse::fullScale(co_await exchange("SLIR ;")))
        state_.setMaPerBit(convert::maPerBitFrom(*ma));
}

void SupplyOps::readSetpoint(Channel c) {
    link_.command(this, [this, c] { return setpointTask(c); });
}

Task<> SupplyOps::setpointTask(Channel c) {
    const Quantity q = setpointOf(c);
    const QByteArray reply = co_await exchange(info(q).payload);
    if (const auto count = parse::setpointCount(reply)) {
        const Reading r{QByteArray::number(*count), count,
                        quantityValue(q, *count, state_.kvPerBit(), state_.maPerBit())};
        state_.setReading(q, r);
        emit setpointRead(c, r);
    }
}

Task<> SupplyOps::statusTask() {
    const QByteArray stat = co_await exchange("STAT;");
    if (stat.isEmpty()) {
        state_.countFailedReply();
    } else if (const auto on = parse::hvOn(stat)) {
        state_.setXrayOn(*on);
        state_.setHvEnabled(*on);
    }
    applyFaults(parse::faultFlags(co_await exchange("FLT;")));
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
    link_.command(this, [this, c, count]() -> Task<> { co_await programTask(c, count); });
}

Task<parse::Ack> SupplyOps::programTask(Channel c, int count) {
    const QByteArray payload =
        QByteArray(c == Channel::Kv ? "VREF " : "IREF ") + QByteArray::number(count) + ';';
    const parse::Ack ack = parse::writeAck(co_await exchangeText(payload));
    if (ack == parse::Ack::Taken)
        state_.setReading(setpointOf(c), {QByteArray::number(count), count,
                                          quantityValue(setpointOf(c), count, state_.kvPerBit(),
                                                        state_.maPerBit())});
    else if (ack != parse::Ack::Refused)
        state_.countFailedReply();
    emit answered(c == Channel::Kv ? Operation::ProgramKv : Operation::ProgramMa, ack);
    co_return ack;
}

void SupplyOps::setHighVoltageSince(bool on, quint64 offSeen) {
    // The direction is fixed now: a request queued behind another exchange must
    // not be turned round by a status read that moved the switch meanwhile.
    if (on && state_.offAsked() != offSeen)
        return;
    state_.setHvEnabled(on);
    link_.command(this, [this, on, offSeen]() -> Task<> { co_await highVoltageTask(on, offSeen); });
}

Task<parse::Ack> SupplyOps::highVoltageTask(bool on, quint64 offSeen) {
    // The one place an on is checked against the off key: an off asked after
    // this on was asked for wins, however long the on waited for its turn.
    if (on && state_.offAsked() != offSeen) {
        state_.setHvEnabled(false);
        co_return parse::Ack::Other;
    }
    state_.setHvEnabled(on);
    const QByteArray reply = co_await exchange(on ? "ENBL 1;" : "ENBL 0;");
    applyHighVoltageAck(on, reply);
    co_return parse::writeAck(reply);
}

Task<bool> SupplyOps::runHighVoltage(bool on, quint64 offSeen) {
    if (on && state_.offAsked() != offSeen)
        co_return false;
    if (state_.hvEnabled() != on)
        co_await highVoltageTask(on, offSeen);
    co_return !on || state_.offAsked() == offSeen;
}

void SupplyOps::applyHighVoltageAck(bool on, const QByteArray &reply) {
    const parse::Ack ack = parse::writeAck(reply);
    if (ack == parse::Ack::Taken)
        state_.setXrayOn(on);
    else if (ack == parse::Ack::NoReply)
        state_.countFailedReply();
    emit answered(on ? Operation::HvOn : Operation::HvOff, ack);
}

void SupplyOps::switchOffFirst() {
    state_.countOffAsked();
    state_.setHvEnabled(false);
    link_.urgent("ENBL 0;", [this](const QByteArray &reply) {
        state_.setLinkAnswering(!reply.isEmpty());
        emit replied("ENBL 0;", reply);
        applyHighVoltageAck(false, reply);
    });
}

void SupplyOps::readIdentity(IdentityField f) {
    link_.command(this, [this, f] { return identityTask(f); });
}

Task<> SupplyOps::identityTask(IdentityField f) {
    static constexpr std::array<const char *, IdentityFieldCount> Payloads{
        "HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};
    const QByteArray reply = co_await exchange(Payloads[static_cast<int>(f)]);
    if (reply.isEmpty()) {
        state_.setIdentityUnknown(f);
        if (f == IdentityField::FirmwareRevision)
            state_.setIdentityUnknown(IdentityField::SoftwareBuild);
        state_.countFailedReply();
        co_return;
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
}

Task<> SupplyOps::watchdogTickleTask() {
    co_await link_.send("WDTT;");
}

void SupplyOps::setWatchdog(bool on) {
    link_.command(this, [this, on] { return watchdogTask(on); });
}

Task<> SupplyOps::watchdogTask(bool on) {
    co_await exchange(on ? "WDTE 1;" : "WDTE 0;");
    state_.setWatchdogEnabled(on);
}

Task<> SupplyOps::faultResetTask() {
    const QByteArray reply = co_await exchange("CLR;");
    emit answered(Operation::ResetFault, dollarAck(reply, parse::faultResetTaken(reply)));
}

void SupplyOps::localControl() {
    link_.command(this, [this]() -> Task<> { co_await localControlTask(); });
}

Task<parse::Ack> SupplyOps::localControlTask() {
    const QByteArray reply = co_await exchange("99,0,");
    const parse::Ack ack = dollarAck(reply, parse::numericTaken(reply));
    emit answered(Operation::LocalControl, ack);
    co_return ack;
}

Task<> SupplyOps::seasoningStepTask(qint16 kv, qint16 ma, const std::function<bool()> &wanted) {
    const std::array<QByteArray, 3> payloads{QByteArray("IREF 0;"),
                                             "VREF " + QByteArray::number(kv) + ';',
                                             "IREF " + QByteArray::number(ma) + ';'};
    for (const QByteArray &payload : payloads) {
        if (!wanted())
            co_return;
        co_await link_.exchange(payload);
    }
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
    link_.command(
        this, [this] { return pollTask(); }, &pollStep_);
}

Task<> SupplyOps::pollTask() {
    const int step = pollStep_;
    co_await (this->*PollSteps[step].run)();
    if (++pollStep_ < int(PollSteps.size()))
        co_return;
    pollStep_ = 0;
    state_.finishCycle(monotonicNs_(), wallClock_());
}

} // namespace zor
