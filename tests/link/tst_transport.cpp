#include "link/frm_gui_baudrate.h"
#include "link/frm_usb.h"
#include "link/remotehost.h"
#include "link/transportselection.h"
#include "platform/qtserialport.h"
#include "ptysupply.h"
#include "testconsole.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextEdit>
#include <QTimer>

using namespace zor;
using namespace zor::test;

namespace {

using Payloads = QList<QByteArray>;
const Payloads Identity = {"HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};
const Payloads StatusThenIdentity = Payloads{"STAT;", "FLT;"} + Identity;

// A console off line whose port dialogs are answered as the fields say.
struct Ports : Console {
    int baudIndex = 0;          // -1 closes the baud dialog without OK
    QString usbPort = "3";      // typed into the USB dialog before DONE
    bool usbDone = true;        // false closes the USB dialog without DONE
    QString host = "127.0.0.1"; // typed into the network dialog
    QString port = "5025";
    bool hostOk = true; // false presses Cancel
    QStringList baudOffers;

    explicit Ports(bool realPorts = false) : Console(false, realPorts) {
        answerAll(Identity + Payloads{"VMON;", "IMON;", "FMON;", "VSET;", "ISET;", "STAT;", "FLT;",
                                      "LVPS;", "TEMP;", "SLVR ;", "SLIR ;", "WDTT;"},
                  "1;");
        dialogs.onModal = [this](QDialog &d) { answerDialog(d); };
    }
    void answerDialog(QDialog &d) {
        if (auto *baud = qobject_cast<frm_gui_baudrate *>(&d)) {
            baudOffers << baud->Bitslist->itemText(0) + '|' + baud->Bitslist->itemText(1) + '@' +
                              baud->Bitslist->currentText();
            if (baudIndex < 0)
                return baud->reject();
            baud->Bitslist->setCurrentIndex(baudIndex);
            baud->ok->click();
        } else if (auto *usb = qobject_cast<frm_USB *>(&d)) {
            if (!usbDone)
                return usb->reject();
            usb->txt_USBPORT->setText(usbPort);
            usb->btn_DONE->click();
        } else if (auto *remote = qobject_cast<RemoteHost *>(&d)) {
            remote->txtHost->setText(host);
            remote->txtPortNumber->setText(port);
            (hostOk ? remote->OKButton : remote->CancelButton)->click();
        }
    }
    TransportSelection &ports() { return *window.transport; }
    // Check marks in menu order: COMM1, COMM2, COMM USER, Ethernet, USB.
    QString checks() const {
        QString marks;
        for (QAction *a : window.menu.mnu_Ports->actions())
            marks += a->isChecked() ? '1' : '0';
        return marks;
    }
    QString panel(int n) const { return window.StatusBar1->panelText(n); }
    // "panel 1|panel 2|link mode|check marks|" then A for auto update and the
    // running poll (U), reply (R) and network status (N) timers.
    QString state() const {
        QString flags;
        for (const auto &[on, letter] : {std::pair{window.autoUpdate, 'A'},
                                         {window.tmr_UPDATE.isEnabled(), 'U'},
                                         {window.tmr_RCVTIMER.isEnabled(), 'R'},
                                         {window.tmr_NETRCVTMR.isEnabled(), 'N'}})
            if (on)
                flags += letter;
        return QStringList{panel(1), panel(2), window.linkMode, checks(), flags}.join('|');
    }
};

// A loopback listener that answers every framed network command with "1;".
struct AnsweringServer {
    QTcpServer server;
    QList<QByteArray> frames;
    AnsweringServer() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket *peer = server.nextPendingConnection();
            auto pending = std::make_shared<QByteArray>();
            QObject::connect(peer, &QTcpSocket::readyRead, peer, [this, peer, pending] {
                pending->append(peer->readAll());
                for (qsizetype end; (end = pending->indexOf('\x03')) >= 0;) {
                    frames << pending->mid(1, end - 1);
                    pending->remove(0, end + 1);
                    peer->write("\x02"
                                "1;\x03");
                }
            });
        });
    }
};

} // namespace

