#include "telemetryui/telemetrymenu.h"

#include "platform/dialogs.h"
#include "platform/numbertext.h"

#include <QAction>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>

namespace zor {

using telemetry::BrokerSettings;
using telemetry::Publisher;

namespace {

QLineEdit *field(QWidget *parent, const char *name, const QString &text) {
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

} // namespace

TelemetryDialog::TelemetryDialog(const BrokerSettings &shown, bool publishing, QWidget *parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frm_TELEMETRY"));
    setWindowTitle(QStringLiteral("Telemetry"));
    chk_PUBLISH = new QCheckBox(QStringLiteral("Publish to an MQTT broker (read-only)"), this);
    chk_PUBLISH->setObjectName(QStringLiteral("chk_PUBLISH"));
    chk_PUBLISH->setChecked(publishing);
    txt_URL = field(this, "txt_URL", shown.url);
    txt_URL->setPlaceholderText(QStringLiteral("mqtt://host[:port] or mqtts://host[:port]"));
    txt_CA = field(this, "txt_CA", shown.caFile);
    txt_USER = field(this, "txt_USER", shown.user);
    txt_PASSWORDFILE = field(this, "txt_PASSWORDFILE", shown.passwordFile);
    txt_TOPIC = field(this, "txt_TOPIC", shown.topicPrefix);
    txt_TOPIC->setPlaceholderText(QStringLiteral("zor/<serial number>"));
    txt_INTERVAL = field(this, "txt_INTERVAL",
                         shown.intervalMs > 0 ? QString::number(shown.intervalMs) : QString());
    txt_INTERVAL->setPlaceholderText(QStringLiteral("every poll cycle"));
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto *form = new QFormLayout(this);
    form->addRow(chk_PUBLISH);
    form->addRow(QStringLiteral("Broker URL"), txt_URL);
    form->addRow(QStringLiteral("CA file (mqtts)"), txt_CA);
    form->addRow(QStringLiteral("User"), txt_USER);
    form->addRow(QStringLiteral("Password file"), txt_PASSWORDFILE);
    form->addRow(QStringLiteral("Topic prefix"), txt_TOPIC);
    form->addRow(QStringLiteral("Sample interval (ms)"), txt_INTERVAL);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    form->addRow(buttons);
    connect(OKButton, &QPushButton::clicked, this, &TelemetryDialog::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TelemetryDialog::OKButton_Click() {
    BrokerSettings s;
    s.url = txt_URL->text().trimmed();
    s.caFile = txt_CA->text().trimmed();
    s.user = txt_USER->text().trimmed();
    s.passwordFile = txt_PASSWORDFILE->text().trimmed();
    s.topicPrefix = txt_TOPIC->text().trimmed();
    QString why;
    if (const QString ms = txt_INTERVAL->text().trimmed(); !ms.isEmpty()) {
        const auto n = plainWhole(ms, 86'400'000);
        s.intervalMs = n.value_or(-1);
    }
    // Settings are kept even while publishing is off, as long as they would work.
    if (chk_PUBLISH->isChecked() || !s.url.isEmpty())
        why = telemetry::completeSettings(s);
    if (!why.isEmpty()) {
        dialogs().detailedMessage(QStringLiteral("Telemetry settings not taken"), why);
        return;
    }
    if (!chk_PUBLISH->isChecked())
        s.host.clear(); // off
    accepted = s;
    accept();
}

TelemetryMenu::TelemetryMenu(telemetry::Publisher &publisher, QMenu *menu, QStatusBar *bar,
                             QWidget *owner)
    : QObject(owner), publisher(publisher), owner_(owner) {
    mnu_TELEMETRY = menu->addAction(QStringLiteral("Telemetry..."));
    mnu_TELEMETRY->setObjectName(QStringLiteral("mnu_TELEMETRY"));
    lbl_TELEMETRY = new QLabel;
    lbl_TELEMETRY->setObjectName(QStringLiteral("lbl_TELEMETRY"));
    lbl_TELEMETRY->hide();
    // A broker's reason can be long: it is cut to this room (the tip holds
    // it whole), so the window never widens by itself.
    lbl_TELEMETRY->setFixedWidth(lbl_TELEMETRY->fontMetrics().horizontalAdvance(
        QStringLiteral("MQTT: reconnecting (connection refused)")));
    bar->addPermanentWidget(lbl_TELEMETRY);
    connect(mnu_TELEMETRY, &QAction::triggered, this, &TelemetryMenu::mnu_TELEMETRY_Click);
    connect(&publisher, &Publisher::statusChanged, this, &TelemetryMenu::showStatus);
}

void TelemetryMenu::mnu_TELEMETRY_Click() {
    const bool publishing =
        publisher.settings().enabled() && publisher.status() != Publisher::Status::Off;
    BrokerSettings shown = publishing ? publisher.settings() : telemetry::rememberedBroker();
    TelemetryDialog dialog(shown, publishing, owner_);
    dialogs().runModal(dialog);
    if (dialog.result() != QDialog::Accepted)
        return;
    if (!dialog.accepted.url.isEmpty())
        telemetry::rememberBroker(dialog.accepted);
    publisher.start(dialog.accepted);
}

void TelemetryMenu::showStatus(Publisher::Status status, const QString &reason) {
    lbl_TELEMETRY->setVisible(status != Publisher::Status::Off);
    QString text = QStringLiteral("MQTT: ") + Publisher::statusText(status);
    if (status == Publisher::Status::Down && !reason.isEmpty())
        text += QStringLiteral(" (%1)").arg(reason);
    lbl_TELEMETRY->setText(
        lbl_TELEMETRY->fontMetrics().elidedText(text, Qt::ElideRight, lbl_TELEMETRY->width()));
    lbl_TELEMETRY->setToolTip(text + QLatin1Char('\n') + publisher.settings().url +
                              QLatin1Char('\n') + publisher.topicPrefix());
}

} // namespace zor
