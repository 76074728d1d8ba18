#include "control/faultresetframe.h"

#include "link/devicelink.h"
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
    connect(&ctx_.ops, &SupplyOps::answered, this, [this](SupplyOps::Operation op, parse::Ack ack) {
        if (op != SupplyOps::Operation::ResetFault)
            return;
        btn_RSTTIME->setValue(true);
        if (ack != parse::Ack::Taken)
            btn_RSTTIME->setValue(false);
    });
}

void FaultResetFrame::btn_RSTTIME_Click() {
    ctx_.ops.resetFault();
}

void FaultResetFrame::mnu_Reset_total_hrs_Click() {
    // The supply's answer is collected so it cannot be taken for the next
    // command's reply; nothing depends on it.
    ctx_.link.command(this, [this]() -> Task<> { co_await ctx_.link.exchange("30,"); });
}

} // namespace zor
