#include "control/hvenableframe.h"

#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

#include <QLabel>
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
    box->addWidget(btn_HVONOFF);
    box->addWidget(new QLabel(QStringLiteral("DISABLE"), this));
}

void HvEnableFrame::btn_HVONOFF_Click() {}

} // namespace zor
