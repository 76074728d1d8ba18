#include "sim/devicemodel.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace zor::sim {

namespace {

constexpr std::array<const char *, FaultCount> FaultNames = {"arc", "temp", "ov",  "uv",
                                                             "oc",  "uc",   "wdt", "op"};
const QByteArray Ack = ";";
// The supply's one answer for a command it refuses or cannot read, in either
// family; only "09," says more.
const QByteArray Refused = "1";

QByteArray numericReply(const QByteArray &code, const QByteArray &answer) {
    return code + ',' + answer;
}

double kvOf(double counts, int fullScaleKv) {
    return counts / AnalogChannels::FullScale * fullScaleKv / 100.0;
}

} // namespace

std::optional<Fault> faultFromName(const QString &name) {
    for (int i = 0; i < FaultCount; ++i) {
        if (name.compare(QLatin1String(FaultNames[i]), Qt::CaseInsensitive) == 0)
            return static_cast<Fault>(i);
    }
    return std::nullopt;
}

DeviceModel::DeviceModel(const ModelSettings &settings, qint64 nowMs)
    : settings_(settings), lastMs_(nowMs), rng_(settings.seed),
      tube_(settings.tube, settings.fullScaleKv / 100.0, settings.seed) {
    factory_.kvRampMs = settings.kvRampMs;
    factory_.fullScaleKv = settings.fullScaleKv;
    factory_.fullScaleMa = settings.fullScaleMa;
}

QByteArray DeviceModel::handle(const QByteArray &payload, qint64 nowMs) {
    advance(nowMs);
    const Command cmd = parseCommand(payload);
    switch (cmd.family) {
    case Command::Family::Numeric:
        return numeric(cmd);
    case Command::Family::Mnemonic:
        return mnemonic(cmd, nowMs);
    case Command::Family::Invalid:
        break;
    }
    return Refused;
}

QByteArray DeviceModel::numeric(const Command &cmd) {
    const QByteArray &code = cmd.name;
    const auto single = [&cmd]() -> std::optional<QByteArray> {
        if (cmd.fields.size() != 1)
            return std::nullopt;
        return cmd.fields.first();
    };
    if (code == "10" || code == "11" || code == "12" || code == "13") {
        const auto arg = single();
        const auto value = arg ? parseCount(*arg, 0, 4095) : std::nullopt;
        if (!value)
            return Refused;
        dacs_[code.at(1) - '0'] = *value;
        return numericReply(code, "$");
    }
    if (code == "99") {
        const auto arg = single();
        if (!arg || (*arg != "0" && *arg != "1"))
            return Refused;
        remote_ = *arg == "1";
        return numericReply(code, "$");
    }
    if (code == "30" && cmd.fields.isEmpty()) {
        hvOnMs_ = 0;
        return numericReply(code, "$");
    }
    if (code == "40") {
        const auto arg = single();
        if (!arg || arg->size() != 3 || !isStorableText(*arg, 3))
            return Refused;
        factory_.hardwareRevision = *arg;
        return numericReply(code, "$");
    }
    if (code == "27" && cmd.fields.isEmpty())
        return numericReply(code, options_.fields());
    if (code == "09") {
        switch (options_.apply(cmd.fields)) {
        case UserOptions::Verdict::Accepted:
            return numericReply(code, "$");
        case UserOptions::Verdict::AcceptedWithoutArcDetect:
            return numericReply(code, "2");
        case UserOptions::Verdict::ArcRateTooHigh:
            return numericReply(code, "1");
        case UserOptions::Verdict::Invalid:
            break;
        }
        return Refused;
    }
    if (code == "96" && cmd.fields.isEmpty()) {
        passThrough_ = !passThrough_;
        return numericReply(code, "$");
    }
    return Refused;
}

QByteArray DeviceModel::mnemonic(const Command &cmd, qint64 nowMs) {
    // A query may carry a blank before its ';' ("SLVR ;") but never a value.
    if (!cmd.hasArgument || cmd.argument.isEmpty()) {
        if (const auto value = query(cmd.name))
            return *value + ';';
    }
    return write(cmd, nowMs);
}

std::optional<QByteArray> DeviceModel::query(const QByteArray &name) {
    const int noise = settings_.noiseCounts;
    if (name == "VSET")
        return QByteArray::number(dacs_[0]);
    if (name == "ISET")
        return QByteArray::number(dacs_[1]);
    if (name == "VMON")
        return QByteArray::number(noisy(analog_.kv, noise));
    if (name == "IMON")
        return QByteArray::number(noisy(analog_.ma, noise));
    if (name == "FMON")
        return QByteArray::number(noisy(analog_.filament, noise));
    if (name == "LVPS")
        return QByteArray::number(noisy(analog_.lvps(), std::min(noise, 1)));
    if (name == "TEMP")
        return QByteArray::number(noisy(analog_.temperature, std::min(noise, 1)));
    if (name == "SLVR")
        return QByteArray::number(factory_.fullScaleKv);
    if (name == "SLIR")
        return QByteArray::number(factory_.fullScaleMa);
    if (name == "STAT")
        return QByteArray(hvOn_ ? "1" : "0");
    if (name == "FLT") {
        const QByteArray flags = faultFlags();
        // A single arc is reported once; an arc trip and the other faults stay until CLR.
        faults_[static_cast<int>(Fault::Arc)] = false;
        return flags;
    }
    if (name == "HWVR")
        return factory_.hardwareRevision;
    if (name == "MODR")
        return factory_.model;
    if (name == "FREV")
        return QByteArray(Revision) + " bld" + Build + ',';
    if (name == "SOFT")
        return QByteArray(Build);
    if (name == "SNUR")
        return serialNumber_;
    if (name == "CONF")
        return factory_.confFields();
    return std::nullopt;
}

