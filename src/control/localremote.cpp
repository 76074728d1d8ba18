#include "control/localremote.h"

#include "link/replycut.h"
#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

#include <QLabel>
#include <QVBoxLayout>

namespace zor {

LocalRemote::LocalRemote(frm_SDIMAIN &main)
    : QGroupBox(QStringLiteral("LOCAL/REMOTE")), main_(main) {
    setObjectName(QStringLiteral("fra_local_remote"));
    auto *box = new QVBoxLayout(this);
    box->addWidget(new QLabel(QStringLiteral("REMOTE"), this));
    btn_local_remote = new ToggleSwitch(QString(), QString(), this);
    btn_local_remote->setObjectName(QStringLiteral("btn_local_remote"));
    box->addWidget(btn_local_remote);
    box->addWidget(new QLabel(QStringLiteral("LOCAL"), this));
    connect(btn_local_remote, &ToggleSwitch::valueChanged, this,
            &LocalRemote::btn_local_remote_Click);
    hide();
}

void LocalRemote::btn_local_remote_Click() {
    main_.command([this] {
        const QByteArray reply = main_.link.exchange("99,0,");
        if (reply::charAt(reply, 5) == '$')
            btn_local_remote->setValue(false);
    });
}

} // namespace zor
