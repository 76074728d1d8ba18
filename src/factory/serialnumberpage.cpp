#include "factory/serialnumberpage.h"

#include "factory/accesskey.h"
#include "link/devicelink.h"
#include "link/payloadtext.h"
#include "platform/dialogs.h"
#include "supply/supplyops.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace zor {

SerialNumberPage::SerialNumberPage(SupplyOps &ops, QWidget *parent)
    : QDialog(parent), ops_(ops), link_(ops.link()), state_(ops.state()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Serial Number"));
    auto *grid = new QGridLayout(this);
    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    Txt_serialNum = new QLineEdit(this);
    Txt_serialNum->setObjectName(QStringLiteral("Txt_serialNum"));
    Txt_serialNum->setReadOnly(true);
    Btn_read_serialNum = button("Btn_read_serialNum", "Read Serial Number");
    Btn_serialNum = button("Btn_serialNum", "Enter Serial Number");
    Command1 = button("Command1", "Unlock");
    Btn_ok = button("Btn_ok", "OK");
    grid->addWidget(Txt_serialNum, 0, 0, 1, 2);
    grid->addWidget(Btn_read_serialNum, 1, 0);
    grid->addWidget(Btn_serialNum, 1, 1);
    grid->addWidget(Command1, 2, 0);
    grid->addWidget(Btn_ok, 2, 1);
    connect(Btn_read_serialNum, &QPushButton::clicked, this,
            &SerialNumberPage::Btn_read_serialNum_Click);
    connect(Btn_serialNum, &QPushButton::clicked, this, &SerialNumberPage::Btn_serialNum_Click);
    connect(Command1, &QPushButton::clicked, this, &SerialNumberPage::Command1_Click);
    connect(Btn_ok, &QPushButton::clicked, this, &SerialNumberPage::Btn_ok_Click);
    Form_Load();
}

void SerialNumberPage::Form_Load() {
    Txt_serialNum->clear();
    setBackground(Qt::white);
    Btn_read_serialNum->setEnabled(true);
    Btn_serialNum->setEnabled(false);
    Command1->setEnabled(true);
    Btn_ok->setEnabled(true);
}

void SerialNumberPage::setBackground(const QColor &colour) {
    QPalette p = Txt_serialNum->palette();
    p.setColor(QPalette::Base, colour);
    Txt_serialNum->setPalette(p);
}

void SerialNumberPage::Command1_Click() {
    factory::unlockWithAccessKey(*this, ops_, AccessKey,
                                 [this] { Btn_serialNum->setEnabled(true); });
}

void SerialNumberPage::Btn_read_serialNum_Click() {
    link_.command(this, [this]() -> Task<> {
        // The read counts a silent supply itself.
        const parse::Ack read = co_await ops_.identityTask(IdentityField::SerialNumber);
        if (read == parse::Ack::NoReply) {
            Txt_serialNum->setText(QStringLiteral("Unknown"));
            setBackground(Qt::red);
        } else if (read == parse::Ack::Taken) {
            Txt_serialNum->setText(state_.identity(IdentityField::SerialNumber));
            setBackground(Qt::white);
        }
    });
}

void SerialNumberPage::Btn_serialNum_Click() {
    // Writing stays locked until this page's key has been given.
    if (!Btn_serialNum->isEnabled())
        return;
    // Asked before anything is queued: the poll goes on while the box is open.
    const QString entry =
        dialogs().input(QStringLiteral("Enter Serial Number: EX. 101407139-A00041"), windowTitle());
    // Cancel: an empty write would erase the stored serial number.
    if (entry.isEmpty())
        return;
    const auto reason = factory::askReason(*this);
    if (!reason)
        return;
    Txt_serialNum->setText(entry);
    link_.command(this, [this, serial = typedPayloadText(entry), reason = *reason]() -> Task<> {
        co_await ops_.serialNumberWriteTask(serial, reason);
    });
}

void SerialNumberPage::Btn_ok_Click() {
    Btn_serialNum->setEnabled(false);
    accept();
}

} // namespace zor
