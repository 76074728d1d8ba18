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

    void btn_REQSTAT_Click();
    void TickleWatchdog();
    void enableWdt_Click();
    // A whole status message the supply sent on its own over the network.
    void decodeNetworkStatus(const QByteArray &text);

private:
    frm_SDIMAIN &main_;
};

} // namespace zor
