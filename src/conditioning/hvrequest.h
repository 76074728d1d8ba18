#pragma once

#include "link/devicelink.h"

#include <QtGlobal>

namespace zor {
class SupplyOps;
} // namespace zor

namespace zor::conditioning {

// Brings the high voltage to the wanted position for a run, and sends nothing
// when the switch is there already (a toggle alone would invert its meaning
// once anything else had moved the switch). An on is never sent once an off
// was asked for after the run began (`offSeen`, the count then): it answers
// false, and the run must end. Await it from inside a command body, so the
// position it reads is the one it acts on.
Task<bool> requestHighVoltage(SupplyOps &ops, bool on, quint64 offSeen);

} // namespace zor::conditioning