QByteArray DeviceModel::write(const Command &cmd, qint64 nowMs) {
    const QByteArray &name = cmd.name;
    const QByteArray &arg = cmd.argument;
    if (name == "WDTT" || name == "CLR") {
        if (!arg.isEmpty())
            return Refused;
        if (name == "CLR")
            clearFaults(nowMs);
        else if (watchdogEnabled_)
            lastKickMs_ = nowMs;
        return Ack;
    }
    if (!cmd.hasArgument)
        return Refused;
    if (name == "VREF" || name == "IREF") {
        const auto value = parseCount(arg, 0, 4095);
        if (!value)
            return Refused;
        dacs_[name == "VREF" ? 0 : 1] = *value;
        return Ack;
    }
    if (name == "ENBL") {
        if (arg == "0") {
            hvOn_ = false;
            return Ack;
        }
        if (arg != "1" || interlockOpen_ || anySupplyFault())
            return Refused;
        hvOn_ = true;
        return Ack;
    }
    if (name == "WDTE") {
        if (arg != "0" && arg != "1")
            return Refused;
        watchdogEnabled_ = arg == "1";
        lastKickMs_ = nowMs;
        return Ack;
    }
    if (name == "PASS") {
        // Each key opens its own writes; a wrong key closes both.
        if (arg == FactoryKey) {
            factoryUnlocked_ = true;
        } else if (arg == SerialKey) {
            serialUnlocked_ = true;
        } else {
            factoryUnlocked_ = serialUnlocked_ = false;
            return Refused;
        }
        return Ack;
    }
    if (name == "SNUS") {
        if (!serialUnlocked_ || !isStorableText(arg, 32))
            return Refused;
        serialNumber_ = arg;
        return Ack;
    }
    if (name == "BAUD") {
        // The acknowledgement still goes out at the old rate; the serial link
        // listens at the new one from the next byte on.
        if (arg != "1" && arg != "2")
            return Refused;
        baudCode_ = arg.toInt();
        return Ack;
    }
    if (FactoryConfig::isParameter(name)) {
        if (!factoryUnlocked_ || !factory_.write(name, arg))
            return Refused;
        return Ack;
    }
    return Refused;
}

QByteArray DeviceModel::faultFlags() const {
    QByteArray flags;
    for (int i = 0; i < FaultCount; ++i) {
        if (static_cast<Fault>(i) == Fault::Output)
            flags += interlockOpen_ ? '1' : '0';
        const bool arcShown = static_cast<Fault>(i) == Fault::Arc && arcTripped_;
        flags += faults_[i] || arcShown ? '1' : '0';
    }
    return flags;
}

void DeviceModel::advance(qint64 nowMs) {
    // In short steps, so the tube's arcs fall when they are due however
    // seldom the caller looks.
    while (lastMs_ < nowMs) {
        qint64 until = std::min(nowMs, lastMs_ + TubeModel::StepMs);
        bool expires = false;
        if (watchdogEnabled_ && !fault(Fault::Watchdog)) {
            // A keep-alive exactly on the deadline is still in time.
            const qint64 deadline = lastKickMs_ + settings_.watchdogMs;
            if (deadline < until) {
                until = std::max(deadline, lastMs_);
                expires = true;
            }
        }
        const qint64 dt = until - lastMs_;
        integrate(dt);
        lastMs_ = until;
        if (expires) {
            faults_[static_cast<int>(Fault::Watchdog)] = true;
            hvOn_ = false;
        } else if (!hvOn_) {
            tube_.idle(dt);
        } else if (tube_.step(kvOf(analog_.kv, factory_.fullScaleKv), dt)) {
            arc(until);
        }
    }
}

void DeviceModel::integrate(qint64 dtMs) {
    if (hvOn_)
        hvOnMs_ += dtMs;
    AnalogChannels::Drive drive;
    drive.hvOn = hvOn_;
    drive.kvSetpoint = dacs_[0];
    drive.maSetpoint = dacs_[1];
    drive.kvRampMs = factory_.kvRampMs;
    drive.maRampMs = factory_.maRampMs;
    drive.filamentRampMs = factory_.filamentRampMs;
    drive.filamentPreheat = factory_.filamentPreheat;
    drive.filamentMax = factory_.filamentMax;
    analog_.step(drive, dtMs);
}

