#include "conditioning/hvrequest.h"

#include "supply/supplyops.h"

namespace zor::conditioning {

Task<bool> requestHighVoltage(SupplyOps &ops, bool on, quint64 offSeen) {
    if (on && ops.state().offAsked() != offSeen)
        co_return false;
    if (ops.state().hvEnabled() != on)
        co_await ops.highVoltageTask(on, offSeen);
    co_return !on || ops.state().offAsked() == offSeen;
}

} // namespace zor::conditioning