class TestTransport : public QObject {
    Q_OBJECT
private slots:
    // COMM2 reads the status before the identity, COMM1 does not; a port that
    // cannot be opened stops the handler: no status request, no auto update.
    void serialEntries_data() {
        columns<int, bool, int, QString, Payloads>("entry", "openable", "baud", "state", "sent");
        const QString setting = "Comm Port Setting:  ";
        row("COMM1 at 115200", 1, true, 0, setting + "115200,n,8,1|Comm Port:  1|comm1|10000|AUR",
            Identity);
        row("COMM2 at 9600", 2, true, 1, setting + "9600,n,8,1|Comm Port:  2|comm2|01000|AUR",
            StatusThenIdentity);
        row("COMM1 cannot open", 1, false, 0, setting + "115200,n,8,1|Comm Ch.||10000|",
            Payloads{});
        row("COMM2 cannot open", 2, false, 0, setting + "115200,n,8,1|Comm Ch.||01000|",
            Payloads{});
        row("USB cannot open", 3, false, 0, "USB Comms|Comm Port:  3|USB|00001|", Payloads{});
    }
    void serialEntries() {
        QFETCH(int, entry);
        QFETCH(bool, openable);
        QFETCH(int, baud);
        QFETCH(QString, state);
        QFETCH(Payloads, sent);
        Ports c;
        c.baudIndex = baud;
        c.rig.serial->openable = openable;
        TransportSelection &p = c.ports();
        entry == 1 ? p.mnu_comm1_Click() : entry == 2 ? p.mnu_comm2_Click() : p.mnu_USB_Click();
        QCOMPARE(c.state(), state);
        QCOMPARE(c.sent(), sent);
        QCOMPARE(c.dialogs.messages(),
                 openable ? QStringList() : QStringList{"Invalid Comm Port!"});
        if (openable)
            QCOMPARE(c.rig.serial->portName(), QString::number(entry));
    }

    // The baud dialog offers 115200 first every time; closing it keeps the setting.
    void comm1TwiceClosesAndReopens() {
        Ports c;
        c.baudIndex = 1;
        c.ports().mnu_comm1_Click();
        QCOMPARE(c.rig.serial->openCount, 1);
        QCOMPARE(c.rig.serial->closeCount, 0);
        c.baudIndex = -1;
        c.window.menu.mnu_comm1->trigger();
        QCOMPARE(c.rig.serial->closeCount, 1);
        QCOMPARE(c.rig.serial->openCount, 2);
        QVERIFY(c.rig.serial->isOpen());
        QCOMPARE(c.baudOffers, (QStringList{"115200|9600@115200", "115200|9600@115200"}));
        QCOMPARE(c.panel(1), QStringLiteral("Comm Port Setting:  9600,n,8,1"));
        QCOMPARE(c.window.forms.find<frm_gui_baudrate>(), nullptr);
    }

    // COMM USER never polls by itself; a text it cannot use changes nothing.
    void userComm_data() {
        columns<QString, bool, QString, QString>("typed", "openable", "informative", "state");
        const QString neither =
            "\"%1\" is neither a port number from 1 to 255 nor a serial device.";
        row("port 3", "3", true, "",
            "Comm Port Setting:  115200,n,8,1|Comm Port:  3|comm1|00100|R");
        row("missing port", "7", false, "", "Comm Port Setting:  115200,n,8,1|Comm Ch.||00100|");
        row("not a number", "abc", true, neither.arg("abc"), "SET PORT!|Comm Ch.||00000|");
        row("out of range", "256", true, neither.arg("256"), "SET PORT!|Comm Ch.||00000|");
        row("cancelled", "", true, "No port number was given.", "SET PORT!|Comm Ch.||00000|");
    }
    void userComm() {
        QFETCH(QString, typed);
        QFETCH(bool, openable);
        QFETCH(QString, informative);
        QFETCH(QString, state);
        Ports c;
        c.rig.serial->openable = openable;
        c.dialogs.inputs.push_back(typed);
        c.ports().mnu_userComm_Click();
        QCOMPARE(c.shown("input"), QStringList{"Enter your Comm Port Number"});
        const bool opened = c.rig.serial->isOpen();
        QCOMPARE(c.dialogs.messages(), opened ? QStringList() : QStringList{"Invalid Comm Port!"});
        if (!informative.isEmpty())
            QCOMPARE(c.dialogs.shown.last().informative, informative);
        QCOMPARE(c.state(), state);
        QCOMPARE(c.rig.serial->openCount, opened ? 1 : 0);
        QVERIFY(c.sent().isEmpty());
    }

    void invalidTypedPortKeepsTheOpenPort() {
        Ports c;
        c.ports().mnu_comm2_Click();
        const QString before = c.state();
        c.dialogs.inputs.push_back("COM");
        c.ports().mnu_userComm_Click();
        QVERIFY(c.rig.serial->isOpen());
        QCOMPARE(c.rig.serial->closeCount, 0);
        QCOMPARE(c.state(), before);
    }

