#pragma once

#include <QGroupBox>

class QLabel;
class QPushButton;

namespace zor {

class frm_SDIMAIN;
class Lamp;

// "SYSTEM STATUS": high voltage, interlock, supply fault, the fault flags and
// the watchdog, with the status request, the network status reader and the
// watchdog toggle and keep-alive.
class StatusFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit StatusFrame(frm_SDIMAIN &main);

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

    // The supply's watchdog is taken as off at start, as the window shows it,
    // so the first toggle switches it on.
    bool watchdogOff = true;

    void btn_REQSTAT_Click();
    void TickleWatchdog();
    void enableWdt_Click();
    // A whole status message the supply sent on its own over the network.
    void decodeNetworkStatus(const QByteArray &text);

private:
    struct FaultFlag {
        int position;
        Lamp *led;
        QLabel *label;
        const char *okText;
        const char *errorText;
    };

    void showStat(const QByteArray &reply);
    void showFaults(const QByteArray &reply);
    void countArc();
    void showInterlock(bool open);

    frm_SDIMAIN &main_;
    QList<FaultFlag> faultFlags_;
};

} // namespace zor
