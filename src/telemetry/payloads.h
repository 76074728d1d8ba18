#pragma once

#include "records/eventlog.h"
#include "supply/supplystate.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <array>
#include <utility>

namespace zor::telemetry {

// PREFIX/availability, retained: the console's presence. "offline" is also
// its last will, so it never overwrites the JSON of PREFIX/state.
inline const QByteArray OnlinePayload = QByteArrayLiteral("online");
inline const QByteArray OfflinePayload = QByteArrayLiteral("offline");

using Identity = std::array<QString, IdentityFieldCount>;

// PREFIX/sample: the poll cycle with the keys of zor-ctl's JSON; a value the
// supply has not reported is left out.
QByteArray samplePayload(const SupplySample &s);
// PREFIX/state, retained: when, whether the console runs or has ended, whether
// the supply answers, the high voltage, the interlock, the faults in force
// (named as in the sample without "_ok") and the identity; unknowns left out.
QByteArray statePayload(const QDateTime &at, bool ended, const SupplySample &s, bool linkAnswering,
                        const Identity &identity);
// PREFIX/event: one entry of the event log with its type and severity.
QByteArray eventPayload(const EventLog::Entry &e);
// PREFIX/meta, retained: each sample key's name, unit and decimals.
QByteArray metaPayload();

// Home Assistant's MQTT discovery: a retained config topic and its payload for
// each quantity and each on/off state, one device per supply, read-only. None
// without a serial number, which the unique ids are made of.
QList<std::pair<QByteArray, QByteArray>> discoveryConfigs(const QString &prefix,
                                                          const Identity &identity);

} // namespace zor::telemetry
