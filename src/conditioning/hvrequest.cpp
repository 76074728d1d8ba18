#include "conditioning/hvrequest.h"

#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

namespace zor::conditioning {

void requestHighVoltage(frm_SDIMAIN &main, bool on) {
    if (main.btn_HVONOFF->value() != on)
        main.btn_HVONOFF_Click();
}

} // namespace zor::conditioning
