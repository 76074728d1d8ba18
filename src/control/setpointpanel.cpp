#include "control/setpointpanel.h"

#include "shell/mainwindow.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace zor {

SetpointPanel::SetpointPanel(frm_SDIMAIN &main)
    : QGroupBox(QStringLiteral("SET DAC CHANNELS")), main_(main) {
    setObjectName(QStringLiteral("fra_DAC"));
    auto *grid = new QGridLayout(this);
    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    btn_KVSET = button("btn_KVSET", "Voltage Setpoint");
    btn_EMI = button("btn_EMI", "Current Setpoint");
    // Present for the manual-control switching, never shown.
    btn_FILLIM = button("btn_FILLIM", "Filament Limit");
    btn_FILPREHEAT = button("btn_FILPREHEAT", "Filament PreHeat");
    btn_FILLIM->hide();
    btn_FILPREHEAT->hide();
    txt_DACA = new QLineEdit(QStringLiteral("Channel A"), this);
    txt_DACA->setToolTip(QStringLiteral("Ch. A, U21, Pin 2"));
    txt_DACB = new QLineEdit(QStringLiteral("Channel B"), this);
    txt_DACB->setToolTip(QStringLiteral("Ch. B, U21, Pin 6"));
    grid->addWidget(btn_KVSET, 0, 0);
    grid->addWidget(txt_DACA, 0, 1);
    grid->addWidget(btn_EMI, 1, 0);
    grid->addWidget(txt_DACB, 1, 1);
    connect(btn_KVSET, &QPushButton::clicked, this, &SetpointPanel::btn_KVSET_Click);
    connect(btn_EMI, &QPushButton::clicked, this, &SetpointPanel::btn_EMI_Click);
}

void SetpointPanel::btn_KVSET_Click() {
    main_.readPayloads({"VSET;"});
}

void SetpointPanel::btn_EMI_Click() {
    main_.readPayloads({"ISET;"});
}

} // namespace zor
