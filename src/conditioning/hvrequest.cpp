#include "conditioning/hvrequest.h"

#include "supply/supplystate.h"
#include "ui/shellactions.h"

namespace zor::conditioning {

void requestHighVoltage(const SupplyState &state, ShellActions &shell, bool on) {
    if (state.hvEnabled() != on)
        shell.btn_HVONOFF_Click();
}

} // namespace zor::conditioning
