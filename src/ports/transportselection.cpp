#include "ports/transportselection.h"

#include "link/devicelink.h"
#include "link/rememberedlink.h"
#include "platform/dialogs.h"
#include "platform/portnames.h"
#include "ports/hostbaudratedialog.h"
#include "ports/remotehost.h"
#include "ports/usbportdialog.h"
#include "ui/formregistry.h"
#include "ui/mainmenu.h"

#include "ui/shellactions.h"
#include <QPointer>

#include <QAction>
#include <QElapsedTimer>

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
    connect(&ctx_.link.tcpClient(), &TcpClientComponent::stateChanged, &connectWait_,
            &Wake::resume);
}

void TransportSelection::mnu_comm1_Click() {
    serialPort(Entry::Comm1);
}

void TransportSelection::mnu_comm2_Click() {
    serialPort(Entry::Comm2);
}

void TransportSelection::serialPort(Entry entry) {
    const quint64 choice = begin();
    const Before before = remember();
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
    setChecks(entry);
    askBaudRate();
    if (superseded(choice))
        return;
    // Polling a port that did not open would only count failures.
    if (!openChosen(entry, entry == Entry::Comm2 ? QStringLiteral("2") : QStringLiteral("1"),
                    before))
        return;
    if (entry == Entry::Comm2)
        shell_.btn_REQSTAT_Click();
    shell_.mnu_AUTOUPDATE_Click();
}

void TransportSelection::mnu_userComm_Click() {
    const quint64 choice = begin();
    const Before before = remember();
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
    setChecks(Entry::UserComm);
    const QString typed = dialogs().choice(QStringLiteral("Enter your Comm Port Number"),
                                           discoveredSerialPorts(), RememberedLink::load().port);
    if (superseded(choice))
        return;
    if (const auto problem = portTextProblem(typed)) {
        restore(before);
        showInvalidPort(*problem);
        return;
    }
    askBaudRate();
    if (superseded(choice))
        return;
    openChosen(Entry::UserComm, typed, before);
}

bool TransportSelection::connectSerial(const QString &port, const QString &baud) {
    begin();
    const Before before = remember();
    const Entry entry = port == QStringLiteral("1")   ? Entry::Comm1
                        : port == QStringLiteral("2") ? Entry::Comm2
                                                      : Entry::UserComm;
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
    setChecks(entry);
    ctx_.link.MSComm1().setSettings(baud + QStringLiteral(",n,8,1"));
    return openChosen(entry, port, before);
}

bool TransportSelection::openChosen(Entry entry, const QString &portText, const Before &before) {
    ctx_.link.closeSerial();
    commPortText = portText;
    ctx_.link.MSComm1().setPortName(portText);
    if (!openSerial(before))
        return false;
    showSerialPanels();
    ctx_.link.linkMode = entry == Entry::Comm2 ? QStringLiteral("comm2") : QStringLiteral("comm1");
    ctx_.link.tmr_RCVTIMER.setEnabled(true);
    ctx_.link.tmr_NETRCVTMR.setEnabled(false);
    RememberedLink::storeSerial(portText, ctx_.link.MSComm1().settings().section(u',', 0, 0));
    return true;
}

void TransportSelection::mnu_USB_Click() {
    const quint64 choice = begin();
    const Before before = remember();
    setChecks(Entry::Usb);
    shell_.setStatusPanelText(1, QStringLiteral("USB Comms"));
    ctx_.link.linkMode = QStringLiteral("USB");
    auto &dialog = ctx_.forms.get<UsbPortDialog>(usbChosenPortText, window_);
    dialogs().runModal(dialog);
    ctx_.forms.unload(&dialog);
    if (superseded(choice))
        return;
    const QString chosen = usbChosenPortText;
    if (const auto problem = portTextProblem(chosen)) {
        restore(before);
        showInvalidPort(*problem);
        return;
    }
    commPortText = chosen;
    ctx_.link.closeSerial();
    ctx_.link.MSComm1().setPortName(chosen);
    shell_.setStatusPanelText(2, QStringLiteral("Comm Port:  ") + commPortText);
    if (!openSerial(before))
        return;
    ctx_.link.tmr_RCVTIMER.setEnabled(true);
    ctx_.link.tmr_NETRCVTMR.setEnabled(false);
    RememberedLink::storeSerial(chosen, ctx_.link.MSComm1().settings().section(u',', 0, 0));
    shell_.btn_REQSTAT_Click();
    shell_.mnu_AUTOUPDATE_Click();
}