int DeviceModel::noisy(double value, int amplitude) {
    if (value < 0.5)
        return 0;
    int counts = static_cast<int>(std::lround(value));
    if (amplitude > 0)
        counts += std::uniform_int_distribution<int>(-amplitude, amplitude)(rng_);
    return std::clamp(counts, 0, 4095);
}

bool DeviceModel::anySupplyFault() const {
    if (arcTripped_)
        return true;
    for (int i = 0; i < FaultCount; ++i) {
        if (faults_[i] && static_cast<Fault>(i) != Fault::Arc)
            return true;
    }
    return false;
}

bool DeviceModel::triggerArc(qint64 nowMs) {
    advance(nowMs);
    if (!hvOn_)
        return false;
    arc(nowMs);
    return true;
}

void DeviceModel::arc(qint64 nowMs) {
    analog_.quench();
    ++arcs_;
    if (options_.noArcDetect == 1)
        return; // the arc happens, the supply just does not see it
    faults_[static_cast<int>(Fault::Arc)] = true;
    // More arcs than the arc count within the arc period (both ends counted)
    // trip the supply; single-arc mode trips on the first.
    recentArcs_.push_back(nowMs);
    while (recentArcs_.front() < nowMs - options_.arcPeriodS * 1000LL)
        recentArcs_.pop_front();
    if (factory_.arcMode == 1 || static_cast<int>(recentArcs_.size()) > options_.arcCount) {
        hvOn_ = false;
        arcTripped_ = true;
        recentArcs_.clear();
    }
}

void DeviceModel::setInterlockOpen(bool open, qint64 nowMs) {
    advance(nowMs);
    interlockOpen_ = open;
    if (open)
        hvOn_ = false;
}

void DeviceModel::setFault(Fault f, bool raised, qint64 nowMs) {
    advance(nowMs);
    faults_[static_cast<int>(f)] = raised;
    if (f == Fault::Arc && !raised)
        arcTripped_ = false;
    if (raised && f != Fault::Arc)
        hvOn_ = false;
}

void DeviceModel::clearFaults(qint64 nowMs) {
    advance(nowMs);
    faults_.fill(false);
    arcTripped_ = false;
    recentArcs_.clear();
    lastKickMs_ = nowMs;
}

DeviceModel::Status DeviceModel::status() const {
    return Status{hvOn_, interlockOpen_, anySupplyFault()};
}

QString DeviceModel::describe(qint64 nowMs) const {
    QStringList faults;
    for (int i = 0; i < FaultCount; ++i) {
        if (faults_[i])
            faults << QString::fromLatin1(FaultNames[i]);
    }
    if (arcTripped_)
        faults << QStringLiteral("arc-trip");
    const auto onOff = [](bool b) { return b ? QStringLiteral("on") : QStringLiteral("off"); };
    QStringList lines;
    lines << QStringLiteral("hv %1, interlock %2, %3 control, faults: %4")
                 .arg(onOff(hvOn_), interlockOpen_ ? "open" : "closed",
                      remote_ ? "remote" : "local",
                      faults.isEmpty() ? QStringLiteral("none") : faults.join(' '));
    lines << QStringLiteral("watchdog %1%2")
                 .arg(onOff(watchdogEnabled_),
                      watchdogEnabled_
                          ? QStringLiteral(" (last keep-alive %1 ms ago, timeout %2 ms)")
                                .arg(nowMs - lastKickMs_)
                                .arg(settings_.watchdogMs)
                          : QString());
    lines << QStringLiteral("setpoints: VREF %1 IREF %2 DAC-C %3 DAC-D %4")
                 .arg(dacs_[0])
                 .arg(dacs_[1])
                 .arg(dacs_[2])
                 .arg(dacs_[3]);
    lines << QStringLiteral("monitors: VMON %1 IMON %2 FMON %3 LVPS %4 TEMP %5")
                 .arg(std::lround(analog_.kv))
                 .arg(std::lround(analog_.ma))
                 .arg(std::lround(analog_.filament))
                 .arg(std::lround(analog_.lvps()))
                 .arg(analog_.temperature, 0, 'f', 1);
    lines << QStringLiteral("keys: factory %1, serial %2")
                 .arg(factoryUnlocked_ ? "unlocked" : "locked",
                      serialUnlocked_ ? "unlocked" : "locked");
    lines << QStringLiteral("identity: serial %1, firmware %2 build %3")
                 .arg(QString::fromLatin1(serialNumber_), QLatin1String(Revision),
                      QLatin1String(Build));
    lines << QStringLiteral("configuration: %1").arg(QString::fromLatin1(factory_.confFields()));
    lines << QStringLiteral("user options: %1").arg(QString::fromLatin1(options_.fields()));
    lines << QStringLiteral("tube: conditioned to %1 kV, %2 arcs so far")
                 .arg(tube_.conditionedKv(), 0, 'f', 1)
                 .arg(arcs_);
    lines << QStringLiteral("unit baud %1, pass-through %2, hv time %3 s")
                 .arg(unitBaud())
                 .arg(onOff(passThrough_))
                 .arg(hvOnMs_ / 1000);
    return lines.join('\n');
}

} // namespace zor::sim
