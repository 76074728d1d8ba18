#include "ports/transportselection.h"

#include "link/devicelink.h"
#include "link/rememberedlink.h"
#include "platform/dialogs.h"
#include "platform/portnames.h"
#include "ports/hostbaudratedialog.h"
#include "ports/remotehost.h"
#include "ports/usbportdialog.h"
#include "supply/supplyops.h"
#include "ui/formregistry.h"
#include "ui/mainmenu.h"

#include "ui/shellactions.h"
#include <QPointer>

#include <QAction>
#include <QMenu>
#include <algorithm>

namespace zor {

namespace {

// Why a typed port cannot be used, or nothing when it can.
std::optional<QString> portTextProblem(const QString &typed) {
    if (typed.trimmed().isEmpty())
        return QStringLiteral("No port number was given.");
    if (!serialDeviceFor(typed))
        return QStringLiteral("\"%1\" is neither a port number from 1 to %2 nor a serial device.")
            .arg(typed)
            .arg(MaxPortNumber);
    return std::nullopt;
}

} // namespace

using TS = TransportSelection;

const TS::Row TS::Rows[] = {
    {"mnu_comm1", "COMM1", Entry::Comm1, LinkKind::Serial, "comm1", nullptr, &TS::serialPort},
    {"mnu_comm2", "COMM2", Entry::Comm2, LinkKind::Serial, "comm2", nullptr, &TS::serialPort},
    {"mnu_userComm", "COMM USER", Entry::UserComm, LinkKind::Serial, "comm1", nullptr,
     &TS::userComm},
    {"mnu_ethernet", "Ethernet", Entry::Ethernet, LinkKind::Network, nullptr, "Ethernet Comms",
     &TS::address},
    {"mnu_serialOverTcp", "Serial over TCP...", Entry::SerialOverTcp, LinkKind::SerialOverTcp,
     nullptr, "Serial over TCP", &TS::address},
    {"mnu_USB", "USB", Entry::Usb, LinkKind::Serial, "USB", nullptr, &TS::usb},
};

const TS::Row &TS::row(Entry entry) {
    return *std::find_if(std::begin(Rows), std::end(Rows),
                         [entry](const Row &r) { return r.entry == entry; });
}

TransportSelection::TransportSelection(ConsoleContext ctx, ShellActions &shell, QWidget *window)
    : QObject(window), ctx_(ctx), shell_(shell), window_(window) {
    QMenu *ports = ctx_.menu.mnu_Ports;
    // The menu bar made the entries it has always had; any other follows the
    // one before it in the table.
    QAction *previous = nullptr;
    for (const Row &r : Rows) {
        auto *action = ports->findChild<QAction *>(QString::fromLatin1(r.object));
        if (!action) {
            action = new QAction(QString::fromLatin1(r.caption), ports);
            action->setObjectName(QString::fromLatin1(r.object));
            action->setCheckable(true);
            const QList<QAction *> all = ports->actions();
            const qsizetype at = all.indexOf(previous) + 1;
            ports->insertAction(at < all.size() ? all[at] : nullptr, action);
        }
        previous = action;
        actions_.append(action);
        connect(action, &QAction::triggered, this, [this, e = r.entry] { choose(e); });
    }
}

void TransportSelection::choose(Entry entry) {
    (this->*row(entry).ask)(entry);
}

void TransportSelection::mnu_comm1_Click() {
    choose(Entry::Comm1);
}

void TransportSelection::mnu_comm2_Click() {
    choose(Entry::Comm2);
}

void TransportSelection::mnu_userComm_Click() {
    choose(Entry::UserComm);
}

void TransportSelection::mnu_USB_Click() {
    choose(Entry::Usb);
}

void TransportSelection::mnu_ethernet_Click() {
    choose(Entry::Ethernet);
}

Task<> TransportSelection::serialPort(Entry entry) {
    if (!co_await leaveSupply())
        co_return;
    const quint64 choice = begin();
    const Before before = remember();
    ctx_.link.replyTimer().setEnabled(false);
    setChecks(entry);
    askBaudRate();
    if (superseded(choice))
        co_return;
    QPointer<TransportSelection> self(this);
    // Polling a port that did not open would only count failures.
    if (!co_await openChosen(
            entry, entry == Entry::Comm2 ? QStringLiteral("2") : QStringLiteral("1"), before) ||
        !self)
        co_return;
    if (entry == Entry::Comm2)
        ctx_.ops.requestStatus();
    shell_.mnu_AUTOUPDATE_Click();
}

Task<> TransportSelection::userComm(Entry entry) {
    if (!co_await leaveSupply())
        co_return;
    const quint64 choice = begin();
    const Before before = remember();
    ctx_.link.replyTimer().setEnabled(false);
    setChecks(entry);
    const QString typed = dialogs().choice(QStringLiteral("Enter your Comm Port Number"),
                                           discoveredSerialPorts(), RememberedLink::load().port);
    if (superseded(choice))
        co_return;
    if (const auto problem = portTextProblem(typed)) {
        restore(before);
        showInvalidPort(*problem);
        co_return;
    }
    askBaudRate();
    if (superseded(choice))
        co_return;
    co_await openChosen(entry, typed, before);
}

Task<bool> TransportSelection::connectSerial(const QString &port, const QString &baud) {
    begin();
    const Before before = remember();
    const Entry entry = port == QStringLiteral("1")   ? Entry::Comm1
                        : port == QStringLiteral("2") ? Entry::Comm2
                                                      : Entry::UserComm;
    ctx_.link.replyTimer().setEnabled(false);
    setChecks(entry);
    co_return co_await openChosen(entry, port, before, baud);
}

Task<bool> TransportSelection::openChosen(Entry entry, const QString &portText,
                                          const Before &before, const QString &baud) {
    commPortText = portText;
    QPointer<TransportSelection> self(this);
    const LinkTarget target = LinkTarget::serial(portText, baud.isEmpty() ? rate_ : baud,
                                                 QString::fromLatin1(row(entry).mode));
    if (!co_await openSerial(target, before) || !self)
        co_return false;
    rate_ = ctx_.link.target().baud;
    if (entry == Entry::Usb)
        shell_.setStatusPanelText(2, QStringLiteral("Comm Port:  ") + commPortText);
    else
        showSerialPanels();
    RememberedLink::storeSerial(portText, rate_);
    readScaleUnlessPolling();
    co_return true;
}

Task<> TransportSelection::usb(Entry entry) {
    if (!co_await leaveSupply())
        co_return;
    const quint64 choice = begin();
    const Before before = remember();
    setChecks(entry);
    shell_.setStatusPanelText(1, QStringLiteral("USB Comms"));
    auto &dialog = ctx_.forms.get<UsbPortDialog>(usbChosenPortText, window_);
    dialogs().runModal(dialog);
    ctx_.forms.unload(&dialog);
    if (superseded(choice))
        co_return;
    const QString chosen = usbChosenPortText;
    if (const auto problem = portTextProblem(chosen)) {
        restore(before);
        showInvalidPort(*problem);
        co_return;
    }
    QPointer<TransportSelection> self(this);
    if (!co_await openChosen(entry, chosen, before) || !self)
        co_return;
    ctx_.ops.requestStatus();
    shell_.mnu_AUTOUPDATE_Click();
}

Task<> TransportSelection::address(Entry entry) {
    if (!co_await leaveSupply())
        co_return;
    const quint64 choice = begin();
    auto &dialog = ctx_.forms.get<RemoteHost>(ctx_.link, shell_, window_);
    dialogs().runModal(dialog);
    if (superseded(choice))
        co_return;
    const Row &r = row(entry);
    const LinkTarget target = LinkTarget::tcp(dialog.acceptedHost, dialog.acceptedPort, r.kind);
    if (target.host.trimmed().isEmpty() || target.tcpPort < 1 || target.tcpPort > 65535) {
        dialogs().detailedMessage(
            QStringLiteral("No Remote Host!"),
            QStringLiteral("Choose %1 again and enter the address and port number of the supply.")
                .arg(QString::fromLatin1(r.caption).remove(QStringLiteral("..."))));
        co_return;
    }
    QPointer<TransportSelection> self(this);
    if (!co_await connectTcp(choice, target) || !self)
        co_return;
    ctx_.ops.requestStatus();
    shell_.mnu_AUTOUPDATE_Click();
}

Task<bool> TransportSelection::connectNetwork(const LinkTarget &target) {
    const quint64 choice = begin();
    shell_.setStatusPanelText(2, QStringLiteral("IP: ") + target.host);
    return connectTcp(choice, target);
}

Task<bool> TransportSelection::connectTcp(quint64 choice, LinkTarget target) {
    const Row &r = *std::find_if(std::begin(Rows), std::end(Rows),
                                 [&](const Row &row) { return row.kind == target.kind; });
    setChecks(r.entry);
    shell_.setStatusPanelText(1, QString::fromLatin1(r.panel1));
    QPointer<TransportSelection> self(this);
    // Timers and clicks are served while the connection is waited for.
    const bool connected = co_await ctx_.link.open(target, connectLimitMs);
    // Another choice made during the wait has taken over the link.
    if (!self || superseded(choice))
        co_return false;
    if (connected) {
        RememberedLink::storeNetwork(target);
        readScaleUnlessPolling();
    }
    co_return true;
}

Task<bool> TransportSelection::leaveSupply() {
    switch (shell_.leavingHighVoltage(QStringLiteral("Switch Off and Change Port"))) {
    case ShellActions::Leaving::Stay:
        co_return false;
    case ShellActions::Leaving::AsItIs:
        co_return true;
    case ShellActions::Leaving::SwitchOff:
        break;
    }
    // As the X-ray off key: a run going ends, its zeros going to the unit it
    // drove, before the port is let go.
    ctx_.menu.mnu_XRAYOFF->trigger();
    // Queued behind the off, so the port is not let go before it went out.
    QPointer<TransportSelection> self(this);
    DeviceLink::Body offWent = []() -> Task<> { co_return; };
    co_await ctx_.link.run(this, std::move(offWent));
    co_return self && !shell_.ended();
}

quint64 TransportSelection::begin() {
    // A choice made while Ethernet waits for its connection ends that wait.
    if (!shell_.ended())
        ctx_.link.cancelOpen();
    return ++choice_;
}

void TransportSelection::askBaudRate() {
    auto &dialog = ctx_.forms.get<HostBaudRateDialog>(ctx_.link, shell_, window_);
    dialogs().runModal(dialog);
    if (!dialog.chosenRate.isEmpty())
        rate_ = dialog.chosenRate;
    ctx_.forms.unload(&dialog);
}

Task<bool> TransportSelection::openSerial(const LinkTarget &target, const Before &before) {
    QPointer<TransportSelection> self(this);
    if (co_await ctx_.link.open(target))
        co_return true;
    const QString reason = ctx_.link.openFailureReason();
    if (!self)
        co_return false;
    co_await fallBack(before);
    showInvalidPort(reason);
    co_return false;
}

Task<> TransportSelection::fallBack(const Before &before) {
    bool works = false;
    if (before.target.overTcp())
        works = ctx_.link.transportOpen();
    else if (!before.linkMode.isEmpty())
        works = co_await ctx_.link.open(before.target);
    if (works) {
        restore(before);
        shell_.setStatusPanelText(2, before.panel2);
        commPortText = before.commPortText;
        readScaleUnlessPolling();
        co_return;
    }
    for (QAction *a : entries())
        a->setChecked(false);
    shell_.setStatusPanelText(1, QStringLiteral("SET PORT!"));
    shell_.setStatusPanelText(2, QStringLiteral("Comm Ch."));
    ctx_.link.close();
    ctx_.state.noteTransportChange(QStringLiteral("none"));
    ctx_.link.replyTimer().setEnabled(false);
    ctx_.link.statusTimer().setEnabled(false);
    if (ctx_.link.autoUpdate)
        shell_.mnu_MANUAL_Click();
}

void TransportSelection::readScaleUnlessPolling() {
    // Posted: a handler that starts auto update does so right after the open,
    // and the poll reads the scale itself.
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Another unit, or the same one re-opened: nothing known of it
            // holds, so its identity is read as well as its scale.
            if (!ctx_.link.autoUpdate && ctx_.link.transportOpen() && !shell_.ended()) {
                ctx_.ops.readScaling();
                for (int f = 0; f < IdentityFieldCount; ++f)
                    ctx_.ops.readIdentity(IdentityField(f));
            }
        },
        Qt::QueuedConnection);
}

