#include "ports/hostbaudratedialog.h"

#include "link/rememberedlink.h"
#include "shell/mainwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zor {

HostBaudRateDialog::HostBaudRateDialog(FormRegistry &, MainWindow &main)
    : QDialog(&main), main_(main) {
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
        main_.link.MSComm1().setSettings(Bitslist->itemText(Bitslist->currentIndex()) +
                                         QStringLiteral(",n,8,1"));
        main_.StatusBar1->setPanelText(1, QStringLiteral("Comm Port Setting:  ") +
                                              main_.link.MSComm1().settings());
    }
    accept();
}

} // namespace zor
