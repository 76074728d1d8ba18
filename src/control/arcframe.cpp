#include "control/arcframe.h"

#include "supply/supplyops.h"
#include "supply/supplystate.h"
#include "ui/stalemarks.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace zor {

ArcFrame::ArcFrame(SupplyOps &ops)
    : QGroupBox(QStringLiteral("ARC")), ops_(ops), state_(ops.state()) {
    setObjectName(QStringLiteral("fra_ARC"));
    auto *form = new QFormLayout(this);
    Txt_arcCount = new QLineEdit(QStringLiteral("0"), this);
    Txt_arcCount->setReadOnly(true);
    form->addRow(QStringLiteral("Arc Count"), Txt_arcCount);
    // Counted from the supply's reports: as stale as they are.
    (new StaleMarks(state_, this))->add({Txt_arcCount});
    btn_clrArc = new QPushButton(QStringLiteral("Clear Count"), this);
    btn_clrArc->setObjectName(QStringLiteral("btn_clrArc"));
    form->addRow(btn_clrArc);
    connect(btn_clrArc, &QPushButton::clicked, this, &ArcFrame::btn_clrArc_Click);
    connect(&state_, &SupplyState::arcCountChanged, Txt_arcCount,
            [this](int count) { Txt_arcCount->setText(QString::number(count)); });
}

// Local to the console: nothing is sent, so it may run while a command waits.
void ArcFrame::btn_clrArc_Click() {
    ops_.clearArcs();
}

} // namespace zor