void TransportSelection::mnu_ethernet_Click() {
    openEthernet();
}

Task<> TransportSelection::openEthernet() {
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
    shell_.btn_REQSTAT_Click();
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
    TcpClientComponent &tcp = ctx_.link.tcpClient();
    setChecks(Entry::Ethernet);
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
    ctx_.link.tmr_NETRCVTMR.setEnabled(false);
    shell_.setStatusPanelText(1, QStringLiteral("Ethernet Comms"));
    ctx_.link.linkMode = LinkEthernet;
    tcp.connectToRemote();
    QPointer<TransportSelection> self(this);
    co_await waitForConnection(choice);
    // Another choice made during the wait has taken over the link.
    if (!self || superseded(choice))
        co_return false;
    ctx_.link.tmr_NETRCVTMR.setEnabled(true);
    if (tcp.state() == TcpClientComponent::StateConnected)
        RememberedLink::storeNetwork(tcp.remoteHost, tcp.remotePort);
    co_return true;
}

Task<> TransportSelection::waitForConnection(quint64 choice) {
    QPointer<TransportSelection> self(this);
    TcpClientComponent &tcp = ctx_.link.tcpClient();
    QElapsedTimer clock;
    clock.start();
    while (tcp.state() != TcpClientComponent::StateConnected) {
        const qint64 elapsed = clock.elapsed();
        if (elapsed > connectLimitMs)
            co_return;
        // Until the connection state moves or the limit passes; timers and
        // clicks are served meanwhile.
        co_await connectWait_.sleep(connectLimitMs - elapsed + 1);
        if (!self || superseded(choice))
            co_return; // the console is ending, or another choice took over
    }
}

quint64 TransportSelection::begin() {
    // A choice made while Ethernet waits for its connection ends that wait.
    connectWait_.wake();
    return ++choice_;
}

void TransportSelection::askBaudRate() {
    auto &dialog = ctx_.forms.get<HostBaudRateDialog>(ctx_.link, shell_, window_);
    dialogs().runModal(dialog);
    ctx_.forms.unload(&dialog);
}

bool TransportSelection::openSerial(const Before &before) {
    if (ctx_.link.MSComm1().open())
        return true;
    const QString reason = ctx_.link.MSComm1().openFailureReason();
    fallBack(before);
    showInvalidPort(reason);
    return false;
}

void TransportSelection::fallBack(const Before &before) {
    SerialPortComponent &port = ctx_.link.MSComm1();
    bool works = false;
    if (before.linkMode == LinkEthernet) {
        works = ctx_.link.tcpClient().state() == TcpClientComponent::StateConnected;
    } else if (!before.linkMode.isEmpty()) {
        port.setPortName(before.portName);
        port.setSettings(before.settings);
        works = port.open();
    }
    if (works) {
        restore(before);
        shell_.setStatusPanelText(2, before.panel2);
        commPortText = before.commPortText;
        return;
    }
    for (QAction *a : entries())
        a->setChecked(false);
    shell_.setStatusPanelText(1, QStringLiteral("SET PORT!"));
    shell_.setStatusPanelText(2, QStringLiteral("Comm Ch."));
    ctx_.link.linkMode.clear();
    ctx_.link.tmr_RCVTIMER.setEnabled(false);
    ctx_.link.tmr_NETRCVTMR.setEnabled(false);
    ctx_.link.tmr_COMMWDT.setEnabled(false);
    if (ctx_.link.autoUpdate)
        shell_.mnu_MANUAL_Click();
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
