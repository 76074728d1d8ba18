#include "ports/hostbaudratedialog.h"

#include "link/rememberedlink.h"
#include "ui/shellactions.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zor {

HostBaudRateDialog::HostBaudRateDialog(DeviceLink &, ShellActions &shell, QWidget *parent)
    : QDialog(parent), shell_(shell) {
    setObjectName(QStringLiteral("frm_gui_baudrate"));
    setWindowTitle(QStringLiteral("GUI Baud Rate"));
    auto *box = new QVBoxLayout(this);
    lbl_CAPTION = new QLabel(QStringLiteral("GUI Baud-Rate Setting"), this);
    // Not editable: only the two listed rates can be chosen.
    Bitslist = new QComboBox(this);
    Bitslist->setObjectName(QStringLiteral("Bitslist"));
    ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    box->addWidget(lbl_CAPTION);
    box->addWidget(Bitslist);
    box->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, &HostBaudRateDialog::ok_Click);
    Form_Load();
}

void HostBaudRateDialog::Form_Load() {
    Bitslist->addItem(QStringLiteral("115200"));
    Bitslist->addItem(QStringLiteral("9600"));
    // The rate that last opened a port is offered first; 115200 otherwise.
    Bitslist->setCurrentIndex(qMax(0, Bitslist->findText(RememberedLink::load().baud)));
}

void HostBaudRateDialog::ok_Click() {
    if (Bitslist->currentIndex() >= 0) {
        chosenRate = Bitslist->itemText(Bitslist->currentIndex());
        shell_.setStatusPanelText(1, QStringLiteral("Comm Port Setting:  ") + chosenRate +
                                         QStringLiteral(",n,8,1"));
    }
    accept();
}

} // namespace zor
