#include "control/hvenableframe.h"

#include "diagnostics/frm_rawdata.h"
#include "link/replycut.h"
#include "monitor/statusframe.h"
#include "platform/lamp.h"
#include "platform/toggleswitch.h"
#include "shell/frm_extras.h"
#include "shell/mainwindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace zor {

HvEnableFrame::HvEnableFrame(frm_SDIMAIN &main)
    : QGroupBox(QStringLiteral("X-Ray Enable")), main_(main) {
    setObjectName(QStringLiteral("fra_HVON"));
    auto *box = new QVBoxLayout(this);
    box->addWidget(new QLabel(QStringLiteral("ENABLE"), this));
    btn_HVONOFF = new ToggleSwitch(QStringLiteral("OFF"), QStringLiteral("ON"), this);
    btn_HVONOFF->setObjectName(QStringLiteral("btn_HVONOFF"));
    btn_HVONOFF->setToolTip(QStringLiteral("Turn HV On and Off"));
    btn_HVONOFF->setColors(QColor(0x80, 0x80, 0x80), QColor(0xFF, 0x00, 0x00));
    box->addWidget(btn_HVONOFF);
    box->addWidget(new QLabel(QStringLiteral("DISABLE"), this));
    connect(btn_HVONOFF, &ToggleSwitch::valueChanged, this, &HvEnableFrame::switchClicked);
}

// The direction is fixed when the toggle is asked for, not when its turn comes:
// a toggle held behind another exchange's wait must not be turned round by a
// status read-back that moved the switch meanwhile, which could switch the
// high voltage on when the operator asked for off. Moving the switch at once
// also lets two toggles asked for during one wait go on and off in turn.
void HvEnableFrame::btn_HVONOFF_Click() {
    const bool on = !btn_HVONOFF->value();
    btn_HVONOFF->setValue(on);
    main_.command([this, on] { drive(on); });
}

void HvEnableFrame::switchOff(bool first) {
    btn_HVONOFF->setValue(false);
    if (first)
        main_.link.commandFirst([this] { drive(false); });
    else
        main_.command([this] { drive(false); });
}

void HvEnableFrame::switchClicked(bool on) {
    main_.command([this, on] { drive(on); });
}

void HvEnableFrame::drive(bool on) {
    btn_HVONOFF->setValue(on);
    const QByteArray reply = main_.link.exchange(on ? "ENBL 1;" : "ENBL 0;");
    const auto c = reply::charAt(reply, 2);
    if (!c)
        main_.countCommError();
    else if (*c == ';')
        showAcknowledged(on);
    else if (*c == '1')
        main_.extras().txt_LASTERROR->setText(QStringLiteral("1"));
    // "2" and anything else change nothing.
    main_.extras().txt_COMMERRORS->setText(QStringLiteral(" %1").arg(main_.commErrorCount));
}

void HvEnableFrame::showAcknowledged(bool on) {
    StatusFrame &status = *main_.statusFrame;
    status.led_HVSTAT->setValue(on);
    status.lbl_HVSTAT->setText(on ? QStringLiteral("X-RAY ON") : QStringLiteral("X-RAY OFF"));
    QPalette p = status.lbl_HVSTAT->palette();
    p.setColor(QPalette::WindowText, on ? QColor(0xFF, 0x00, 0x00) : QColor(0x00, 0x00, 0x00));
    status.lbl_HVSTAT->setPalette(p);
    main_.rawData().showInterlock1(on);
}

} // namespace zor
