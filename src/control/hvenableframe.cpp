#include "control/hvenableframe.h"

#include "platform/toggleswitch.h"
#include "supply/supplyops.h"

#include <QLabel>
#include <QVBoxLayout>

namespace zor {

HvEnableFrame::HvEnableFrame(ConsoleContext ctx)
    : QGroupBox(QStringLiteral("X-Ray Enable")), ctx_(ctx) {
    setObjectName(QStringLiteral("fra_HVON"));
    auto *box = new QVBoxLayout(this);
    box->addWidget(new QLabel(QStringLiteral("ENABLE"), this));
    btn_HVONOFF = new ToggleSwitch(QStringLiteral("OFF"), QStringLiteral("ON"), this);
    btn_HVONOFF->setObjectName(QStringLiteral("btn_HVONOFF"));
    btn_HVONOFF->setToolTip(QStringLiteral("Turn HV On and Off"));
    btn_HVONOFF->setColors(QColor(0x80, 0x80, 0x80), QColor(0xFF, 0x00, 0x00));
    box->addWidget(btn_HVONOFF);
    box->addWidget(new QLabel(QStringLiteral("DISABLE"), this));
    // A click has already moved the switch to the position the operator wants.
    connect(btn_HVONOFF, &ToggleSwitch::valueChanged, &ctx_.ops, &SupplyOps::setHighVoltage);
    connect(&ctx_.state, &SupplyState::hvEnabledChanged, btn_HVONOFF, &ToggleSwitch::setValue);
}

// The direction is fixed when the toggle is asked for, not when its turn comes
// (the operation moves the switch at once), so two toggles asked for during
// one wait go on and off in turn.
void HvEnableFrame::btn_HVONOFF_Click() {
    ctx_.ops.setHighVoltage(!ctx_.state.hvEnabled());
}

void HvEnableFrame::switchOff(bool first) {
    if (first)
        ctx_.ops.switchOffFirst();
    else
        ctx_.ops.setHighVoltage(false);
}

} // namespace zor