void TransportSelection::showSerialPanels() {
    shell_.setStatusPanelText(1, QStringLiteral("Comm Port Setting:  ") + ctx_.link.settings());
    shell_.setStatusPanelText(2, QStringLiteral("Comm Port:  ") + commPortText);
}

void TransportSelection::showInvalidPort(const QString &reason) {
    dialogs().detailedMessage(QStringLiteral("Invalid Comm Port!"), reason);
}

bool TransportSelection::superseded(quint64 choice) const {
    return shell_.ended() || choice != choice_;
}

QList<QAction *> TransportSelection::entries() const {
    return actions_;
}

void TransportSelection::setChecks(Entry chosen) {
    for (qsizetype i = 0; i < actions_.size(); ++i)
        actions_[i]->setChecked(Rows[i].entry == chosen);
}

TransportSelection::Before TransportSelection::remember() const {
    Before before;
    for (QAction *a : entries())
        before.checks.append(a->isChecked());
    before.rcvTimer = ctx_.link.replyTimer().isEnabled();
    before.panel1 = shell_.statusPanelText(1);
    before.panel2 = shell_.statusPanelText(2);
    before.linkMode = ctx_.link.linkMode();
    before.commPortText = commPortText;
    before.target = ctx_.link.target();
    return before;
}

void TransportSelection::restore(const Before &before) {
    const QList<QAction *> all = entries();
    for (int i = 0; i < all.size() && i < before.checks.size(); ++i)
        all[i]->setChecked(before.checks[i]);
    shell_.setStatusPanelText(1, before.panel1);
    if (before.rcvTimer)
        ctx_.link.replyTimer().setEnabled(true);
}

} // namespace zor
