#include "records/samplerow.h"

#include "platform/isotime.h"

#include <QJsonValue>
#include <array>

namespace zor {

namespace {

QList<SampleColumn> makeColumns() {
    QList<SampleColumn> out;
    const auto add = [&](const char *key, const char *name, const char *unit, int decimals) {
        out.append({QLatin1String(key),
                    QStringLiteral("%1 [%2]").arg(QLatin1String(name), QLatin1String(unit)),
                    QLatin1String(unit), decimals});
    };
    for (const QuantityInfo &q : Quantities)
        add(q.key, q.name, q.unit, q.decimals);
    add("hv_switch", "HV switch", "1=on", -1);
    add("hv_on", "HV on", "1=on", -1);
    for (const FlagInfo &f : StatusFlags)
        add(f.key, f.name, f.unit, -1);
    add("arc_count", "arc count", "arcs", 0);
    add("failed_replies", "failed replies", "replies", 0);
    return out;
}

std::optional<double> flag(const std::optional<bool> &b) {
    return b ? std::optional<double>(*b ? 1.0 : 0.0) : std::nullopt;
}

QString number(const SampleColumn &c, double v) {
    return fileNumber(v, qMax(c.decimals, 0));
}

QString csvCell(const SampleColumn &c, const std::optional<double> &v) {
    return v ? number(c, *v) : QString();
}

QString people(const SampleValues &values, int column) {
    const SampleColumn &c = sampleColumns()[column];
    const std::optional<double> &v = values[column];
    if (!v)
        return QStringLiteral("?");
    if (c.decimals < 0)
        return *v != 0 ? QStringLiteral("yes") : QStringLiteral("no");
    return column < QuantityCount ? number(c, *v) + ' ' + c.unit : number(c, *v);
}

} // namespace

const QList<SampleColumn> &sampleColumns() {
    static const QList<SampleColumn> columns = makeColumns();
    return columns;
}

SampleValues unknownValues() {
    return SampleValues(sampleColumns().size());
}

SampleValues sampleValues(const SupplySample &s) {
    SampleValues v;
    for (const Reading &r : s.readings)
        v << (r.count ? std::optional<double>(r.value) : std::nullopt);
    v << flag(s.hvEnabled) << flag(s.xrayOn);
    for (const FlagInfo &f : StatusFlags)
        v << flag(f.of(s.status));
    v << double(s.arcCount) << double(s.failedReplies);
    return v;
}

QString csvHeader() {
    QStringList names{QStringLiteral("time [ISO 8601 with UTC offset]")};
    for (const SampleColumn &c : sampleColumns())
        names << c.header;
    return names.join(',');
}

QString csvRow(const QDateTime &wallClock, const SampleValues &values) {
    QStringList cells{isoTime(wallClock)};
    for (int i = 0; i < values.size(); ++i)
        cells << csvCell(sampleColumns()[i], values[i]);
    return cells.join(',');
}

QJsonObject jsonRow(const SupplySample &s) {
    QJsonObject o{{QStringLiteral("time"), isoTime(s.wallClock)},
                  {QStringLiteral("cycle"), double(s.cycle)}};
    const SampleValues values = sampleValues(s);
    for (int i = 0; i < values.size(); ++i) {
        const SampleColumn &c = sampleColumns()[i];
        if (!values[i])
            o.insert(c.key, QJsonValue::Null);
        else if (c.decimals < 0)
            o.insert(c.key, *values[i] != 0);
        else
            o.insert(c.key, number(c, *values[i]).toDouble());
    }
    return o;
}

QStringList faultNames(const StatusBits &status) {
    QStringList faults;
    for (const FlagInfo &f : StatusFlags)
        if (!f.alarm && f.of(status) == false)
            faults << QString::fromLatin1(f.key).chopped(3);
    return faults;
}

QString peopleLine(const SupplySample &s) {
    const SampleValues v = sampleValues(s);
    const auto shown = [&](Quantity q) { return people(v, columnOf(q)); };
    const auto interlock = s.status.faults.interlockOpen;
    const QStringList faults = faultNames(s.status);
    return QStringLiteral("%1  %2  %3  fil %4  set %5 %6  hv %7  interlock %8  faults %9  "
                          "arcs %10")
        .arg(s.wallClock.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")),
             shown(Quantity::KvMonitor), shown(Quantity::MaMonitor),
             shown(Quantity::FilamentMonitor), shown(Quantity::KvSetpoint),
             shown(Quantity::MaSetpoint), s.xrayOn ? QStringLiteral("on") : QStringLiteral("off"),
             !interlock   ? QStringLiteral("?")
             : *interlock ? QStringLiteral("open")
                          : QStringLiteral("closed"),
             faults.isEmpty() ? QStringLiteral("none") : faults.join(','),
             people(v, ArcCountColumn));
}

QString peopleReport(const SupplySample &s) {
    const SampleValues v = sampleValues(s);
    QString out;
    for (int i = 0; i < v.size(); ++i)
        out +=
            QStringLiteral("%1 %2\n").arg(sampleColumns()[i].key.leftJustified(18), people(v, i));
    return out;
}

const char *identityKey(IdentityField f) {
    static const std::array<const char *, IdentityFieldCount> Keys{"hardware", "model", "software",
                                                                   "build", "serial"};
    return Keys[static_cast<int>(f)];
}

} // namespace zor
