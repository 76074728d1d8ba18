#pragma once

#include "records/eventlog.h"
#include "supply/supplystate.h"

#include <QByteArray>
#include <array>

namespace zor::telemetry {

// What PREFIX/state says while the console is away; also its last will.
inline const QByteArray OfflinePayload = QByteArrayLiteral("offline");

using Identity = std::array<QString, IdentityFieldCount>;

// PREFIX/sample: the poll cycle as zor-ctl prints it in JSON, the same keys,
// with the time in UTC so a dashboard fed by many consoles can order them.
QByteArray samplePayload(const SupplySample &s);
// PREFIX/state: online, whether the supply answers, the high voltage, the
// interlock, the faults in force (named as in the sample without "_ok") and
// the identity.
QByteArray statePayload(const SupplySample &s, bool linkAnswering, const Identity &identity);
// PREFIX/event: one entry of the event log.
QByteArray eventPayload(const EventLog::Entry &e);

} // namespace zor::telemetry
