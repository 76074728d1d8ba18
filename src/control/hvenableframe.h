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
    // "ENBL 0;" whatever the switch shows: a stop must not rest on an earlier
    // off having arrived. `first` (the X-ray off key) makes it the next frame
    // on the wire, ahead of anything held.
    void switchOff(bool first = false);

private:
    // A click has already moved the switch to the position the operator wants.
    void switchClicked(bool on);
    // Moves the switch to `on`, sends the command and shows the supply's answer.
    void drive(bool on);
    void showAcknowledged(bool on);

    frm_SDIMAIN &main_;
};

} // namespace zor
