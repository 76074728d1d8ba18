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

TransportSelection::TransportSelection(ConsoleContext ctx, ShellActions &shell, QWidget *window)
    : QObject(window), ctx_(ctx), shell_(shell), window_(window) {
    MainMenu &menu = ctx_.menu;
    connect(menu.mnu_comm1, &QAction::triggered, this, &TransportSelection::mnu_comm1_Click);
    connect(menu.mnu_comm2, &QAction::triggered, this, &TransportSelection::mnu_comm2_Click);
    connect(menu.mnu_userComm, &QAction::triggered, this, &TransportSelection::mnu_userComm_Click);
    connect(menu.mnu_USB, &QAction::triggered, this, &TransportSelection::mnu_USB_Click);
    connect(menu.mnu_ethernet, &QAction::triggered, this, &TransportSelection::mnu_ethernet_Click);
}

void TransportSelection::mnu_comm1_Click() {
    serialPort(Entry::Comm1);
}

void TransportSelection::mnu_comm2_Click() {
    serialPort(Entry::Comm2);
}

Task<> TransportSelection::serialPort(Entry entry) {
    if (!co_await leaveSupply())
        co_return;
    const quint64 choice = begin();
    const Before before = remember();
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
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

void TransportSelection::mnu_userComm_Click() {
    userComm();
}

Task<> TransportSelection::userComm() {
    if (!co_await leaveSupply())
        co_return;
    const quint64 choice = begin();
    const Before before = remember();
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
    setChecks(Entry::UserComm);
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
    co_await openChosen(Entry::UserComm, typed, before);
}

Task<bool> TransportSelection::connectSerial(const QString &port, const QString &baud) {
    begin();
    const Before before = remember();
    const Entry entry = port == QStringLiteral("1")   ? Entry::Comm1
                        : port == QStringLiteral("2") ? Entry::Comm2
                                                      : Entry::UserComm;
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
    setChecks(entry);
    co_return co_await openChosen(entry, port, before, baud);
}

Task<bool> TransportSelection::openChosen(Entry entry, const QString &portText,
                                          const Before &before, const QString &baud) {
    commPortText = portText;
    const QString mode = entry == Entry::Comm2 ? QStringLiteral("comm2")
                         : entry == Entry::Usb ? QStringLiteral("USB")
                                               : QStringLiteral("comm1");
    QPointer<TransportSelection> self(this);
    const LinkTarget target = LinkTarget::serial(portText, baud, mode);
    if (!co_await openSerial(target, before) || !self)
        co_return false;
    if (entry == Entry::Usb)
        shell_.setStatusPanelText(2, QStringLiteral("Comm Port:  ") + commPortText);
    else
        showSerialPanels();
    RememberedLink::storeSerial(portText, ctx_.link.MSComm1().settings().section(u',', 0, 0));
    readScaleUnlessPolling();
    co_return true;
}

void TransportSelection::mnu_USB_Click() {
    usb();
}

Task<> TransportSelection::usb() {
    if (!co_await leaveSupply())
        co_return;
    const quint64 choice = begin();
    const Before before = remember();
    setChecks(Entry::Usb);
    shell_.setStatusPanelText(1, QStringLiteral("USB Comms"));
    ctx_.link.linkMode = QStringLiteral("USB");
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
    if (!co_await openChosen(Entry::Usb, chosen, before) || !self)
        co_return;
    ctx_.ops.requestStatus();
    shell_.mnu_AUTOUPDATE_Click();
}

void TransportSelection::mnu_ethernet_Click() {
    openEthernet();
}

Task<> TransportSelection::openEthernet() {
    if (!co_await leaveSupply())
        co_return;
    const quint64 choice = begin();
    auto &dialog = ctx_.forms.get<RemoteHost>(ctx_.link, shell_, window_);
    dialogs().runModal(dialog);
    if (superseded(choice))
        co_return;
    TcpClientComponent &tcp = ctx_.link.tcpClient();
    if (tcp.remoteHost.trimmed().isEmpty() || tcp.remotePort < 1 || tcp.remotePort > 65535) {
        dialogs().detailedMessage(
            QStringLiteral("No Remote Host!"),
            QStringLiteral("Choose Ethernet again and enter the address and port number of the "
                           "supply."));
        co_return;
    }
    QPointer<TransportSelection> self(this);
    if (!co_await connectTcp(choice) || !self)
        co_return;
    ctx_.ops.requestStatus();
    shell_.mnu_AUTOUPDATE_Click();
}

Task<bool> TransportSelection::connectNetwork(const QString &host, int port) {
    const quint64 choice = begin();
    TcpClientComponent &tcp = ctx_.link.tcpClient();
    tcp.remoteHost = host;
    tcp.remotePort = port;
    shell_.setStatusPanelText(2, QStringLiteral("IP: ") + host);
    return connectTcp(choice);
}

Task<bool> TransportSelection::connectTcp(quint64 choice) {
    const TcpClientComponent &tcp = ctx_.link.tcpClient();
    setChecks(Entry::Ethernet);
    shell_.setStatusPanelText(1, QStringLiteral("Ethernet Comms"));
    QPointer<TransportSelection> self(this);
    // Timers and clicks are served while the connection is waited for.
    const LinkTarget target = LinkTarget::tcp(tcp.remoteHost, tcp.remotePort);
    const bool connected = co_await ctx_.link.open(target, connectLimitMs);
    // Another choice made during the wait has taken over the link.
    if (!self || superseded(choice))
        co_return false;
    if (connected) {
        RememberedLink::storeNetwork(tcp.remoteHost, tcp.remotePort);
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
    ctx_.forms.unload(&dialog);
}

Task<bool> TransportSelection::openSerial(const LinkTarget &target, const Before &before) {
    QPointer<TransportSelection> self(this);
    if (co_await ctx_.link.open(target))
        co_return true;
    const QString reason = ctx_.link.MSComm1().openFailureReason();
    if (!self)
        co_return false;
    co_await fallBack(before);
    showInvalidPort(reason);
    co_return false;
}

Task<> TransportSelection::fallBack(const Before &before) {
    bool works = false;
    if (before.linkMode == LinkEthernet) {
        works = ctx_.link.tcpClient().state() == TcpClientComponent::StateConnected;
    } else if (!before.linkMode.isEmpty()) {
        const LinkTarget previous = LinkTarget::serial(before.portName, {}, before.linkMode);
        ctx_.link.MSComm1().setSettings(before.settings);
        works = co_await ctx_.link.open(previous);
    }
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
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
    ctx_.link.tmr_NETRCVTMR.setEnabled(false);
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
    shell_.setStatusPanelText(1, QStringLiteral("Comm Port Setting:  ") +
                                     ctx_.link.MSComm1().settings());
    shell_.setStatusPanelText(2, QStringLiteral("Comm Port:  ") + commPortText);
}

void TransportSelection::showInvalidPort(const QString &reason) {
    dialogs().detailedMessage(QStringLiteral("Invalid Comm Port!"), reason);
}

bool TransportSelection::superseded(quint64 choice) const {
    return shell_.ended() || choice != choice_;
}

QList<QAction *> TransportSelection::entries() const {
    const MainMenu &m = ctx_.menu;
    return {m.mnu_comm1, m.mnu_comm2, m.mnu_userComm, m.mnu_USB, m.mnu_ethernet};
}

void TransportSelection::setChecks(Entry chosen) {
    const QList<QAction *> all = entries();
    for (int i = 0; i < all.size(); ++i)
        all[i]->setChecked(i == static_cast<int>(chosen));
}

TransportSelection::Before TransportSelection::remember() const {
    Before before;
    for (QAction *a : entries())
        before.checks.append(a->isChecked());
    before.rcvTimer = ctx_.link.tmr_RCVTIMER.isEnabled();
    before.panel1 = shell_.statusPanelText(1);
    before.panel2 = shell_.statusPanelText(2);
    before.linkMode = ctx_.link.linkMode;
    before.commPortText = commPortText;
    before.portName = ctx_.link.MSComm1().portName();
    before.settings = ctx_.link.MSComm1().settings();
    return before;
}

void TransportSelection::restore(const Before &before) {
    const QList<QAction *> all = entries();
    for (int i = 0; i < all.size() && i < before.checks.size(); ++i)
        all[i]->setChecked(before.checks[i]);
    shell_.setStatusPanelText(1, before.panel1);
    ctx_.link.linkMode = before.linkMode;
    if (before.rcvTimer)
        ctx_.link.tmr_RCVTIMER.setEnabled(true);
}

} // namespace zor
