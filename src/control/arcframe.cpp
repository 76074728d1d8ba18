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
}

void ArcFrame::btn_clrArc_Click() {}

} // namespace zor
