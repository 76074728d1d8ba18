#pragma once

#include <QGroupBox>

namespace zor {

class frm_SDIMAIN;
class ToggleSwitch;

// "RESET FAULT": clears the supply's latched faults.
class FaultResetFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit FaultResetFrame(frm_SDIMAIN &main);

    ToggleSwitch *btn_RSTTIME;
    void btn_RSTTIME_Click();

private:
    frm_SDIMAIN &main_;
};

} // namespace zor
