#pragma once

#include "supply/supplystate.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace zor {

// One poll cycle as a row: the local time with milliseconds, the monitors,
// the setpoints, the high voltage, every status and fault flag, the interlock,
// the arc count and the failed replies so far. A value the supply has not
// reported is empty in CSV, null in JSON and "?" for people.
QString csvHeader();
QString csvRow(const SupplySample &s);
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
