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

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString setpointText(Channel c, const Reading &r) {
    if (!r.count)
        return {};
    return QStringLiteral("%1 %2 (%3 counts)")
        .arg(QString::number(r.value, 'f', 3),
             c == Channel::Kv ? QStringLiteral("kV") : QStringLiteral("mA"))
        .arg(*r.count);
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
    connect(&link, &DeviceLink::opened, this,
            [this] { state_.noteTransportChange(link_.description()); });
    connect(&link, &DeviceLink::linkLost, this, [this](const QString &where) {
        state_.note(EventType::LinkLost,
                    QStringLiteral("Link to %1 lost; trying again").arg(where));
    });
    // The unit behind the address may have been swapped or restarted meanwhile;
    // the update mode was never left, so a poll picks up where it was.
    connect(&link, &DeviceLink::linkBack, this, [this](const QString &where) {
        state_.note(EventType::LinkRestored, QStringLiteral("Link to %1 back").arg(where));
        readScaling();
        for (int f = 0; f < IdentityFieldCount; ++f)
            readIdentity(IdentityField(f));
    });
    // An open reads the unit itself.
    connect(&link, &DeviceLink::transportChanged, this, [this] {
        unread_ = 0;
        silentSinceRead_ = rereading_ = false;
    });
}

void SupplyOps::rereadUnit() {
    // The poll reads the scale itself; a read of it here would land inside a
    // poll cycle.
    if (link_.autoUpdate && !(unread_ & ~ScaleBit))
        return;
    rereading_ = true;
    link_.command(this, [this]() -> Task<> {
        if ((unread_ & ScaleBit) && !link_.autoUpdate)
            co_await scalingTask();
        for (int f = 0; f < IdentityFieldCount; ++f)
            if (unread_ & (1u << f))
                co_await identityTask(IdentityField(f));
        rereading_ = false;
    });
}

void SupplyOps::setClocks(std::function<qint64()> monotonicNs,
                          std::function<QDateTime()> wallClock) {
    monotonicNs_ = std::move(monotonicNs);
    wallClock_ = std::move(wallClock);
}

void SupplyOps::audit(const QString &action, const QString &before, const QString &after,
                      AuditOutcome outcome, const QString &reason) {
    emit audited(AuditEvent{action, before, after, outcome, reason});
}

void SupplyOps::queue(Task<> (SupplyOps::*task)()) {
    link_.command(this, [this, task] { return (this->*task)(); });
}

Task<QByteArray> SupplyOps::exchange(const char *payload) {
    co_return co_await exchangeText(payload);
}

Task<> SupplyOps::sendText(QByteArray payload) {
    co_await link_.send(payload);
}

