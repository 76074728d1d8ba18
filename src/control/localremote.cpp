#include "control/localremote.h"

#include "platform/toggleswitch.h"
#include "supply/supplyops.h"

#include <QLabel>
#include <QVBoxLayout>

namespace zor {

LocalRemote::LocalRemote(ConsoleContext ctx)
    : QGroupBox(QStringLiteral("LOCAL/REMOTE")), ctx_(ctx) {
    setObjectName(QStringLiteral("fra_local_remote"));
    auto *box = new QVBoxLayout(this);
    box->addWidget(new QLabel(QStringLiteral("REMOTE"), this));
    btn_local_remote = new ToggleSwitch(QString(), QString(), this);
    btn_local_remote->setObjectName(QStringLiteral("btn_local_remote"));
    box->addWidget(btn_local_remote);
    box->addWidget(new QLabel(QStringLiteral("LOCAL"), this));
    connect(btn_local_remote, &ToggleSwitch::valueChanged, this,
            &LocalRemote::btn_local_remote_Click);
    connect(&ctx_.ops, &SupplyOps::answered, this, [this](SupplyOps::Operation op, parse::Ack ack) {
        if (op == SupplyOps::Operation::LocalControl && ack == parse::Ack::Taken)
            btn_local_remote->setValue(false);
    });
    hide();
}

void LocalRemote::btn_local_remote_Click() {
    ctx_.ops.localControl();
}

} // namespace zor
