#include "monitor/statusframe.h"

#include "link/devicelink.h"
#include "platform/lamp.h"
#include "supply/supplystate.h"
#include "ui/mainmenu.h"
#include "ui/stalemarks.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace zor {

namespace {

const QColor Red(255, 0, 0);
const QColor Yellow(255, 255, 0);
const QColor Black(0, 0, 0);

void setTextColour(QLabel *label, const QColor &colour) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

} // namespace

StatusFrame::StatusFrame(ConsoleContext ctx)
    : QGroupBox(QStringLiteral("SYSTEM STATUS")), ctx_(ctx) {
    setObjectName(QStringLiteral("fra_STATUS"));
    auto *grid = new QGridLayout(this);
    int row = 0;
    const auto indicator = [&](Lamp *&led, QLabel *&label, const char *name, const QColor &lit,
                               const QColor &unlit, const char *text) {
        led = new Lamp(lit, unlit, this);
        led->setObjectName(QStringLiteral("led_") + QLatin1String(name));
        label = new QLabel(QString::fromLatin1(text), this);
        label->setObjectName(QStringLiteral("lbl_") + QLatin1String(name));
        grid->addWidget(led, row, 0);
        grid->addWidget(label, row, 1);
        ++row;
    };
    // Nothing is shown as off before the supply has said so.
    indicator(led_HVSTAT, lbl_HVSTAT, "HVSTAT", QColor(255, 192, 128), Black, "X-RAY UNKNOWN");
    led_HVSTAT->setToolTip(QStringLiteral("HV On/Off Indicator"));
    indicator(led_INTRLKSTAT, lbl_INTRLKSTAT, "INTRLKSTAT", Red, Yellow, "INTERLOCK");
    indicator(led_FAULT, lbl_FAULT, "FAULT", Red, Yellow, "NO PS  FAULT");
    indicator(led_ARC, lbl_ARC, "ARC", Yellow, Red, "ARC");
    indicator(led_TEMP, lbl_TEMP, "TEMP", Yellow, Red, "TEMP");
    indicator(led_OV, lbl_OV, "OV", Yellow, Red, "Over Voltage");
    indicator(led_UV, lbl_UV, "UV", Yellow, Red, "Under Voltage");
    indicator(led_OC, lbl_OC, "OC", Yellow, Red, "Over Current");
    indicator(led_UC, lbl_UC, "UC", Yellow, Red, "Under Current");
    indicator(led_wdtFault, lbl_wdtFault, "wdtFault", Yellow, Red, "WDT Fault");
    indicator(led_opFault, lbl_opFault, "opFault", Yellow, Red, "OP Fault");
    indicator(led_wdt, lbl_wdt, "wdt", Yellow, Black, "WDT Off");
    // These labels change colour with their state; start from a known black.
    for (QLabel *label : {lbl_HVSTAT, lbl_INTRLKSTAT, lbl_FAULT})
        setTextColour(label, Black);

    btn_REQSTAT = new QPushButton(QStringLiteral("Request Status"), this);
    btn_REQSTAT->setObjectName(QStringLiteral("btn_REQSTAT"));
    grid->addWidget(btn_REQSTAT, row, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    connect(btn_REQSTAT, &QPushButton::clicked, this, &StatusFrame::btn_REQSTAT_Click);
    connect(ctx_.menu.enableWdt, &QAction::triggered, this, &StatusFrame::enableWdt_Click);

    using F = parse::FaultFlags;
    faultFlags_ = {{&F::arcOk, led_ARC, lbl_ARC, "Arc OK", "Arc Error"},
                   {&F::tempOk, led_TEMP, lbl_TEMP, "Temp OK", "Temp Error"},
                   {&F::overVoltageOk, led_OV, lbl_OV, "Over Voltage OK", "Over Voltage Error"},
                   {&F::underVoltageOk, led_UV, lbl_UV, "Under Voltage OK", "Under Voltage Error"},
                   {&F::overCurrentOk, led_OC, lbl_OC, "Over Current OK", "Over Current Error"},
                   {&F::underCurrentOk, led_UC, lbl_UC, "Under Current OK", "Under Current Error"},
                   {&F::watchdogOk, led_wdtFault, lbl_wdtFault, "WDT OK", "WDT Fault"},
                   {&F::operationOk, led_opFault, lbl_opFault, "OP OK", "OP Fault"}};

    SupplyState &state = ctx_.state;
    auto *stale = new StaleMarks(state, this);
    stale->add({led_HVSTAT, lbl_HVSTAT, led_INTRLKSTAT, lbl_INTRLKSTAT, led_FAULT, lbl_FAULT});
    for (const FaultFlag &flag : faultFlags_)
        stale->add({flag.led, flag.label});
    connect(&state, &SupplyState::xrayOnChanged, this, &StatusFrame::showXray);
    connect(&state, &SupplyState::statusKnownChanged, this, [this] {
        if (ctx_.state.statusKnown())
            return showXray(ctx_.state.xrayOn());
        led_HVSTAT->setValue(false);
        lbl_HVSTAT->setText(QStringLiteral("X-RAY UNKNOWN"));
    });
    connect(&state, &SupplyState::statusChanged, this, &StatusFrame::showStatus);
    connect(&state, &SupplyState::watchdogEnabledChanged, this, &StatusFrame::showWatchdog);
    // An acknowledged switch-over also colours the caption.
    connect(&ctx_.ops, &SupplyOps::answered, this, [this](SupplyOps::Operation op, parse::Ack ack) {
        if (ack != parse::Ack::Taken ||
            (op != SupplyOps::Operation::HvOn && op != SupplyOps::Operation::HvOff))
            return;
        showXrayColour(op == SupplyOps::Operation::HvOn);
    });
}

void StatusFrame::btn_REQSTAT_Click() {
    ctx_.ops.requestStatus();
}

void StatusFrame::showXray(bool on) {
    led_HVSTAT->setValue(on);
    lbl_HVSTAT->setText(on ? QStringLiteral("X-RAY ON") : QStringLiteral("X-RAY OFF"));
}

void StatusFrame::showXrayColour(bool on) {
    setTextColour(lbl_HVSTAT, on ? Red : Black);
}

void StatusFrame::showStatus(const StatusBits &bits) {
    for (const FaultFlag &flag : faultFlags_) {
        const std::optional<bool> healthy = bits.faults.*flag.flag;
        if (!healthy || healthy == shown_.faults.*flag.flag)
            continue;
        flag.led->setValue(*healthy);
        flag.label->setText(QString::fromLatin1(*healthy ? flag.okText : flag.errorText));
    }
    if (bits.faults.interlockOpen && bits.faults.interlockOpen != shown_.faults.interlockOpen)
        showInterlock(*bits.faults.interlockOpen);
    if (bits.psFault && bits.psFault != shown_.psFault) {
        led_FAULT->setValue(*bits.psFault);
        lbl_FAULT->setText(*bits.psFault ? QStringLiteral("P.S. FAULT")
                                         : QStringLiteral("NO P.S. FAULT"));
        setTextColour(lbl_FAULT, *bits.psFault ? Red : Black);
    }
    shown_ = bits;
}

void StatusFrame::showInterlock(bool open) {
    led_INTRLKSTAT->setValue(open);
    lbl_INTRLKSTAT->setText(open ? QStringLiteral("Interlock Open")
                                 : QStringLiteral("Interlock Closed"));
    setTextColour(lbl_INTRLKSTAT, open ? Red : Black);
}

void StatusFrame::decodeNetworkStatus(const QByteArray &text) {
    ctx_.ops.applyNetworkStatus(text);
    // The supply's own report colours the caption; off goes back to the start colour.
    if (const auto on = parse::networkStatus(text).hvOn)
        showXrayColour(*on);
}

void StatusFrame::enableWdt_Click() {
    // The direction is taken when the toggle's turn comes, so two toggles asked
    // for during one wait go on and off in turn.
    // The direction is the one in force when its turn comes.
    ctx_.link.command(this,
                      [this] { return ctx_.ops.watchdogTask(!ctx_.state.watchdogEnabled()); });
}

void StatusFrame::showWatchdog(bool on) {
    ctx_.menu.enableWdt->setText(on ? QStringLiteral("Disable Watchdog Timer")
                                    : QStringLiteral("Enable Watchdog Timer"));
    led_wdt->setValue(on);
    lbl_wdt->setText(on ? QStringLiteral("WDT On") : QStringLiteral("WDT Off"));
}

} // namespace zor
