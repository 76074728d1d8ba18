#include "ports/transportselection.h"

#include "link/rememberedlink.h"
#include "platform/dialogs.h"
#include "platform/portnames.h"
#include "ports/hostbaudratedialog.h"
#include "ports/remotehost.h"
#include "ports/usbportdialog.h"
#include "shell/mainwindow.h"

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

TransportSelection::TransportSelection(MainWindow &main) : QObject(&main), main_(main) {
    MainMenu &menu = main_.menu;
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

void TransportSelection::serialPort(Entry entry) {
    const quint64 choice = begin();
    const Before before = remember();
    main_.link.tmr_RCVTIMER.setEnabled(false);
    setChecks(entry);
    askBaudRate();
    if (superseded(choice))
        return;
    // Polling a port that did not open would only count failures.
    if (!openChosen(entry, entry == Entry::Comm2 ? QStringLiteral("2") : QStringLiteral("1"),
                    before))
        return;
    if (entry == Entry::Comm2)
        main_.btn_REQSTAT_Click();
    main_.mnu_AUTOUPDATE_Click();
}

void TransportSelection::mnu_userComm_Click() {
    const quint64 choice = begin();
    const Before before = remember();
    main_.link.tmr_RCVTIMER.setEnabled(false);
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
    main_.link.tmr_RCVTIMER.setEnabled(false);
    setChecks(entry);
    main_.link.MSComm1().setSettings(baud + QStringLiteral(",n,8,1"));
    return openChosen(entry, port, before);
}

bool TransportSelection::openChosen(Entry entry, const QString &portText, const Before &before) {
    main_.link.closeSerial();
    main_.commPortText = portText;
    main_.link.MSComm1().setPortName(portText);
    if (!openSerial(before))
        return false;
    showSerialPanels();
    main_.linkMode = entry == Entry::Comm2 ? QStringLiteral("comm2") : QStringLiteral("comm1");
    main_.link.tmr_RCVTIMER.setEnabled(true);
    main_.link.tmr_NETRCVTMR.setEnabled(false);
    RememberedLink::storeSerial(portText, main_.link.MSComm1().settings().section(u',', 0, 0));
    return true;
}

void TransportSelection::mnu_USB_Click() {
    const quint64 choice = begin();
    const Before before = remember();
    setChecks(Entry::Usb);
    main_.StatusBar1->setPanelText(1, QStringLiteral("USB Comms"));
    main_.linkMode = QStringLiteral("USB");
    auto &dialog = main_.forms.get<UsbPortDialog>(usbChosenPortText, &main_);
    dialogs().runModal(dialog);
    main_.forms.unload(&dialog);
    if (superseded(choice))
        return;
    const QString chosen = usbChosenPortText;
    if (const auto problem = portTextProblem(chosen)) {
        restore(before);
        showInvalidPort(*problem);
        return;
    }
    main_.commPortText = chosen;
    main_.link.closeSerial();
    main_.link.MSComm1().setPortName(chosen);
    main_.StatusBar1->setPanelText(2, QStringLiteral("Comm Port:  ") + main_.commPortText);
    if (!openSerial(before))
        return;
    main_.link.tmr_RCVTIMER.setEnabled(true);
    main_.link.tmr_NETRCVTMR.setEnabled(false);
    RememberedLink::storeSerial(chosen, main_.link.MSComm1().settings().section(u',', 0, 0));
    main_.btn_REQSTAT_Click();
    main_.mnu_AUTOUPDATE_Click();
}

void TransportSelection::mnu_ethernet_Click() {
    const quint64 choice = begin();
    auto &dialog = main_.forms.get<RemoteHost>(main_);
    dialogs().runModal(dialog);
    if (superseded(choice))
        return;
    TcpClientComponent &tcp = main_.link.tcpClient();
    if (tcp.remoteHost.trimmed().isEmpty() || tcp.remotePort < 1 || tcp.remotePort > 65535) {
        dialogs().detailedMessage(
            QStringLiteral("No Remote Host!"),
            QStringLiteral("Choose Ethernet again and enter the address and port number of the "
                           "supply."));
        return;
    }
    if (!connectTcp(choice))
        return;
    main_.btn_REQSTAT_Click();
    main_.mnu_AUTOUPDATE_Click();
}

bool TransportSelection::connectNetwork(const QString &host, int port) {
    const quint64 choice = begin();
    TcpClientComponent &tcp = main_.link.tcpClient();
    tcp.remoteHost = host;
    tcp.remotePort = port;
    main_.StatusBar1->setPanelText(2, QStringLiteral("IP: ") + host);
    return connectTcp(choice);
}

bool TransportSelection::connectTcp(quint64 choice) {
    TcpClientComponent &tcp = main_.link.tcpClient();
    setChecks(Entry::Ethernet);
    main_.link.tmr_RCVTIMER.setEnabled(false);
    main_.link.tmr_NETRCVTMR.setEnabled(false);
    main_.StatusBar1->setPanelText(1, QStringLiteral("Ethernet Comms"));
    main_.linkMode = LinkEthernet;
    tcp.connectToRemote();
    waitForConnection(choice);
    // Another choice made during the wait has taken over the link.
    if (superseded(choice))
        return false;
    main_.link.tmr_NETRCVTMR.setEnabled(true);
    if (tcp.state() == TcpClientComponent::StateConnected)
        RememberedLink::storeNetwork(tcp.remoteHost, tcp.remotePort);
    return true;
}

void TransportSelection::waitForConnection(quint64 choice) {
    TcpClientComponent &tcp = main_.link.tcpClient();
    QElapsedTimer clock;
    clock.start();
    while (tcp.state() != TcpClientComponent::StateConnected) {
        const qint64 elapsed = clock.elapsed();
        if (elapsed > connectLimitMs)
            return;
        // Sleep until the connection state moves or the limit passes; timers
        // and clicks are served meanwhile.
        if (!connectWait_.sleep(connectLimitMs - elapsed + 1, &tcp,
                                &TcpClientComponent::stateChanged) ||
            superseded(choice))
            return; // the console is ending, or another choice took over
    }
}

quint64 TransportSelection::begin() {
    // A choice made while Ethernet waits for its connection ends that wait.
    connectWait_.wake();
    return ++choice_;
}

void TransportSelection::askBaudRate() {
    auto &dialog = main_.forms.get<HostBaudRateDialog>(main_);
    dialogs().runModal(dialog);
    main_.forms.unload(&dialog);
}

bool TransportSelection::openSerial(const Before &before) {
    if (main_.link.MSComm1().open())
        return true;
    const QString reason = main_.link.MSComm1().openFailureReason();
    fallBack(before);
    showInvalidPort(reason);
    return false;
}

void TransportSelection::fallBack(const Before &before) {
    SerialPortComponent &port = main_.link.MSComm1();
    bool works = false;
    if (before.linkMode == LinkEthernet) {
        works = main_.link.tcpClient().state() == TcpClientComponent::StateConnected;
    } else if (!before.linkMode.isEmpty()) {
        port.setPortName(before.portName);
        port.setSettings(before.settings);
        works = port.open();
    }
    if (works) {
        restore(before);
        main_.StatusBar1->setPanelText(2, before.panel2);
        main_.commPortText = before.commPortText;
        return;
    }
    for (QAction *a : entries())
        a->setChecked(false);
    main_.StatusBar1->setPanelText(1, QStringLiteral("SET PORT!"));
    main_.StatusBar1->setPanelText(2, QStringLiteral("Comm Ch."));
    main_.linkMode.clear();
    main_.link.tmr_RCVTIMER.setEnabled(false);
    main_.link.tmr_NETRCVTMR.setEnabled(false);
    main_.link.tmr_COMMWDT.setEnabled(false);
    if (main_.autoUpdate)
        main_.mnu_MANUAL_Click();
}

void TransportSelection::showSerialPanels() {
    main_.StatusBar1->setPanelText(1, QStringLiteral("Comm Port Setting:  ") +
                                          main_.link.MSComm1().settings());
    main_.StatusBar1->setPanelText(2, QStringLiteral("Comm Port:  ") + main_.commPortText);
}

void TransportSelection::showInvalidPort(const QString &reason) {
    dialogs().detailedMessage(QStringLiteral("Invalid Comm Port!"), reason);
}

bool TransportSelection::superseded(quint64 choice) const {
    return main_.ended() || choice != choice_;
}

QList<QAction *> TransportSelection::entries() const {
    const MainMenu &m = main_.menu;
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
    before.rcvTimer = main_.link.tmr_RCVTIMER.isEnabled();
    before.panel1 = main_.StatusBar1->panelText(1);
    before.panel2 = main_.StatusBar1->panelText(2);
    before.linkMode = main_.linkMode;
    before.commPortText = main_.commPortText;
    before.portName = main_.link.MSComm1().portName();
    before.settings = main_.link.MSComm1().settings();
    return before;
}

void TransportSelection::restore(const Before &before) {
    const QList<QAction *> all = entries();
    for (int i = 0; i < all.size() && i < before.checks.size(); ++i)
        all[i]->setChecked(before.checks[i]);
    main_.StatusBar1->setPanelText(1, before.panel1);
    main_.linkMode = before.linkMode;
    if (before.rcvTimer)
        main_.link.tmr_RCVTIMER.setEnabled(true);
}

} // namespace zor
