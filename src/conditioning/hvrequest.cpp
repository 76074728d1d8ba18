#include "conditioning/hvrequest.h"

#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

namespace zor::conditioning {

void requestHighVoltage(MainWindow &main, bool on) {
    if (main.state.hvEnabled() != on)
        main.btn_HVONOFF_Click();
}

} // namespace zor::conditioning
