#include "records/samplerow.h"

#include <QJsonValue>
#include <QStringList>
#include <array>
#include <optional>

namespace zor {

namespace {

struct Cell {
    const char *key;
    const char *unit; // empty for flags and counts
    int decimals;     // -1: a flag, shown 0/1, true/false or yes/no
    std::optional<double> value;
};

std::optional<double> known(const Reading &r) {
    return r.count ? std::optional<double>(r.value) : std::nullopt;
}

std::optional<double> flag(const std::optional<bool> &b) {
    return b ? std::optional<double>(*b ? 1.0 : 0.0) : std::nullopt;
}

std::array<Cell, 21> cells(const SupplySample &s) {
    const auto monitor = [&](Monitor m) { return known(s.monitors[static_cast<int>(m)]); };
    const auto setpoint = [&](Channel c) { return known(s.setpoints[static_cast<int>(c)]); };
    const parse::FaultFlags &f = s.status.faults;
    return {{
        {"kv_monitor", "kV", 3, monitor(Monitor::Kv)},
        {"ma_monitor", "mA", 3, monitor(Monitor::Ma)},
        {"filament", "A", 3, monitor(Monitor::FilamentA)},
        {"lvps", "V", 2, monitor(Monitor::LvpsV)},
        {"temperature", "C", 1, monitor(Monitor::Temperature)},
        {"kv_setpoint", "kV", 3, setpoint(Channel::Kv)},
        {"ma_setpoint", "mA", 3, setpoint(Channel::Ma)},
        {"hv_on", "", -1, flag(s.xrayOn)},
        {"arc_ok", "", -1, flag(f.arcOk)},
        {"temp_ok", "", -1, flag(f.tempOk)},
        {"over_voltage_ok", "", -1, flag(f.overVoltageOk)},
        {"under_voltage_ok", "", -1, flag(f.underVoltageOk)},
        {"over_current_ok", "", -1, flag(f.overCurrentOk)},
        {"under_current_ok", "", -1, flag(f.underCurrentOk)},
        {"watchdog_ok", "", -1, flag(f.watchdogOk)},
        {"operation_ok", "", -1, flag(f.operationOk)},
        {"interlock_open", "", -1, flag(f.interlockOpen)},
        {"ps_fault", "", -1, flag(s.status.psFault)},
        {"arc_count", "", 0, double(s.arcCount)},
        {"failed_replies", "", 0, double(s.failedReplies)},
        {"cycle", "", 0, double(s.cycle)},
    }};
}

// Dots for decimals whatever the locale.
QString number(const Cell &c) {
    return QString::number(*c.value, 'f', qMax(c.decimals, 0));
}

QString localTime(const SupplySample &s) {
    return s.wallClock.toLocalTime().toString(Qt::ISODateWithMs);
}

QString people(const Cell &c) {
    if (!c.value)
        return QStringLiteral("?");
    if (c.decimals < 0)
        return *c.value != 0 ? QStringLiteral("yes") : QStringLiteral("no");
    return *c.unit ? number(c) + ' ' + QLatin1String(c.unit) : number(c);
}

} // namespace

QString csvHeader() {
    QStringList names{QStringLiteral("time")};
    for (const Cell &c : cells({}))
        names << (*c.unit ? QStringLiteral("%1 (%2)").arg(c.key, c.unit) : QString(c.key));
    return names.join(',');
}

QString csvRow(const SupplySample &s) {
    QStringList values{localTime(s)};
    for (const Cell &c : cells(s))
        values << (c.value ? number(c) : QString());
    return values.join(',');
}

QJsonObject jsonRow(const SupplySample &s) {
    QJsonObject o{{QStringLiteral("time"), localTime(s)}};
    for (const Cell &c : cells(s)) {
        if (!c.value)
            o.insert(QLatin1String(c.key), QJsonValue::Null);
        else if (c.decimals < 0)
            o.insert(QLatin1String(c.key), *c.value != 0);
        else
            o.insert(QLatin1String(c.key), number(c).toDouble());
    }
    return o;
}

QStringList faultNames(const StatusBits &status) {
    SupplySample s;
    s.status = status;
    const auto all = cells(s);
    QStringList faults;
    for (int i = 8; i <= 15; ++i) {
        if (all[i].value == 0.0)
            faults << QString(all[i].key).chopped(3);
    }
    return faults;
}

QString peopleLine(const SupplySample &s) {
    const auto all = cells(s);
    const QStringList faults = faultNames(s.status);
    const QString interlock = !all[16].value   ? QStringLiteral("?")
                              : *all[16].value ? QStringLiteral("open")
                                               : QStringLiteral("closed");
    return QStringLiteral("%1  %2  %3  fil %4  set %5 %6  hv %7  interlock %8  faults %9  "
                          "arcs %10")
        .arg(s.wallClock.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")), people(all[0]),
             people(all[1]), people(all[2]), people(all[5]), people(all[6]),
             !all[7].value   ? QStringLiteral("?")
             : *all[7].value ? QStringLiteral("on")
                             : QStringLiteral("off"),
             interlock, faults.isEmpty() ? QStringLiteral("none") : faults.join(','),
             people(all[18]));
}

QString peopleReport(const SupplySample &s) {
    QString out;
    for (const Cell &c : cells(s))
        out += QStringLiteral("%1 %2\n").arg(QString(c.key).leftJustified(18), people(c));
    return out;
}

const char *identityKey(IdentityField f) {
    static const std::array<const char *, IdentityFieldCount> Keys{"hardware", "model", "software",
                                                                   "build", "serial"};
    return Keys[static_cast<int>(f)];
}

} // namespace zor
