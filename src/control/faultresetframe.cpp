#include "control/faultresetframe.h"

#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

#include <QVBoxLayout>

namespace zor {

FaultResetFrame::FaultResetFrame(frm_SDIMAIN &main)
    : QGroupBox(QStringLiteral("RESET FAULT")), main_(main) {
    setObjectName(QStringLiteral("fra_rsttime"));
    setToolTip(QStringLiteral("Reset Faults"));
    auto *box = new QVBoxLayout(this);
    btn_RSTTIME = new ToggleSwitch(QStringLiteral("RESET"), QStringLiteral("In Process!"), this);
    btn_RSTTIME->setObjectName(QStringLiteral("btn_RSTTIME"));
    box->addWidget(btn_RSTTIME);
}

void FaultResetFrame::btn_RSTTIME_Click() {}

} // namespace zor
