#include "control/hvenableframe.h"

#include "link/devicelink.h"
#include "platform/dialogs.h"
#include "platform/toggleswitch.h"
#include "runs/runrecord.h"
#include "runs/tubehistory.h"
#include "supply/supplyops.h"
#include "ui/mainmenu.h"
#include "ui/stalemarks.h"

#include <QAction>
#include <QLabel>
#include <QTimer>
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
    // Its ON means nothing while the supply is silent or the port is gone.
    (new StaleMarks(ctx_.state, this))->add({btn_HVONOFF});
    box->addWidget(new QLabel(QStringLiteral("DISABLE"), this));
    lbl_HVREFUSED = new QLabel(this);
    lbl_HVREFUSED->setObjectName(QStringLiteral("lbl_HVREFUSED"));
    lbl_HVREFUSED->setStyleSheet(QStringLiteral("color: red"));
    lbl_HVREFUSED->setWordWrap(true);
    // Its room is kept: a refusal neither widens nor lengthens the window.
    lbl_HVREFUSED->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    lbl_HVREFUSED->setFixedHeight(2 * lbl_HVREFUSED->fontMetrics().lineSpacing());
    box->addWidget(lbl_HVREFUSED);
    refusedShown_.setSingleShot(true);
    refusedShown_.setInterval(RefusalShownMs);
    connect(&refusedShown_, &QTimer::timeout, lbl_HVREFUSED, &QLabel::clear);
    connect(&ctx_.ops, &SupplyOps::answered, this, [this](SupplyOps::Operation op, parse::Ack ack) {
        if (op == SupplyOps::Operation::HvOn && ack == parse::Ack::Refused)
            showRefusal();
    });
    // A click has already moved the switch to the position the operator wants.
    connect(btn_HVONOFF, &ToggleSwitch::valueChanged, this, &HvEnableFrame::ask);
    connect(&ctx_.state, &SupplyState::hvEnabledChanged, btn_HVONOFF, &ToggleSwitch::setValue);
    // The warning before X-rays counts down on the switch's face.
    XrayWarning &warning = ctx_.ops.xrayWarning();
    connect(&warning, &XrayWarning::tick, btn_HVONOFF,
            [this](int left) { btn_HVONOFF->setText(QStringLiteral("ON IN %1").arg(left)); });
    connect(&warning, &XrayWarning::finished, btn_HVONOFF, [this] {
        btn_HVONOFF->setText(btn_HVONOFF->value() ? btn_HVONOFF->onFace() : btn_HVONOFF->offFace());
    });
}

// The direction is fixed when the toggle is asked for, not when its turn comes
// (the operation moves the switch at once), so two toggles asked for during
// one wait go on and off in turn.
void HvEnableFrame::btn_HVONOFF_Click() {
    ask(!ctx_.state.hvEnabled());
}

void HvEnableFrame::ask(bool on) {
    XrayWarning &warning = ctx_.ops.xrayWarning();
    // A click during the warning cancels it, and nothing is sent.
    if (warning.running()) {
        btn_HVONOFF->setValue(ctx_.state.hvEnabled());
        warning.cancel();
        return;
    }
    // Nothing can reach a supply: the switch must not show an on that goes
    // nowhere. An off is never held back.
    if (on && !ctx_.link.transportOpen()) {
        btn_HVONOFF->setValue(ctx_.state.hvEnabled());
        dialogs().message(QStringLiteral("Please Select Port!"));
        return;
    }
    if (on && !idleTubeAllowed()) {
        btn_HVONOFF->setValue(ctx_.state.hvEnabled());
        return;
    }
    if (on && warning.seconds() > 0) {
        // The switch stays off until the warning is over; the on still meets the off gate.
        btn_HVONOFF->setValue(ctx_.state.hvEnabled());
        const quint64 offSeen = ctx_.ops.offAsked();
        warning.start(offSeen,
                      [ops = &ctx_.ops, offSeen] { ops->setHighVoltageSince(true, offSeen); });
        return;
    }
    ctx_.ops.setHighVoltage(on);
}

bool HvEnableFrame::idleTubeAllowed() {
    const QString tube = runs::rememberedTube(ctx_.state.identity(IdentityField::SerialNumber));
    if (tube.isEmpty() || tube == allowedTube_)
        return true;
    const auto days =
        runs::idleDays(runs::defaultRunFolder(), tube, QDateTime::currentDateTimeUtc());
    if (!days || *days <= runs::idleWarningDays())
        return true;
    const int answer = dialogs().ask(
        QStringLiteral("Tube %1 idle for %2 days: season before use?").arg(tube).arg(*days),
        {QStringLiteral("Season Now"), QStringLiteral("Switch On Anyway"),
         QStringLiteral("Cancel")});
    if (answer == 1) {
        allowedTube_ = tube;
        return true;
    }
    // The seasoning table opens once this click has been answered.
    if (answer == 0)
        QTimer::singleShot(0, ctx_.menu.menu_Season, &QAction::trigger);
    return false;
}

QString HvEnableFrame::refusalText(const StatusBits &status) {
    QStringList why;
    for (const FlagInfo &f : StatusFlags)
        if (f.of(status) == f.alarm && std::string_view(f.key) != "arc_ok")
            why << QString::fromLatin1(f.raised).remove(QStringLiteral(" raised")).toLower();
    return why.isEmpty() ? QStringLiteral("ON refused by the supply")
                         : QStringLiteral("ON refused: ") + why.join(QStringLiteral(", "));
}

void HvEnableFrame::showRefusal() {
    const QString text = refusalText(ctx_.state.status());
    lbl_HVREFUSED->setText(text);
    refusedShown_.start();
    emit refused(text);
}

void HvEnableFrame::switchOff(bool first) {
    ctx_.ops.xrayWarning().cancel();
    if (first)
        ctx_.ops.switchOffFirst();
    else
        ctx_.ops.setHighVoltage(false);
}

} // namespace zor
