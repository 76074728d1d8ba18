#include "monitor/statusframe.h"

#include "platform/lamp.h"
#include "shell/mainwindow.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace zor {

StatusFrame::StatusFrame(frm_SDIMAIN &main)
    : QGroupBox(QStringLiteral("SYSTEM STATUS")), main_(main) {
    setObjectName(QStringLiteral("fra_STATUS"));
    auto *grid = new QGridLayout(this);
    led_HVSTAT = new Lamp(QColor(255, 192, 128), Qt::black, this);
    led_HVSTAT->setToolTip(QStringLiteral("HV On/Off Indicator"));
    lbl_HVSTAT = new QLabel(QStringLiteral("X-RAY OFF"), this);
    grid->addWidget(led_HVSTAT, 0, 0);
    grid->addWidget(lbl_HVSTAT, 0, 1);
    btn_REQSTAT = new QPushButton(QStringLiteral("Request Status"), this);
    btn_REQSTAT->setObjectName(QStringLiteral("btn_REQSTAT"));
    grid->addWidget(btn_REQSTAT, 1, 0, 1, 2);
    connect(btn_REQSTAT, &QPushButton::clicked, this, &StatusFrame::btn_REQSTAT_Click);
}

void StatusFrame::btn_REQSTAT_Click() {
    main_.readPayloads({"STAT;", "FLT;"});
}

void StatusFrame::TickleWatchdog() {
    main_.command([this] { main_.outputOutputString("WDTT;"); });
}

void StatusFrame::enableWdt_Click() {}

void StatusFrame::decodeNetworkStatus(const QByteArray &) {}

} // namespace zor
