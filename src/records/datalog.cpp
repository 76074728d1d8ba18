#include "records/datalog.h"

namespace zor {

namespace {

QString flag(const std::optional<bool> &b) {
    return b ? QString(*b ? QLatin1Char('1') : QLatin1Char('0')) : QString();
}

QString reading(const Reading &r, int decimals) {
    return r.count ? fileNumber(r.value, decimals) : QString();
}

} // namespace

QString fileTime(const QDateTime &t) {
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

QStringList DataLog::columns() {
    return {QStringLiteral("time [local ISO 8601]"),
            QStringLiteral("HV monitor [kV]"),
            QStringLiteral("mA monitor [mA]"),
            QStringLiteral("filament monitor [A]"),
            QStringLiteral("LVPS [V]"),
            QStringLiteral("temperature [degC]"),
            QStringLiteral("kV setpoint [kV]"),
            QStringLiteral("mA setpoint [mA]"),
            QStringLiteral("HV switch [1=on]"),
            QStringLiteral("HV on [1=on]"),
            QStringLiteral("arc [1=ok]"),
            QStringLiteral("temperature [1=ok]"),
            QStringLiteral("over voltage [1=ok]"),
            QStringLiteral("under voltage [1=ok]"),
            QStringLiteral("over current [1=ok]"),
            QStringLiteral("under current [1=ok]"),
            QStringLiteral("watchdog [1=ok]"),
            QStringLiteral("operation [1=ok]"),
            QStringLiteral("PS fault [1=fault]"),
            QStringLiteral("interlock [1=open]"),
            QStringLiteral("arc count [arcs]"),
            QStringLiteral("failed replies [replies]")};
}

QString DataLog::row(const SupplySample &s) {
    const auto &m = s.monitors;
    const auto &f = s.status.faults;
    const QStringList fields{fileTime(s.wallClock),
                             reading(m[int(Monitor::Kv)], 3),
                             reading(m[int(Monitor::Ma)], 3),
                             reading(m[int(Monitor::FilamentA)], 3),
                             reading(m[int(Monitor::LvpsV)], 3),
                             reading(m[int(Monitor::Temperature)], 2),
                             reading(s.setpoints[int(Channel::Kv)], 3),
                             reading(s.setpoints[int(Channel::Ma)], 3),
                             flag(s.hvEnabled),
                             flag(s.xrayOn),
                             flag(f.arcOk),
                             flag(f.tempOk),
                             flag(f.overVoltageOk),
                             flag(f.underVoltageOk),
                             flag(f.overCurrentOk),
                             flag(f.underCurrentOk),
                             flag(f.watchdogOk),
                             flag(f.operationOk),
                             flag(s.status.psFault),
                             flag(f.interlockOpen),
                             QString::number(s.arcCount),
                             QString::number(s.failedReplies)};
    return fields.join(QLatin1Char(','));
}

QString DataLog::start(const QString &path) {
    stop();
    if (!file_.open(path) || !file_.append(columns().join(QLatin1Char(','))))
        return file_.error();
    path_ = path;
    emit activeChanged(true, path_);
    return {};
}

void DataLog::stop() {
    if (!file_.isOpen())
        return;
    file_.close();
    emit activeChanged(false, path_);
}

void DataLog::write(const SupplySample &s) {
    if (!file_.isOpen() || file_.append(row(s)))
        return;
    emit activeChanged(false, path_);
    emit failed(QStringLiteral("Logging to %1 stopped: %2. Polling goes on; the rows written "
                               "so far are kept.")
                    .arg(path_, file_.error()));
}

} // namespace zor
