#include "control/faultresetframe.h"

#include "platform/toggleswitch.h"
#include "supply/supplyops.h"
#include "ui/mainmenu.h"

#include <QAction>
#include <QVBoxLayout>

namespace zor {

FaultResetFrame::FaultResetFrame(ConsoleContext ctx)
    : QGroupBox(QStringLiteral("RESET FAULT")), ctx_(ctx) {
    setObjectName(QStringLiteral("fra_rsttime"));
    setToolTip(QStringLiteral("Reset Faults"));
    auto *box = new QVBoxLayout(this);
    btn_RSTTIME = new ToggleSwitch(QStringLiteral("RESET"), QStringLiteral("In Process!"), this);
    btn_RSTTIME->setObjectName(QStringLiteral("btn_RSTTIME"));
    box->addWidget(btn_RSTTIME);
    connect(btn_RSTTIME, &ToggleSwitch::valueChanged, this, &FaultResetFrame::btn_RSTTIME_Click);
    connect(ctx_.menu.mnu_Reset_total_hrs, &QAction::triggered, this,
            &FaultResetFrame::mnu_Reset_total_hrs_Click);
    connect(&ctx_.ops, &SupplyOps::faultResetClearing, this, [this](bool clearing) {
        btn_RSTTIME->setValue(true);
        if (!clearing)
            btn_RSTTIME->setValue(false);
    });
}

void FaultResetFrame::btn_RSTTIME_Click() {
    ctx_.ops.resetFault();
}

void FaultResetFrame::mnu_Reset_total_hrs_Click() {
    ctx_.ops.resetTotalHours();
}

} // namespace zor
