#pragma once

#include <QGroupBox>

namespace zor {

class frm_SDIMAIN;
class ToggleSwitch;

// "X-Ray Enable": the operator's high-voltage switch.
class HvEnableFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit HvEnableFrame(frm_SDIMAIN &main);

    ToggleSwitch *btn_HVONOFF;
    // Toggles the high voltage from the switch's current position.
    void btn_HVONOFF_Click();

private:
    frm_SDIMAIN &main_;
};

} // namespace zor
