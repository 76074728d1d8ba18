#include "factory/unitbaudratedialog.h"

#include "shell/mainwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zor {

UnitBaudRateDialog::UnitBaudRateDialog(FormRegistry &, MainWindow &main)
    : QDialog(&main), main_(main) {
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
    saved_ = true;
    const int position = Bitslist->currentIndex();
    if (position >= 0) {
        main_.link.command(this, [this, position] {
            main_.link.exchange("BAUD " + QByteArray::number(position + 1) + ";");
            // Even when held behind a poll step, whose end restarted the poll.
            main_.link.leaveTimersStopped();
        });
        // The supply now talks at the new speed: polling and the reply timers
        // stay off until the user reopens the port or picks auto update again.
        main_.link.tmr_NETRCVTMR.setEnabled(false);
        if (main_.autoUpdate)
            main_.tmr_UPDATE.setEnabled(false);
    }
    accept();
}

} // namespace zor