    void userCommWithADevicePathThroughAPseudoTerminal() {
        PtySupply pty;
        QVERIFY(pty.pty.ok());
        pty.supply.on("VSET;", "640;");
        Ports c(true);
        c.dialogs.inputs.push_back(pty.pty.slavePath());
        c.ports().mnu_userComm_Click();
        QCOMPARE(c.dialogs.messages(), QStringList());
        QCOMPARE(c.panel(1), QStringLiteral("Comm Port Setting:  115200,n,8,1"));
        QCOMPARE(c.panel(2), QStringLiteral("Comm Port:  ") + pty.pty.slavePath());
        QCOMPARE(c.window.link.exchange("VSET;"), QByteArray::fromHex("023634303b6b0d0a"));
        QCOMPARE(pty.supply.frames.size(), 1);
        QCOMPARE(pty.supply.frames[0].bytes, QByteArray::fromHex("02565345543b430d0a"));
    }

    void openFailureGivesTheReason() {
        Ports c(true);
        c.dialogs.inputs.push_back("/dev/ttyZOR404");
        c.ports().mnu_userComm_Click();
        QCOMPARE(c.dialogs.messages(), QStringList{"Invalid Comm Port!"});
        QCOMPARE(c.dialogs.shown.last().informative,
                 QStringLiteral("There is no serial port /dev/ttyZOR404 on this computer."));
        QVERIFY(!c.window.link.MSComm1().isOpen());

        PtyPair pty;
        QtSerialPort holder, second;
        holder.setPortName(pty.slavePath());
        second.setPortName(pty.slavePath());
        QVERIFY(holder.open());
        QVERIFY(!second.open());
        QCOMPARE(second.openFailureReason(),
                 pty.slavePath() + QStringLiteral(" is in use by another program."));
    }

    void pulledAdapterClosesThePort() {
        auto pty = std::make_unique<PtyPair>();
        DeviceLink link(PortFactory::real());
        link.linkMode = QStringLiteral("comm1");
        link.MSComm1().setPortName(pty->slavePath());
        QVERIFY(link.MSComm1().open());
        pty.reset(); // the device disappears under the open port
        QTRY_VERIFY_WITH_TIMEOUT(!link.MSComm1().isOpen(), 2000);
        // The watchdog keeps trying without ending anything.
        link.tmr_COMMWDT.setEnabled(true);
        link.tmr_COMMWDT_Timer();
        QVERIFY(!link.MSComm1().isOpen());
        QVERIFY(link.tmr_COMMWDT.isEnabled());
        QCOMPARE(link.exchange("STAT;"), QByteArray());
    }

    void usbUsesTheTypedPortWithoutBaudDialog() {
        Ports c;
        c.rig.serial->setSettings(QStringLiteral("9600,n,8,1"));
        c.usbPort = "5";
        c.dialogs.onModal = [&](QDialog &d) {
            auto &usb = dynamic_cast<frm_USB &>(d);
            QVERIFY(usb.rtf_USBDOCS->isReadOnly());
            QCOMPARE(usb.txt_USBPORT->text(), QStringLiteral("3"));
            c.answerDialog(d);
        };
        c.ports().mnu_USB_Click();
        QCOMPARE(c.shown("modal"), QStringList{"USB Setup and Documentation"});
        QCOMPARE(c.state(), QStringLiteral("USB Comms|Comm Port:  5|USB|00001|AUR"));
        QCOMPARE(c.rig.serial->settings(), QStringLiteral("9600,n,8,1"));
        QCOMPARE(c.sent(), StatusThenIdentity);
    }

    void usbWithAnUnusableText_data() {
        columns<QString, bool>("typed", "done");
        row("letters", "x", true);
        row("empty", "", true);
        row("closed before any DONE", "4", false);
    }
    void usbWithAnUnusableText() {
        QFETCH(QString, typed);
        QFETCH(bool, done);
        Ports c;
        c.usbPort = typed;
        c.usbDone = done;
        c.ports().mnu_USB_Click();
        QCOMPARE(c.dialogs.messages(), QStringList{"Invalid Comm Port!"});
        QCOMPARE(c.state(), QStringLiteral("SET PORT!|Comm Ch.||00000|"));
        QCOMPARE(c.rig.serial->openCount, 0);
    }

    void remoteHostOkThenCancel() {
        Ports c;
        c.rig.supply.ethernet = true;
        c.ports().mnu_ethernet_Click();
        QCOMPARE(c.panel(2), QStringLiteral("IP: 127.0.0.1"));
        QCOMPARE(c.window.link.tcpClient().remoteHost, QStringLiteral("127.0.0.1"));
        QCOMPARE(c.window.link.tcpClient().remotePort, 5025);
        c.host = "localhost";
        c.port = "6000";
        c.hostOk = false;
        c.ports().mnu_ethernet_Click();
        auto *dialog = c.window.forms.find<RemoteHost>();
        QVERIFY(dialog); // hidden, not unloaded
        QCOMPARE(dialog->txtHost->text() + ':' + dialog->txtPortNumber->text(),
                 QStringLiteral("127.0.0.1:5025"));
        QCOMPARE(c.window.link.tcpClient().remotePort, 5025);
        QCOMPARE(c.panel(2), QStringLiteral("IP: 127.0.0.1"));
        // Cancel still goes on with the earlier address.
        QCOMPARE(c.window.linkMode, QStringLiteral("ethernet"));
        QCOMPARE(c.shown("modal"), (QStringList{"Remote Host", "Remote Host"}));
    }

