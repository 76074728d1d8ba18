#pragma once

#include "supply/supplystate.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace zor {

// One poll cycle as a row, the same for the data log, the trend's export and
// zor-ctl: the time (isoTime), every quantity, the high-voltage
// switch and lamp, every status flag, the arc count and the failed replies so
// far. A value the supply has not reported is empty in CSV, null in JSON and
// "?" for people.

// Numbers in files always carry a dot, whatever the operator's locale.
inline QString fileNumber(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

struct SampleColumn {
    QString key;    // JSON and zor-ctl: "kv_monitor"
    QString header; // CSV: "HV monitor [kV]"
    QString unit;
    int decimals; // -1: a flag, shown 1/0, true/false or yes/no
};
const QList<SampleColumn> &sampleColumns();

// Where a cell sits among the values of a row (the time not counted).
constexpr int columnOf(Quantity q) {
    return int(q);
}
inline constexpr int HvSwitchColumn = QuantityCount;
inline constexpr int HvOnColumn = QuantityCount + 1;
constexpr int columnOfFlag(int flag) {
    return QuantityCount + 2 + flag;
}
inline constexpr int ArcCountColumn = columnOfFlag(int(std::size(StatusFlags)));
inline constexpr int FailedRepliesColumn = ArcCountColumn + 1;

using SampleValues = QList<std::optional<double>>;
SampleValues sampleValues(const SupplySample &s);
// A row with every cell unknown, to fill in part.
SampleValues unknownValues();

// The one CSV writer.
QString csvHeader();
QString csvRow(const QDateTime &wallClock, const SampleValues &values);
inline QString csvRow(const SupplySample &s) {
    return csvRow(s.wallClock, sampleValues(s));
}

QJsonObject jsonRow(const SupplySample &s);
// The faults a status shows ("temp", "arc", ...), for people.
QStringList faultNames(const StatusBits &status);
// One line per cycle for a person watching.
QString peopleLine(const SupplySample &s);
// The whole row, one value a line.
QString peopleReport(const SupplySample &s);
// The key of an identity field in JSON: hardware, model, software, build, serial.
const char *identityKey(IdentityField f);

} // namespace zor
