#include "monitor/statusframe.h"

#include "control/arcframe.h"
#include "link/replycut.h"
#include "platform/lamp.h"
#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <limits>

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

StatusFrame::StatusFrame(frm_SDIMAIN &main)
    : QGroupBox(QStringLiteral("SYSTEM STATUS")), main_(main) {
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
    indicator(led_HVSTAT, lbl_HVSTAT, "HVSTAT", QColor(255, 192, 128), Black, "X-RAY OFF");
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
    connect(main_.menu.enableWdt, &QAction::triggered, this, &StatusFrame::enableWdt_Click);

    // FLT reply positions 2..10 except the interlock at 9, which works the other way round.
    faultFlags_ = {{3, led_TEMP, lbl_TEMP, "Temp OK", "Temp Error"},
                   {4, led_OV, lbl_OV, "Over Voltage OK", "Over Voltage Error"},
                   {5, led_UV, lbl_UV, "Under Voltage OK", "Under Voltage Error"},
                   {6, led_OC, lbl_OC, "Over Current OK", "Over Current Error"},
                   {7, led_UC, lbl_UC, "Under Current OK", "Under Current Error"},
                   {8, led_wdtFault, lbl_wdtFault, "WDT OK", "WDT Fault"},
                   {10, led_opFault, lbl_opFault, "OP OK", "OP Fault"}};
}

void StatusFrame::btn_REQSTAT_Click() {
    main_.command([this] {
        const QByteArray stat = main_.link.exchange("STAT;");
        if (stat.isEmpty())
            main_.countCommError();
        else
            showStat(stat);
        // An empty or short FLT reply simply leaves the lamps as they are.
        showFaults(main_.link.exchange("FLT;"));
    });
}

void StatusFrame::showStat(const QByteArray &reply) {
    const auto hv = reply::charAt(reply, 2);
    if (hv == '1') {
        led_HVSTAT->setValue(true);
        lbl_HVSTAT->setText(QStringLiteral("X-RAY ON"));
        if (!main_.btn_HVONOFF->value())
            main_.btn_HVONOFF->setValue(true);
    } else if (hv == '0') {
        led_HVSTAT->setValue(false);
        lbl_HVSTAT->setText(QStringLiteral("X-RAY OFF"));
        main_.btn_HVONOFF->setValue(false);
    }
}

void StatusFrame::showFaults(const QByteArray &reply) {
    const auto arc = reply::charAt(reply, 2);
    if (arc == '0') {
        led_ARC->setValue(true);
        lbl_ARC->setText(QStringLiteral("Arc OK"));
        main_.arcArmed = 1;
    } else if (arc == '1') {
        led_ARC->setValue(false);
        lbl_ARC->setText(QStringLiteral("Arc Error"));
        countArc();
    }
    for (const FaultFlag &flag : faultFlags_) {
        const auto c = reply::charAt(reply, flag.position);
        if (c != '0' && c != '1')
            continue;
        const bool healthy = c == '0';
        flag.led->setValue(healthy);
        flag.label->setText(QString::fromLatin1(healthy ? flag.okText : flag.errorText));
    }
    const auto interlock = reply::charAt(reply, 9);
    if (interlock == '0') {
        showInterlock(false);
    } else if (interlock == '1') {
        showInterlock(true);
        main_.btn_HVONOFF->setValue(false);
    }
}

void StatusFrame::countArc() {
    // One arc per change from OK to error while the high voltage is switched on.
    if (!main_.btn_HVONOFF->value() || main_.arcArmed != 1)
        return;
    if (main_.arcCount < std::numeric_limits<qint16>::max())
        ++main_.arcCount;
    main_.arcFrame->Txt_arcCount->setText(QString::number(main_.arcCount));
    main_.arcArmed = 0;
}

void StatusFrame::showInterlock(bool open) {
    led_INTRLKSTAT->setValue(open);
    lbl_INTRLKSTAT->setText(open ? QStringLiteral("Interlock Open")
                                 : QStringLiteral("Interlock Closed"));
    setTextColour(lbl_INTRLKSTAT, open ? Red : Black);
}

void StatusFrame::decodeNetworkStatus(const QByteArray &text) {
    const auto hv = reply::charAt(text, 5);
    if (hv == '1') {
        led_HVSTAT->setValue(true);
        lbl_HVSTAT->setText(QStringLiteral("X-RAY ON"));
        if (!main_.btn_HVONOFF->value())
            main_.btn_HVONOFF->setValue(true);
        setTextColour(lbl_HVSTAT, Red);
    } else if (hv == '0') {
        // Off reads as the status request shows it, back in the start colour.
        led_HVSTAT->setValue(false);
        lbl_HVSTAT->setText(QStringLiteral("X-RAY OFF"));
        main_.btn_HVONOFF->setValue(false);
        setTextColour(lbl_HVSTAT, Black);
    }
    // The supply's own message reports the interlock only; the switch stays put.
    const auto interlock = reply::charAt(text, 7);
    if (interlock == '1' || interlock == '0')
        showInterlock(interlock == '1');
    const auto fault = reply::charAt(text, 9);
    if (fault == '1') {
        led_FAULT->setValue(true);
        lbl_FAULT->setText(QStringLiteral("P.S. FAULT"));
        setTextColour(lbl_FAULT, Red);
    } else if (fault == '0') {
        led_FAULT->setValue(false);
        lbl_FAULT->setText(QStringLiteral("NO P.S. FAULT"));
        setTextColour(lbl_FAULT, Black);
    }
}

void StatusFrame::enableWdt_Click() {
    main_.command([this] {
        if (!watchdogOff) {
            main_.link.exchange("WDTE 0;");
            watchdogOff = true;
            main_.menu.enableWdt->setText(QStringLiteral("Enable Watchdog Timer"));
            led_wdt->setValue(false);
            lbl_wdt->setText(QStringLiteral("WDT Off"));
        } else {
            main_.link.exchange("WDTE 1;");
            watchdogOff = false;
            main_.menu.enableWdt->setText(QStringLiteral("Disable Watchdog Timer"));
            led_wdt->setValue(true);
            lbl_wdt->setText(QStringLiteral("WDT On"));
        }
    });
}

void StatusFrame::TickleWatchdog() {
    main_.command([this] { main_.outputOutputString("WDTT;"); });
}

} // namespace zor
