#include "factory/unitbaudratedialog.h"

#include "factory/accesskey.h"
#include "link/devicelink.h"
#include "platform/timer.h"
#include "supply/supplyops.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zor {

UnitBaudRateDialog::UnitBaudRateDialog(SupplyOps &ops, QWidget *parent)
    : QDialog(parent), ops_(ops), link_(ops.link()) {
    setObjectName(QStringLiteral("frm_baudRate"));
    setWindowTitle(QStringLiteral("RS-232 Baud Rate Setting"));
    auto *box = new QVBoxLayout(this);
    Text1 = new QLabel(QStringLiteral("Unit Baud-Rate Setting"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    // Not editable: only the two listed rates exist, so no save can send code 0.
    Bitslist = new QComboBox(this);
    Bitslist->setObjectName(QStringLiteral("Bitslist"));
    save = new QPushButton(QStringLiteral("Save"), this);
    save->setObjectName(QStringLiteral("save"));
    box->addWidget(Text1);
    box->addWidget(Bitslist);
    box->addWidget(save);
    connect(save, &QPushButton::clicked, this, &UnitBaudRateDialog::save_Click);
    Form_Load();
}

void UnitBaudRateDialog::Form_Load() {
    Bitslist->addItem(QStringLiteral("115,200"));
    Bitslist->addItem(QStringLiteral("9600"));
    Bitslist->setCurrentIndex(0);
}

void UnitBaudRateDialog::save_Click() {
    // A second click while the first waits for its reply must not switch twice.
    if (saved_)
        return;
    const auto reason = factory::askReason(*this);
    if (!reason)
        return;
    saved_ = true;
    const int position = Bitslist->currentIndex();
    if (position >= 0) {
        // The supply now talks at the new speed: polling and the reply timers
        // stay off until the user reopens the port or picks auto update again,
        // so no later command's bracket may start the poll either.
        link_.statusTimer().setEnabled(false);
        if (link_.autoUpdate && link_.pollTimer())
            link_.pollTimer()->setEnabled(false);
        link_.autoUpdate = false;
        link_.command(nullptr, [code = position + 1, ops = &ops_, reason = *reason]() -> Task<> {
            co_await ops->unitBaudRateTask(code, reason);
            // Even when queued behind a poll step, whose end restarted the poll.
            ops->link().leaveTimersStopped();
        });
    }
    accept();
}

} // namespace zor
