#pragma once

#include "supply/supplyops.h"
#include "ui/consolecontext.h"

#include <QGroupBox>

class QLabel;
class QPushButton;

namespace zor {

class Lamp;

// "SYSTEM STATUS": high voltage, interlock, supply fault, the fault flags and
// the watchdog as the supply model holds them, with the status request and
// the watchdog toggle. The only writer of the high-voltage lamp.
class StatusFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit StatusFrame(ConsoleContext ctx);

    QPushButton *btn_REQSTAT;
    Lamp *led_HVSTAT;
    QLabel *lbl_HVSTAT;
    Lamp *led_INTRLKSTAT;
    QLabel *lbl_INTRLKSTAT;
    Lamp *led_FAULT;
    QLabel *lbl_FAULT;
    Lamp *led_ARC;
    QLabel *lbl_ARC;
    Lamp *led_TEMP;
    QLabel *lbl_TEMP;
    Lamp *led_OV;
    QLabel *lbl_OV;
    Lamp *led_UV;
    QLabel *lbl_UV;
    Lamp *led_OC;
    QLabel *lbl_OC;
    Lamp *led_UC;
    QLabel *lbl_UC;
    Lamp *led_wdtFault;
    QLabel *lbl_wdtFault;
    Lamp *led_opFault;
    QLabel *lbl_opFault;
    Lamp *led_wdt;
    QLabel *lbl_wdt;

    void btn_REQSTAT_Click();
    // The supply's watchdog is taken as off at start, so the first toggle switches it on.
    void enableWdt_Click();
    // A whole status message the supply sent on its own over the network.
    void decodeNetworkStatus(const QByteArray &text);

private:
    struct FaultFlag {
        std::optional<bool> parse::FaultFlags::*flag;
        Lamp *led;
        QLabel *label;
        const char *okText;
        const char *errorText;
    };

    void showXray(bool on);
    void showXrayColour(bool on);
    void showStatus(const StatusBits &bits);
    void showInterlock(bool open);
    void showWatchdog(bool on);

    ConsoleContext ctx_;
    QList<FaultFlag> faultFlags_;
    // What the lamps show now, so a report repaints only the flags that moved.
    StatusBits shown_;
};

} // namespace zor
