#include "control/arcframe.h"

#include "shell/mainwindow.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace zor {

ArcFrame::ArcFrame(frm_SDIMAIN &main) : QGroupBox(QStringLiteral("ARC")), main_(main) {
    setObjectName(QStringLiteral("fra_ARC"));
    auto *form = new QFormLayout(this);
    Txt_arcCount = new QLineEdit(QStringLiteral("0"), this);
    Txt_arcCount->setReadOnly(true);
    form->addRow(QStringLiteral("Arc Count"), Txt_arcCount);
    btn_clrArc = new QPushButton(QStringLiteral("Clear Count"), this);
    btn_clrArc->setObjectName(QStringLiteral("btn_clrArc"));
    form->addRow(btn_clrArc);
    connect(btn_clrArc, &QPushButton::clicked, this, &ArcFrame::btn_clrArc_Click);
}

// Local to the console: nothing is sent, so it may run while a command waits.
void ArcFrame::btn_clrArc_Click() {
    main_.arcArmed = 1;
    main_.arcCount = 0;
    Txt_arcCount->setText(QStringLiteral("0"));
}

} // namespace zor