    void remoteHostRefusesABadAddress_data() {
        columns<QString, QString, QString>("host", "port", "message");
        row("port 0", "127.0.0.1", "0", "Invalid Port Number!");
        row("port 65536", "127.0.0.1", "65536", "Invalid Port Number!");
        row("port in words", "127.0.0.1", "http", "Invalid Port Number!");
        row("no host", "  ", "5025", "Invalid Host!");
    }
    void remoteHostRefusesABadAddress() {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, message);
        Ports c;
        c.dialogs.onModal = [&](QDialog &d) {
            auto &remote = dynamic_cast<RemoteHost &>(d);
            remote.txtHost->setText(host);
            remote.txtPortNumber->setText(port);
            remote.OKButton->click();
            QCOMPARE(remote.result(), int(QDialog::Rejected)); // still open
            QCOMPARE(remote.rememberedPort(), QString());
            remote.CancelButton->click();
        };
        c.ports().mnu_ethernet_Click();
        // Ethernet without any accepted address: no connect attempt, nothing changes.
        QCOMPARE(c.dialogs.messages(), (QStringList{message, "No Remote Host!"}));
        QCOMPARE(c.window.link.tcpClient().state(), TcpClientComponent::StateClosed);
        QCOMPARE(c.state(), QStringLiteral("SET PORT!|Comm Ch.||00000|"));
    }

    void ethernetToALoopbackListener() {
        AnsweringServer peer;
        Ports c(true);
        c.port = QString::number(peer.server.serverPort());
        QElapsedTimer clock;
        clock.start();
        c.ports().mnu_ethernet_Click();
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(c.window.link.tcpClient().state(), TcpClientComponent::StateConnected);
        QCOMPARE(c.state(), QStringLiteral("Ethernet Comms|IP: 127.0.0.1|ethernet|00010|AURN"));
        QCOMPARE(peer.frames.mid(0, 7), StatusThenIdentity);
        QVERIFY(c.dialogs.messages().isEmpty());
    }

    void ethernetListenerThatNeverAccepts() {
        // A listener whose accept queue is full drops the console's SYN, so the
        // connect stays pending.
        QTcpServer server;
        server.setListenBacklogSize(0);
        QVERIFY(server.listen(QHostAddress::LocalHost));
        server.pauseAccepting();
        QTcpSocket fill1, fill2;
        fill1.connectToHost(QHostAddress::LocalHost, server.serverPort());
        fill2.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QTest::qWait(50);
        Ports c(true);
        c.port = QString::number(server.serverPort());
        c.ports().connectLimitMs = 400;
        qint64 servedAt = -1;
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(50, [&] { servedAt = clock.elapsed(); });
        c.ports().mnu_ethernet_Click();
        const qint64 took = clock.elapsed();
        QVERIFY2(took > 400 && took < 3000, qPrintable(QString::number(took)));
        QVERIFY(servedAt >= 0 && servedAt < 400); // the window kept serving events
        QVERIFY(c.window.link.tcpClient().state() != TcpClientComponent::StateConnected);
        // The handler goes on without a message; the exchanges find no connection.
        QVERIFY(c.dialogs.messages().isEmpty());
        QCOMPARE(c.state(), QStringLiteral("Ethernet Comms|IP: 127.0.0.1|ethernet|00010|AUN"));
    }

    void choiceDuringTheConnectWaitTakesOver() {
        Ports c;
        c.rig.supply.ethernet = true;
        c.rig.tcp->connectDelayMs = 60000;
        c.ports().connectLimitMs = 5000;
        QTimer::singleShot(30, [&] {
            c.dialogs.inputs.push_back("4");
            c.ports().mnu_userComm_Click();
        });
        QElapsedTimer clock;
        clock.start();
        c.ports().mnu_ethernet_Click();
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(c.state(),
                 QStringLiteral("Comm Port Setting:  115200,n,8,1|Comm Port:  4|comm1|00100|R"));
        QVERIFY(c.sent().isEmpty());
    }
};

QTEST_MAIN(TestTransport)
#include "tst_transport.moc"