Task<QByteArray> SupplyOps::exchangeText(QByteArray payload, std::optional<quint64> offSeen) {
    const QByteArray reply = co_await link_.exchange(payload, offSeen);
    if (link_.lastNotSent())
        co_return reply;
    state_.noteAnswer(!reply.isEmpty(), wallClock_());
    emit replied(payload, reply);
    if (reply.isEmpty())
        silentSinceRead_ |= !rereading_;
    else if (std::exchange(silentSinceRead_, false) && unread_)
        rereadUnit();
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
    bool first = true;
    for (const QuantityInfo &i : Quantities) {
        if (i.readBy != step)
            continue;
        const bool good = co_await readMonitor(i.id);
        // The update lamp goes out once the supply answers the poll's first read.
        if (std::exchange(first, false) && step == ReadBy::Monitors && state_.linkAnswering())
            emit monitorsAnswered();
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
    unread_ = volts.isEmpty() ? unread_ | ScaleBit : unread_ & ~ScaleBit;
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
        state_.setStatusKnown();
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
    const QString before = setpointText(c, state_.setpoint(c));
    const parse::Ack ack = parse::writeAck(co_await exchangeText(payload));
    const double value = quantityValue(setpointOf(c), count, state_.kvPerBit(), state_.maPerBit());
    audit(c == Channel::Kv ? QStringLiteral("kV program") : QStringLiteral("mA program"), before,
          setpointText(c, {QByteArray::number(count), count, value}), auditOutcome(ack));
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
    if (on && offAsked() != offSeen) {
        audit(QStringLiteral("HV on"), onOff(state_.xrayOn()), onOff(true),
              AuditOutcome::RefusedByOffGate);
        return;
    }
    state_.setHvEnabled(on);
    link_.command(this, [this, on, offSeen]() -> Task<> { co_await highVoltageTask(on, offSeen); });
}

Task<parse::Ack> SupplyOps::highVoltageTask(bool on, quint64 offSeen) {
    co_return co_await switchTask(on, offSeen, true);
}

Task<parse::Ack> SupplyOps::switchTask(bool on, quint64 offSeen, bool audited) {
    const QString action = on ? QStringLiteral("HV on") : QStringLiteral("HV off");
    const QString before = onOff(state_.xrayOn());
    // The one place an on is checked against the off key: an off asked after
    // this on was asked for wins, however long the on waited for its turn.
    const auto refused = [&] {
        state_.setHvEnabled(false);
        if (audited)
            audit(action, before, onOff(true), AuditOutcome::RefusedByOffGate);
        return parse::Ack::Other;
    };
    if (on && offAsked() != offSeen)
        co_return refused();
    state_.setHvEnabled(on);
    state_.note(on ? EventType::HvOnAsked : EventType::HvOffAsked,
                on ? QStringLiteral("HV on asked") : QStringLiteral("HV off asked"));
    // The link checks the count again at the wire, after every wait.
    const QByteArray payload = on ? "ENBL 1;" : "ENBL 0;";
    const std::optional<quint64> seen = on ? std::optional<quint64>(offSeen) : std::nullopt;
    const QByteArray reply = co_await exchangeText(payload, seen);
    if (link_.lastNotSent())
        co_return refused();
    if (audited)
        audit(action, before, onOff(on), auditOutcome(parse::writeAck(reply)));
    applyHighVoltageAck(on, reply);
    co_return parse::writeAck(reply);
}

Task<bool> SupplyOps::runHighVoltage(bool on, quint64 offSeen) {
    if (on && offAsked() != offSeen)
        co_return false;
    if (state_.hvEnabled() != on) {
        const parse::Ack ack = co_await switchTask(on, offSeen, false);
        if (on && ack == parse::Ack::Refused)
            co_return false;
    }
    co_return !on || offAsked() == offSeen;
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
    xrayWarning_.cancel();
    const QString before = onOff(state_.xrayOn());
    state_.setHvEnabled(false);
    state_.note(EventType::HvOffAsked, QStringLiteral("HV off asked"));
    link_.urgent("ENBL 0;", [this, before](const QByteArray &reply) {
        audit(QStringLiteral("X-ray off key"), before, onOff(false),
              auditOutcome(parse::writeAck(reply)));
        state_.noteAnswer(!reply.isEmpty(), wallClock_());
        emit replied("ENBL 0;", reply);
        applyHighVoltageAck(false, reply);
    });
}

void SupplyOps::runSwitchOff() {
    xrayWarning_.cancel();
    state_.setHvEnabled(false);
    state_.note(EventType::HvOffAsked, QStringLiteral("HV off asked"));
    link_.urgent("ENBL 0;", [this](const QByteArray &reply) {
        state_.noteAnswer(!reply.isEmpty(), wallClock_());
        emit replied("ENBL 0;", reply);
        applyHighVoltageAck(false, reply);
    });
}

void SupplyOps::clearArcs() {
    const int before = state_.arcCount();
    state_.clearArcs();
    audit(QStringLiteral("arc clear"), QString::number(before), QStringLiteral("0"),
          AuditOutcome::Taken);
}

void SupplyOps::auditRun(const QString &action, const QString &detail) {
    audit(action, {}, detail, AuditOutcome::Taken);
}

void SupplyOps::readIdentity(IdentityField f) {
    link_.command(this, [this, f]() -> Task<> { co_await identityTask(f); });
}

Task<parse::Ack> SupplyOps::identityTask(IdentityField f) {
    static constexpr std::array<const char *, IdentityFieldCount> Payloads{
        "HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};
    const QByteArray reply = co_await exchange(Payloads[static_cast<int>(f)]);
    unread_ = reply.isEmpty() ? unread_ | (1u << int(f)) : unread_ & ~(1u << int(f));
    if (reply.isEmpty()) {
        state_.setIdentityUnknown(f);
        if (f == IdentityField::FirmwareRevision)
            state_.setIdentityUnknown(IdentityField::SoftwareBuild);
        state_.countFailedReply();
        co_return parse::Ack::NoReply;
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
    } else {
        co_return parse::Ack::Other;
    }
    co_return parse::Ack::Taken;
}

Task<> SupplyOps::watchdogTickleTask() {
    co_await link_.send("WDTT;");
}

void SupplyOps::setWatchdog(bool on) {
    link_.command(this, [this, on] { return watchdogTask(on); });
}

Task<> SupplyOps::watchdogTask(bool on) {
    const QString before = onOff(state_.watchdogEnabled());
    const QByteArray reply = co_await exchange(on ? "WDTE 1;" : "WDTE 0;");
    audit(QStringLiteral("watchdog"), before, onOff(on), auditOutcome(parse::writeAck(reply)));
    state_.setWatchdogEnabled(on);
    state_.note(EventType::Watchdog,
                on ? QStringLiteral("Watchdog enabled") : QStringLiteral("Watchdog disabled"));
}

void SupplyOps::resetFault() {
    link_.command(this, [this]() -> Task<> { co_await faultResetTask(); });
}

Task<parse::FaultReset> SupplyOps::faultResetTask() {
    const QByteArray reply = co_await exchange("CLR;");
    const parse::FaultReset reset = parse::faultReset(reply);
    audit(QStringLiteral("fault reset"), {}, {}, auditOutcome(reset.ack));
    emit faultResetClearing(reset.clearing);
    emit answered(Operation::ResetFault, reset.ack);
    co_return reset;
}

void SupplyOps::localControl() {
    link_.command(this, [this]() -> Task<> { co_await localControlTask(); });
}

Task<parse::Ack> SupplyOps::localControlTask() {
    const QByteArray reply = co_await exchange("99,0,");
    const parse::Ack ack = dollarAck(reply, parse::numericTaken(reply));
    audit(QStringLiteral("local control"), {}, {}, auditOutcome(ack));
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

Task<> SupplyOps::closingOffTask() {
    audit(QStringLiteral("HV off"), onOff(state_.xrayOn()), onOff(false), AuditOutcome::Sent);
    state_.setHvEnabled(false);
    state_.note(EventType::HvOffAsked, QStringLiteral("HV off asked"));
    co_await sendText("ENBL 0;");
}

QByteArray SupplyOps::zeroingPayload(int channel) {
    return QByteArray::number(10 + channel) + ",0,";
}

Task<> SupplyOps::zeroChannelTask(int channel) {
    // The four zeros are one act of the operator's: one entry.
    if (channel == 0)
        audit(QStringLiteral("shutdown zeroing"), {}, QStringLiteral("all four setpoints 0"),
              AuditOutcome::Sent);
    co_await sendText(zeroingPayload(channel));
}

void SupplyOps::revertSetpoint(Channel c, int count) {
    link_.command(this, [this, c, count] { return revertSetpointTask(c, count); });
}

Task<> SupplyOps::revertSetpointTask(Channel c, int count) {
    const QByteArray payload = (c == Channel::Kv ? "10," : "11,") + QByteArray::number(count);
    co_await sendText(payload);
    const bool kv = c == Channel::Kv;
    audit(kv ? QStringLiteral("kV revert") : QStringLiteral("mA revert"), {},
          QStringLiteral("%1 counts").arg(count), AuditOutcome::Sent);
    state_.note(EventType::SetpointReverted,
                QStringLiteral("%1 setpoint reverted: %2 counts")
                    .arg(kv ? QStringLiteral("kV") : QStringLiteral("mA"))
                    .arg(count));
}

Task<> SupplyOps::totalHoursResetTask() {
    const QByteArray reply = co_await exchange("30,");
    audit(QStringLiteral("total hours reset"), {}, {},
          reply.isEmpty() ? AuditOutcome::NoReply : AuditOutcome::Sent);
    state_.note(EventType::HoursReset, reply.isEmpty()
                                           ? QStringLiteral("Total hours reset: no reply")
                                           : QStringLiteral("Total hours reset"));
}

Task<bool> SupplyOps::hardwareRevisionNumberTask(QByteArray revision) {
    const QByteArray payload = "40," + revision + ',';
    const QByteArray reply = co_await exchangeText(payload);
    const bool taken = parse::numericTaken(reply);
    audit(QStringLiteral("hardware revision number"), {}, QString::fromLatin1(revision),
          auditOutcome(dollarAck(reply, taken)));
    state_.note(
        EventType::ServiceWrite,
        taken
            ? QStringLiteral("Hardware revision number set: %1").arg(QString::fromLatin1(revision))
            : QStringLiteral("Hardware revision number refused: %1")
                  .arg(QString::fromLatin1(revision)));
    co_return taken;
}

Task<> SupplyOps::passthroughTask() {
    const QByteArray reply = co_await exchange("96,");
    audit(QStringLiteral("pass-through toggle"), {}, {},
          reply.isEmpty() ? AuditOutcome::NoReply : AuditOutcome::Sent);
    if (reply.isEmpty())
        state_.countFailedReply();
    state_.note(EventType::PassThrough, QStringLiteral("Pass-through toggled"));
}

Task<> SupplyOps::unlockTask(QByteArray key) {
    const QByteArray payload = "PASS " + key + ';';
    co_await sendText(payload);
    // The key itself stays out of the log and the trail.
    audit(QStringLiteral("service unlock"), {}, {}, AuditOutcome::Sent);
    state_.note(EventType::ServiceWrite, QStringLiteral("Service writes unlocked"));
}

Task<QByteArray> SupplyOps::configurationTask() {
    co_return co_await exchange("CONF;");
}

namespace {

const char *mnemonic(FactoryWrite w) {
    static constexpr const char *Mnemonics[] = {"HWVP", "MODP", "SLVP", "SLIP", "FILP", "FTON",
                                                "ARCP", "RAMP", "MRMP", "MAOF", "FMAX", "FRMP"};
    return Mnemonics[static_cast<int>(w)];
}

} // namespace

Task<> SupplyOps::factoryWriteTask(FactoryWrite w, QByteArray argument, QString reason) {
    audit(QStringLiteral("factory write %1").arg(QString::fromLatin1(mnemonic(w))), {},
          QString::fromLatin1(argument), AuditOutcome::Sent, reason);
    co_await sendFactoryWrite(w, argument);
}

Task<> SupplyOps::sendFactoryWrite(FactoryWrite w, QByteArray argument) {
    const QByteArray payload = QByteArray(mnemonic(w)) + ' ' + argument + ';';
    co_await sendText(payload);
    state_.note(EventType::ServiceWrite,
                QStringLiteral("Factory write %1 %2")
                    .arg(QString::fromLatin1(mnemonic(w)), QString::fromLatin1(argument)));
}

Task<bool> SupplyOps::programScalingTask(QByteArray kvArgument, QByteArray maArgument,
                                         double kvFull, QString reason) {
    const QString before =
        state_.scaleKnown()
            ? QStringLiteral("%1,%2").arg(
                  QString::number(state_.kvPerBit() * convert::FullScaleCounts * 100, 'f', 0),
                  QString::number(state_.maPerBit() * convert::FullScaleCounts * 1000, 'f', 0))
            : QString();
    const QByteArray kvPayload =
        QByteArray(mnemonic(FactoryWrite::KvFullScale)) + ' ' + kvArgument + ';';
    const QByteArray reply = co_await exchangeText(kvPayload);
    const bool taken = parse::writeAck(reply) == parse::Ack::Taken;
    // The scale follows the supply: it changes only once the supply took it.
    if (taken)
        state_.setKvPerBit(kvFull / convert::FullScaleCounts);
    state_.note(EventType::ServiceWrite,
                QStringLiteral("Factory write SLVP %1%2")
                    .arg(QString::fromLatin1(kvArgument),
                         taken ? QString() : QStringLiteral(" not taken")));
    audit(QStringLiteral("factory write scaling"), before,
          QString::fromLatin1(kvArgument + ',' + maArgument), auditOutcome(parse::writeAck(reply)),
          reason);
    co_await sendFactoryWrite(FactoryWrite::MaFullScale, maArgument);
    co_return taken;
}

Task<> SupplyOps::serialNumberWriteTask(QByteArray serial, QString reason) {
    const QByteArray payload = "SNUS " + serial + ';';
    audit(QStringLiteral("serial number"), state_.identity(IdentityField::SerialNumber),
          QString::fromLatin1(serial), AuditOutcome::Sent, reason);
    co_await sendText(payload);
    state_.note(EventType::ServiceWrite,
                QStringLiteral("Serial number written: %1").arg(QString::fromLatin1(serial)));
}

Task<> SupplyOps::unitBaudRateTask(int code, QString reason) {
    const QByteArray payload = "BAUD " + QByteArray::number(code) + ';';
    const QByteArray reply = co_await exchangeText(payload);
    // The reply is collected, not examined: only its absence is known.
    audit(QStringLiteral("unit baud rate"), {},
          code == 1   ? QStringLiteral("115,200")
          : code == 2 ? QStringLiteral("9600")
                      : QStringLiteral("code %1").arg(code),
          reply.isEmpty() ? AuditOutcome::NoReply : AuditOutcome::Sent, reason);
    state_.note(EventType::ServiceWrite, QStringLiteral("Unit baud rate code %1 sent").arg(code));
}

Task<QByteArray> SupplyOps::userOptionsTask() {
    const QByteArray reply = co_await exchange("27,");
    // The fields from position 5 to the last comma; framing and checksum after it.
    const qsizetype end = reply.lastIndexOf(',');
    userOptions_ = end >= 4 ? reply.mid(4, end - 3) : QByteArray();
    co_return reply;
}

Task<QByteArray> SupplyOps::saveUserOptionsTask(QList<QByteArray> fields) {
    QByteArray payload = "09,";
    for (const QByteArray &field : fields)
        payload += field + ',';
    const QByteArray reply = co_await exchangeText(payload);
    // '$' taken; '1' the arc rate refused and all disregarded; '2' taken with a warning.
    const char verdict = reply.size() > 4 ? reply.at(4) : '\0';
    audit(QStringLiteral("user options"), QString::fromLatin1(userOptions_),
          QString::fromLatin1(payload.mid(3)),
          reply.isEmpty()                    ? AuditOutcome::NoReply
          : verdict == '1'                   ? AuditOutcome::Refused
          : verdict == '$' || verdict == '2' ? AuditOutcome::Taken
                                             : AuditOutcome::NotUnderstood);
    userOptions_ = payload.mid(3);
    state_.note(EventType::ServiceWrite, QStringLiteral("User options written"));
    co_return reply;
}

void SupplyOps::applyNetworkStatus(const QByteArray &text) {
    const parse::NetworkStatus s = parse::networkStatus(text);
    if (s.hvOn) {
        state_.setXrayOn(*s.hvOn);
        state_.setHvEnabled(*s.hvOn);
        state_.setStatusKnown();
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
