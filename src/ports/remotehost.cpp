#include "ports/remotehost.h"

#include "link/rememberedlink.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "ui/shellactions.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

namespace zor {

namespace {

// A TCP port: a whole number from 1 to 65535, nothing else.
std::optional<int> tcpPortFrom(const QString &text) {
    const auto port = plainWhole(text, 65535);
    return port && *port >= 1 ? port : std::nullopt;
}

} // namespace

RemoteHost::RemoteHost(DeviceLink &, ShellActions &shell, QWidget *parent)
    : QDialog(parent), shell_(shell) {
    setObjectName(QStringLiteral("RemoteHost"));
    setWindowTitle(QStringLiteral("Remote Host"));
    auto *grid = new QGridLayout(this);
    txtHost = new QLineEdit(this);
    txtHost->setObjectName(QStringLiteral("txtHost"));
    txtPortNumber = new QLineEdit(this);
    txtPortNumber->setObjectName(QStringLiteral("txtPortNumber"));
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    grid->addWidget(new QLabel(QStringLiteral("Host IP Addr or Name"), this), 0, 0);
    grid->addWidget(txtHost, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Port Number"), this), 2, 0);
    grid->addWidget(txtPortNumber, 3, 0);
    grid->addWidget(OKButton, 0, 1);
    grid->addWidget(CancelButton, 1, 1);
    connect(OKButton, &QPushButton::clicked, this, &RemoteHost::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &RemoteHost::CancelButton_Click);
    Form_Load();
}

void RemoteHost::Form_Load() {
    // The address that last connected is offered until another is accepted.
    if (const RememberedLink last = RememberedLink::load(); !last.host.isEmpty()) {
        txtHost->setText(last.host);
        txtPortNumber->setText(QString::number(last.tcpPort));
    }
    rememberedPort_ = txtPortNumber->text();
    rememberedHost_ = txtHost->text();
}

void RemoteHost::OKButton_Click() {
    // A bad address stays in the dialog to be corrected; nothing is taken from it.
    const QString host = txtHost->text().trimmed();
    if (host.isEmpty()) {
        dialogs().detailedMessage(
            QStringLiteral("Invalid Host!"),
            QStringLiteral("Enter the IP address or the name of the supply."));
        return;
    }
    const auto port = tcpPortFrom(txtPortNumber->text());
    if (!port) {
        dialogs().detailedMessage(
            QStringLiteral("Invalid Port Number!"),
            QStringLiteral("The port number must be a whole number from 1 to 65535."));
        return;
    }
    accept();
    rememberedPort_ = txtPortNumber->text();
    rememberedHost_ = txtHost->text();
    shell_.setStatusPanelText(2, QStringLiteral("IP: ") + txtHost->text());
    acceptedHost = host;
    acceptedPort = *port;
}

void RemoteHost::CancelButton_Click() {
    reject();
}

void RemoteHost::reject() {
    txtPortNumber->setText(rememberedPort_);
    txtHost->setText(rememberedHost_);
    QDialog::reject();
}

} // namespace zor
