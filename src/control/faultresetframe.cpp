#include "control/faultresetframe.h"

#include "link/replycut.h"
#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

#include <QAction>
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
    connect(btn_RSTTIME, &ToggleSwitch::valueChanged, this, &FaultResetFrame::btn_RSTTIME_Click);
    connect(main_.menu.mnu_Reset_total_hrs, &QAction::triggered, this,
            &FaultResetFrame::mnu_Reset_total_hrs_Click);
}

void FaultResetFrame::btn_RSTTIME_Click() {
    main_.command([this] {
        const QByteArray reply = main_.link.exchange("CLR;");
        btn_RSTTIME->setValue(true);
        if (reply::charAt(reply, 2) != '$')
            btn_RSTTIME->setValue(false);
    });
}

void FaultResetFrame::mnu_Reset_total_hrs_Click() {
    // The supply's answer is collected so it cannot be taken for the next
    // command's reply; nothing depends on it.
    main_.command([this] { main_.link.exchange("30,"); });
}

} // namespace zor
