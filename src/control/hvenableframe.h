#pragma once

#include "supply/quantities.h"
#include "ui/consolecontext.h"

#include <QGroupBox>
#include <QTimer>

class QLabel;

namespace zor {

class ToggleSwitch;

// "X-Ray Enable": the operator's high-voltage switch; it shows the switch
// position the supply model holds.
class HvEnableFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit HvEnableFrame(ConsoleContext ctx);

    ToggleSwitch *btn_HVONOFF;
    // Toggles the high voltage from the switch's current position.
    void btn_HVONOFF_Click();
    // "ENBL 0;" whatever the switch shows: a stop must not rest on an earlier
    // off having arrived. `first` (the X-ray off key) makes it the next frame
    // on the wire, ahead of anything held.
    void switchOff(bool first = false);

    // A refused switch-on and why, beside the switch for a few seconds.
    QLabel *lbl_HVREFUSED;
    static constexpr int RefusalShownMs = 5000;
    // The words shown for a refusal: the lamps that are on, if any.
    static QString refusalText(const StatusBits &status);

signals:
    // For the status bar too.
    void refused(const QString &text);

private:
    void showRefusal();
    // Asks for a position; an on is refused while no transport could carry it.
    void ask(bool on);
    // False when the operator, told the tube has been idle too long, did not
    // choose to switch on anyway.
    bool idleTubeAllowed();

    ConsoleContext ctx_;
    // The tube the operator chose to switch on anyway, not asked about again.
    QString allowedTube_;
    QTimer refusedShown_;
};

} // namespace zor
