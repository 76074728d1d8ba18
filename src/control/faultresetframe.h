#pragma once

#include "ui/consolecontext.h"

#include <QGroupBox>

namespace zor {

class ToggleSwitch;

// "RESET FAULT": clears the supply's latched faults.
class FaultResetFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit FaultResetFrame(ConsoleContext ctx);

    ToggleSwitch *btn_RSTTIME;
    // Sends "CLR;"; the switch stays at "In Process!" only when the supply answered "$".
    void btn_RSTTIME_Click();
    // Controls-menu "Reset Total Hours" (an entry that stays disabled): sends "30,".
    void mnu_Reset_total_hrs_Click();

private:
    ConsoleContext ctx_;
};

} // namespace zor
