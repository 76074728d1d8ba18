#include "fakeports.h"
#include "link/frm_gui_baudrate.h"
#include "link/frm_usb.h"
#include "link/remotehost.h"
#include "link/transportselection.h"
#include "platform/qtserialport.h"
#include "ptysupply.h"
#include "scripteddialogs.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <memory>

using namespace zor;
using namespace zor::test;

namespace {

const QList<QByteArray> Identity = {"HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};
const QList<QByteArray> Poll = {"VMON;", "IMON;", "FMON;", "VSET;",  "ISET;",  "STAT;",
                                "FLT;",  "LVPS;", "TEMP;", "SLVR ;", "SLIR ;", "WDTT;"};

// A console whose dialogs are answered as the fields below say.
struct Console {
    ScriptedDialogs dialogs;
    FakeRig rig;
    std::unique_ptr<frm_SDIMAIN> owned;
    frm_SDIMAIN &window;
    int baudIndex = 0;          // -1 closes the baud dialog without OK
    QString usbPort = "3";      // typed into the USB dialog before DONE
    bool usbDone = true;        // false closes the USB dialog without DONE
    QString host = "127.0.0.1"; // typed into the network dialog
    QString port = "5025";
    bool hostOk = true; // false presses Cancel
    QStringList baudOffers;

    explicit Console(bool realPorts = false)
        : owned(std::make_unique<frm_SDIMAIN>(realPorts ? PortFactory::real() : rig.factory())),
          window(*owned) {
        window.setProgramEnd([] {});
        for (const QByteArray &p : Poll + Identity)
            rig.supply.on(p, "1;");
        dialogs.onModal = [this](QDialog &d) { answer(d); };
        window.Form_Load();
        dialogs.shown.clear();
    }

    void answer(QDialog &d) {
        if (auto *baud = qobject_cast<frm_gui_baudrate *>(&d)) {
            QStringList items;
            for (int i = 0; i < baud->Bitslist->count(); ++i)
                items << baud->Bitslist->itemText(i);
            baudOffers << items.join('|') + '@' + baud->Bitslist->currentText();
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
            if (hostOk)
                remote->OKButton->click();
            else
                remote->CancelButton->click();
        }
    }

    TransportSelection &ports() { return *window.transport; }
    QList<QByteArray> sent() const { return rig.supply.payloads(); }
    QStringList modals() const {
        QStringList titles;
        for (const auto &s : dialogs.shown)
            if (s.kind == "modal")
                titles << s.text;
        return titles;
    }
    // Check marks in menu order: COMM1, COMM2, COMM USER, Ethernet, USB.
    QString checks() const {
        QString marks;
        for (QAction *a : window.menu.mnu_Ports->actions())
            marks += a->isChecked() ? '1' : '0';
        return marks;
    }
    QString panel(int n) const { return window.StatusBar1->panelText(n); }
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
                qsizetype end;
                while ((end = pending->indexOf('\x03')) >= 0) {
                    frames << pending->left(end + 1);
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
    void serialEntries_data() {
        QTest::addColumn<bool>("comm2");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("panel1");
        QTest::addColumn<QString>("panel2");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("checks");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::newRow("COMM1 at 115200")
            << false << 0 << "Comm Port Setting:  115200,n,8,1"
            << "Comm Port:  1"
            << "comm1"
            << "10000" << QList<QByteArray>{"HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};
        QTest::newRow("COMM2 at 9600")
            << true << 1 << "Comm Port Setting:  9600,n,8,1"
            << "Comm Port:  2"
            << "comm2"
            << "01000"
            << QList<QByteArray>{"STAT;", "FLT;", "HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};
    }
    void serialEntries() {
        QFETCH(bool, comm2);
        QFETCH(int, baud);
        QFETCH(QString, panel1);
        QFETCH(QString, panel2);
        QFETCH(QString, mode);
        QFETCH(QString, checks);
        QFETCH(QList<QByteArray>, sent);
        Console c;
        c.baudIndex = baud;
        comm2 ? c.ports().mnu_comm2_Click() : c.ports().mnu_comm1_Click();
        QCOMPARE(c.modals(), QStringList{"GUI Baud Rate"});
        QCOMPARE(c.panel(1), panel1);
        QCOMPARE(c.panel(2), panel2);
        QCOMPARE(c.window.linkMode, mode);
        QCOMPARE(c.window.commPortText, comm2 ? QStringLiteral("2") : QStringLiteral("1"));
        QCOMPARE(c.rig.serial->portName(), c.window.commPortText);
        QCOMPARE(c.checks(), checks);
        QCOMPARE(c.sent(), sent);
        QVERIFY(c.window.autoUpdate);
        QVERIFY(c.window.tmr_UPDATE.isEnabled());
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
        QVERIFY(!c.window.tmr_NETRCVTMR.isEnabled());
        QVERIFY(c.dialogs.messages().isEmpty());
    }

    void baudDialogOffers115200FirstEveryTime() {
        Console c;
        c.baudIndex = 1;
        c.ports().mnu_comm1_Click();
        c.baudIndex = -1; // closed without OK: the settings stay at 9600
        c.ports().mnu_comm1_Click();
        QCOMPARE(c.baudOffers, (QStringList{"115200|9600@115200", "115200|9600@115200"}));
        QCOMPARE(c.panel(1), QStringLiteral("Comm Port Setting:  9600,n,8,1"));
        QCOMPARE(c.window.forms.find<frm_gui_baudrate>(), nullptr); // OK and closing unload it
    }

    void comm1TwiceClosesAndReopens() {
        Console c;
        c.ports().mnu_comm1_Click();
        QCOMPARE(c.rig.serial->openCount, 1);
        QCOMPARE(c.rig.serial->closeCount, 0);
        c.window.menu.mnu_comm1->trigger();
        QCOMPARE(c.rig.serial->closeCount, 1);
        QCOMPARE(c.rig.serial->openCount, 2);
        QVERIFY(c.rig.serial->isOpen());
    }

    void serialEntryThatCannotOpen_data() {
        QTest::addColumn<int>("entry"); // 1 COMM1, 2 COMM2, 3 USB
        QTest::addColumn<QString>("checks");
        QTest::newRow("COMM1") << 1 << "10000";
        QTest::newRow("COMM2") << 2 << "01000";
        QTest::newRow("USB") << 3 << "00001";
    }
    void serialEntryThatCannotOpen() {
        QFETCH(int, entry);
        QFETCH(QString, checks);
        Console c;
        c.rig.serial->openable = false;
        if (entry == 1)
            c.ports().mnu_comm1_Click();
        else if (entry == 2)
            c.ports().mnu_comm2_Click();
        else
            c.ports().mnu_USB_Click();
        QCOMPARE(c.dialogs.messages(), QStringList{"Invalid Comm Port!"});
        QCOMPARE(c.checks(), checks);
        QVERIFY(c.sent().isEmpty()); // no status request, no auto update
        QVERIFY(!c.window.autoUpdate);
        QVERIFY(!c.window.tmr_UPDATE.isEnabled());
        QVERIFY(!c.window.tmr_RCVTIMER.isEnabled());
    }

    void userComm_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("openable");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("informative");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("checks");
        QTest::addColumn<QString>("panel2");
        QTest::addColumn<int>("opens");
        QTest::newRow("port 3") << "3" << true << QStringList() << QString() << "comm1"
                                << "00100"
                                << "Comm Port:  3" << 1;
        QTest::newRow("missing port") << "7" << false << QStringList{"Invalid Comm Port!"}
                                      << QString() << QString() << "00100"
                                      << "Comm Ch." << 0;
        QTest::newRow("not a number")
            << "abc" << true << QStringList{"Invalid Comm Port!"}
            << "\"abc\" is neither a port number from 1 to 255 nor a serial device." << QString()
            << "00000"
            << "Comm Ch." << 0;
        QTest::newRow("out of range")
            << "256" << true << QStringList{"Invalid Comm Port!"}
            << "\"256\" is neither a port number from 1 to 255 nor a serial device." << QString()
            << "00000"
            << "Comm Ch." << 0;
        QTest::newRow("cancelled") << "" << true << QStringList{"Invalid Comm Port!"}
                                   << "No port number was given." << QString() << "00000"
                                   << "Comm Ch." << 0;
    }
    void userComm() {
        QFETCH(QString, typed);
        QFETCH(bool, openable);
        QFETCH(QStringList, messages);
        QFETCH(QString, informative);
        QFETCH(QString, mode);
        QFETCH(QString, checks);
        QFETCH(QString, panel2);
        QFETCH(int, opens);
        Console c;
        c.rig.serial->openable = openable;
        c.dialogs.inputs.push_back(typed);
        c.ports().mnu_userComm_Click();
        QCOMPARE(c.dialogs.shown.first().kind, QStringLiteral("input"));
        QCOMPARE(c.dialogs.shown.first().text, QStringLiteral("Enter your Comm Port Number"));
        QCOMPARE(c.dialogs.messages(), messages);
        if (!informative.isEmpty())
            QCOMPARE(c.dialogs.shown.last().informative, informative);
        QCOMPARE(c.window.linkMode, mode);
        QCOMPARE(c.checks(), checks);
        QCOMPARE(c.panel(2), panel2);
        QCOMPARE(c.rig.serial->openCount, opens);
        // COMM USER never polls by itself.
        QVERIFY(c.sent().isEmpty());
        QVERIFY(!c.window.tmr_UPDATE.isEnabled());
        QCOMPARE(c.window.tmr_RCVTIMER.isEnabled(), opens == 1);
    }

    void invalidTypedPortKeepsTheOpenPort() {
        Console c;
        c.ports().mnu_comm2_Click();
        c.dialogs.inputs.push_back("COM");
        c.ports().mnu_userComm_Click();
        QVERIFY(c.rig.serial->isOpen());
        QCOMPARE(c.rig.serial->closeCount, 0);
        QCOMPARE(c.window.linkMode, QStringLiteral("comm2"));
        QCOMPARE(c.checks(), QStringLiteral("01000"));
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
    }

    void userCommWithADevicePathThroughAPseudoTerminal() {
        PtySupply pty;
        QVERIFY(pty.pty.ok());
        pty.supply.on("VSET;", "640;");
        Console c(true);
        c.dialogs.inputs.push_back(pty.pty.slavePath());
        c.ports().mnu_userComm_Click();
        QCOMPARE(c.dialogs.messages(), QStringList());
        QCOMPARE(c.panel(1), QStringLiteral("Comm Port Setting:  115200,n,8,1"));
        QCOMPARE(c.panel(2), QStringLiteral("Comm Port:  ") + pty.pty.slavePath());
        QCOMPARE(c.window.linkMode, QStringLiteral("comm1"));
        QCOMPARE(c.window.link.exchange("VSET;"), QByteArray::fromHex("023634303b6b0d0a"));
        QCOMPARE(pty.supply.frames.size(), 1);
        QCOMPARE(pty.supply.frames[0].bytes, QByteArray::fromHex("02565345543b430d0a"));
    }

    void openFailureGivesTheReason() {
        Console c(true);
        c.dialogs.inputs.push_back("/dev/ttyZOR404");
        c.ports().mnu_userComm_Click();
        QCOMPARE(c.dialogs.messages(), QStringList{"Invalid Comm Port!"});
        QCOMPARE(c.dialogs.shown.last().informative,
                 QStringLiteral("There is no serial port /dev/ttyZOR404 on this computer."));
        QCOMPARE(c.checks(), QStringLiteral("00100"));
        QVERIFY(!c.window.MSComm1().isOpen());
    }

    void portInUseGivesTheReason() {
        PtyPair pty;
        QtSerialPort holder;
        holder.setPortName(pty.slavePath());
        QVERIFY(holder.open());
        QtSerialPort second;
        second.setPortName(pty.slavePath());
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
        Console c;
        c.rig.serial->setSettings(QStringLiteral("9600,n,8,1"));
        c.usbPort = "5";
        QString offered;
        bool readOnly = false;
        QString docs;
        c.dialogs.onModal = [&](QDialog &d) {
            auto &usb = dynamic_cast<frm_USB &>(d);
            offered = usb.txt_USBPORT->text();
            readOnly = usb.rtf_USBDOCS->isReadOnly();
            docs = usb.rtf_USBDOCS->toPlainText();
            c.answer(d);
        };
        c.ports().mnu_USB_Click();
        QCOMPARE(c.modals(), QStringList{"USB Setup and Documentation"});
        QCOMPARE(offered, QStringLiteral("3"));
        QVERIFY(readOnly);
        QVERIFY(docs.startsWith(QStringLiteral("USB Interface Setup")));
        QCOMPARE(c.panel(1), QStringLiteral("USB Comms"));
        QCOMPARE(c.panel(2), QStringLiteral("Comm Port:  5"));
        QCOMPARE(c.window.linkMode, QStringLiteral("USB"));
        QCOMPARE(c.window.commPortText, QStringLiteral("5"));
        QCOMPARE(c.checks(), QStringLiteral("00001"));
        QCOMPARE(c.rig.serial->settings(), QStringLiteral("9600,n,8,1"));
        QCOMPARE(c.sent(),
                 (QList<QByteArray>{"STAT;", "FLT;", "HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"}));
        // DONE unloaded it: the next opening offers "3" again.
        c.ports().mnu_USB_Click();
        QCOMPARE(offered, QStringLiteral("3"));
    }

    void usbWithAnUnusableText_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("done");
        QTest::newRow("letters") << "x" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("closed before any DONE") << "4" << false;
    }
    void usbWithAnUnusableText() {
        QFETCH(QString, typed);
        QFETCH(bool, done);
        Console c;
        c.usbPort = typed;
        c.usbDone = done;
        c.ports().mnu_USB_Click();
        QCOMPARE(c.dialogs.messages(), QStringList{"Invalid Comm Port!"});
        QCOMPARE(c.panel(1), QStringLiteral("SET PORT!"));
        QCOMPARE(c.window.linkMode, QString());
        QCOMPARE(c.checks(), QStringLiteral("00000"));
        QCOMPARE(c.rig.serial->openCount, 0);
    }

    void remoteHostOkThenCancel() {
        Console c;
        c.rig.supply.ethernet = true;
        c.ports().mnu_ethernet_Click();
        QCOMPARE(c.panel(2), QStringLiteral("IP: 127.0.0.1"));
        QCOMPARE(c.window.tcpClient().remoteHost, QStringLiteral("127.0.0.1"));
        QCOMPARE(c.window.tcpClient().remotePort, 5025);
        c.host = "localhost";
        c.port = "6000";
        c.hostOk = false;
        c.ports().mnu_ethernet_Click();
        auto *dialog = c.window.forms.find<RemoteHost>();
        QVERIFY(dialog); // hidden, not unloaded
        QCOMPARE(dialog->txtHost->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(dialog->txtPortNumber->text(), QStringLiteral("5025"));
        QCOMPARE(c.window.tcpClient().remotePort, 5025);
        QCOMPARE(c.panel(2), QStringLiteral("IP: 127.0.0.1"));
        // Cancel still goes on with the earlier address.
        QCOMPARE(c.window.linkMode, QStringLiteral("ethernet"));
        QCOMPARE(c.modals(), (QStringList{"Remote Host", "Remote Host"}));
    }

    void remoteHostRefusesABadAddress_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("message");
        QTest::newRow("port 0") << "127.0.0.1"
                                << "0"
                                << "Invalid Port Number!";
        QTest::newRow("port 65536") << "127.0.0.1"
                                    << "65536"
                                    << "Invalid Port Number!";
        QTest::newRow("port in words") << "127.0.0.1"
                                       << "http"
                                       << "Invalid Port Number!";
        QTest::newRow("no host") << "  "
                                 << "5025"
                                 << "Invalid Host!";
    }
    void remoteHostRefusesABadAddress() {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, message);
        Console c;
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
        QCOMPARE(c.window.tcpClient().state(), TcpClientComponent::StateClosed);
        QCOMPARE(c.window.linkMode, QString());
        QCOMPARE(c.checks(), QStringLiteral("00000"));
        QCOMPARE(c.panel(1), QStringLiteral("SET PORT!"));
        QCOMPARE(c.panel(2), QStringLiteral("Comm Ch."));
    }

    void ethernetToALoopbackListener() {
        AnsweringServer peer;
        Console c(true);
        c.port = QString::number(peer.server.serverPort());
        QElapsedTimer clock;
        clock.start();
        c.ports().mnu_ethernet_Click();
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(c.window.tcpClient().state(), TcpClientComponent::StateConnected);
        QCOMPARE(c.panel(1), QStringLiteral("Ethernet Comms"));
        QCOMPARE(c.panel(2), QStringLiteral("IP: 127.0.0.1"));
        QCOMPARE(c.window.linkMode, QStringLiteral("ethernet"));
        QCOMPARE(c.checks(), QStringLiteral("00010"));
        QVERIFY(c.window.tmr_NETRCVTMR.isEnabled());
        QVERIFY(c.window.autoUpdate);
        QCOMPARE(peer.frames.mid(0, 7), (QList<QByteArray>{"\x02STAT;\x03",
                                                           "\x02"
                                                           "FLT;\x03",
                                                           "\x02HWVR;\x03", "\x02MODR;\x03",
                                                           "\x02"
                                                           "FREV;\x03",
                                                           "\x02SOFT;\x03", "\x02SNUR;\x03"}));
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
        Console c(true);
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
        QVERIFY(c.window.tcpClient().state() != TcpClientComponent::StateConnected);
        // The handler goes on without a message; the exchanges find no connection.
        QVERIFY(c.dialogs.messages().isEmpty());
        QCOMPARE(c.window.linkMode, QStringLiteral("ethernet"));
        QVERIFY(c.window.tmr_NETRCVTMR.isEnabled());
        QVERIFY(c.window.autoUpdate);
    }

    void choiceDuringTheConnectWaitTakesOver() {
        Console c;
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
        QCOMPARE(c.window.linkMode, QStringLiteral("comm1"));
        QCOMPARE(c.checks(), QStringLiteral("00100"));
        QVERIFY(!c.window.tmr_NETRCVTMR.isEnabled());
        QVERIFY(c.sent().isEmpty());
        QVERIFY(!c.window.autoUpdate);
    }
};

QTEST_MAIN(TestTransport)
#include "tst_transport.moc"
