#include "control/setpointpanel.h"
#include "monitor/identityframe.h"
#include "platform/qtserialport.h"
#include "ports/hostbaudratedialog.h"
#include "ports/remotehost.h"
#include "ports/transportselection.h"
#include "ports/usbportdialog.h"
#include "ptysupply.h"
#include "testconsole.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
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
    QString host = "127.0.0.1"; // typed into the network dialog
    QString port = "5025";
    QStringList baudOffers;

    explicit Ports(bool realPorts = false) : Console(false, realPorts) {
        answerAll(Identity + Payloads{"VMON;", "IMON;", "FMON;", "VSET;", "ISET;", "STAT;", "FLT;",
                                      "LVPS;", "TEMP;", "SLVR ;", "SLIR ;", "WDTT;"},
                  "1;");
        answer("STAT;", "0;");
        answer("SLVR ;", "1600;");
        answer("SLIR ;", "1000;");
        dialogs.onModal = [this](QDialog &d) { answerDialog(d); };
    }
    void answerDialog(QDialog &d) {
        if (auto *baud = qobject_cast<HostBaudRateDialog *>(&d)) {
            baudOffers << baud->Bitslist->itemText(0) + '|' + baud->Bitslist->itemText(1) + '@' +
                              baud->Bitslist->currentText();
            if (baudIndex < 0)
                return baud->reject();
            baud->Bitslist->setCurrentIndex(baudIndex);
            baud->ok->click();
        } else if (auto *usb = qobject_cast<UsbPortDialog *>(&d)) {
            usb->txt_USBPORT->setText(usbPort);
            usb->btn_DONE->click();
        } else if (auto *remote = qobject_cast<RemoteHost *>(&d)) {
            remote->txtHost->setText(host);
            remote->txtPortNumber->setText(port);
            remote->OKButton->click();
        }
    }
    TransportSelection &ports() { return *window.menus.transport; }
    // Check marks in menu order: COMM1, COMM2, COMM USER, Ethernet, USB.
    QString checks() const {
        QString marks;
        const MainMenu &m = window.menu;
        for (QAction *a : {m.mnu_comm1, m.mnu_comm2, m.mnu_userComm, m.mnu_ethernet, m.mnu_USB})
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
                                         {window.link.replyTimer().isEnabled(), 'R'},
                                         {window.link.statusTimer().isEnabled(), 'N'}})
            if (on)
                flags += letter;
        return QStringList{panel(1), panel(2), window.linkMode(), checks(), flags}.join('|');
    }
};

} // namespace

class TestTransport : public QObject {
    Q_OBJECT
private slots:
    // COMM2 reads the status before the identity, COMM1 does not, COMM USER (4)
    // neither polls nor watches the port by itself; a port that cannot be
    // opened, or a typed text that names none, leaves no transport at all: no
    // checks, panels, link mode, watchdog or poll for it.
    void portEntries_data() {
        columns<int, QString, bool, int, QString, QString, Payloads>(
            "entry", "typed", "openable", "baud", "informative", "state", "sent");
        const QString setting = "Comm Port Setting:  ", none = "SET PORT!|Comm Ch.||00000|";
        row("COMM1 at 115200", 1, "", true, 0, "",
            setting + "115200,n,8,1|Comm Port:  1|comm1|10000|AUR", Identity);
        row("COMM2 at 9600", 2, "", true, 1, "",
            setting + "9600,n,8,1|Comm Port:  2|comm2|01000|AUR", StatusThenIdentity);
        for (int entry : {1, 2, 3})
            row(qPrintable(QStringLiteral("entry %1 cannot open").arg(entry)), entry, "", false, 0,
                "", none, Payloads{});
        row("COMM USER port 3", 4, "3", true, 0, "",
            setting + "115200,n,8,1|Comm Port:  3|comm1|00100|R",
            Payloads{"SLVR ;", "SLIR ;"} + Identity);
        row("COMM USER missing port", 4, "7", false, 0, "", none, Payloads{});
        row("COMM USER not a number", 4, "abc", true, 0,
            "\"abc\" is neither a port number from 1 to 255 nor a serial device.", none,
            Payloads{});
        row("COMM USER cancelled", 4, "", true, 0, "No port number was given.", none, Payloads{});
    }
    void portEntries() {
        const auto [entry, typed, openable, baud, informative, state, sent] =
            fetch<int, QString, bool, int, QString, QString, Payloads>(
                "entry", "typed", "openable", "baud", "informative", "state", "sent");
        Ports c;
        c.baudIndex = baud;
        c.rig.serial->openable = openable;
        if (entry == 4)
            c.dialogs.inputs.push_back(typed);
        TransportSelection &p = c.ports();
        entry == 1   ? p.mnu_comm1_Click()
        : entry == 2 ? p.mnu_comm2_Click()
        : entry == 3 ? p.mnu_USB_Click()
                     : p.mnu_userComm_Click();
        QCOMPARE(c.shown("input"),
                 entry == 4 ? QStringList{"Enter your Comm Port Number"} : QStringList());
        QCOMPARE(c.state(), state);
        QCOMPARE(c.sent(), sent);
        const bool opened = c.rig.serial->isOpen();
        QCOMPARE(c.dialogs.messages(), opened ? QStringList() : QStringList{"Invalid Comm Port!"});
        if (!informative.isEmpty())
            QCOMPARE(c.dialogs.shown.last().informative, informative);
        QCOMPARE(c.rig.serial->openCount, opened ? 1 : 0);
        if (opened)
            QCOMPARE(c.rig.serial->portName(), entry == 4 ? typed : QString::number(entry));
        QCOMPARE(c.window.link.watchdog().isEnabled(), opened); // armed by the first exchange
    }

    // A port that will not open leaves the transport that was up in charge:
    // the network connection, or the open serial port.
    void failedOpenKeepsTheTransportThatWasUp() {
        for (bool network : {true, false}) {
            Ports c;
            c.rig.supply.ethernet = network;
            network ? c.ports().mnu_ethernet_Click() : c.ports().mnu_comm2_Click();
            QTRY_VERIFY(c.window.autoUpdate); // Ethernet goes on once connected
            c.settle();
            const QString before = c.state();
            c.rig.serial->openable = !network;
            if (!network)
                c.dialogs.inputs.push_back("COM");
            network ? c.ports().mnu_comm1_Click() : c.ports().mnu_userComm_Click();
            QCOMPARE(c.shown("message"), QStringList{"Invalid Comm Port!"});
            QCOMPARE(c.state(), before);
            QCOMPARE(c.rig.serial->isOpen(), !network);
            QCOMPARE(c.rig.serial->closeCount, 0);
        }
    }

    // A port change with the high voltage on asks first; switching off sends
    // the "off" on the port being left.
    void portChangeWithHighVoltageOn_data() {
        QTest::addColumn<int>("pick");
        QTest::addColumn<Payloads>("sent");
        QTest::addColumn<QString>("port");
        QTest::newRow("switch off and change") << 0 << Payloads{"ENBL 0;"} << "2";
        QTest::newRow("leave it on") << 1 << Payloads{} << "2";
        QTest::newRow("cancel") << 2 << Payloads{} << "1";
    }
    void portChangeWithHighVoltageOn() {
        QFETCH(int, pick);
        QFETCH(Payloads, sent);
        QFETCH(QString, port);
        Ports c;
        c.answer("ENBL 0;", "0;");
        c.connectSerial();
        c.window.state.setHvEnabled(true);
        c.dialogs.picks.push_back(pick);
        c.ports().mnu_comm2_Click();
        QCOMPARE(c.shown("ask"), QStringList{"The high voltage is on."});
        QTRY_COMPARE(c.rig.serial->portName(), port);
        QCOMPARE(c.sent().mid(0, sent.size()), sent);
    }

    // Another port is another unit: its scale, the counts CANCEL returns to,
    // the identity and the link sign start over, and PROGRAM waits for the
    // scale of the unit now connected (read at once in manual mode).
    void portChangeForgetsTheUnit_data() {
        QTest::addColumn<bool>("openable");
        QTest::addColumn<bool>("scaleKnown");
        QTest::newRow("new unit read") << true << true;
        QTest::newRow("fell back to none") << false << false;
    }
    void portChangeForgetsTheUnit() {
        QFETCH(bool, openable);
        QFETCH(bool, scaleKnown);
        Ports c;
        c.connectSerial();
        c.window.state.setKvPerBit(0.04);
        c.window.state.setIdentity(IdentityField::Model, "ZOR80");
        SetpointPanel &p = *c.window.panels.setpoints;
        p.dacAcceptedA = 512;
        c.window.btn_KVSET_Click();
        auto *sign = c.window.findChild<QLabel *>("lbl_LINKSTATE");
        QTRY_COMPARE(sign->text(), "LINK");
        c.rig.serial->openable = openable;
        c.dialogs.inputs.push_back("3");
        c.ports().mnu_userComm_Click();
        QCOMPARE(c.shown("message"), openable ? QStringList() : QStringList{"Invalid Comm Port!"});
        // The unit before is forgotten; the one now connected is read again.
        QVERIFY(!c.window.panels.identity->txt_MODNUM->text().contains("ZOR80"));
        QCOMPARE(p.dacAcceptedA, 0);
        QTRY_COMPARE(c.window.state.scaleKnown(), scaleKnown);
        QCOMPARE(c.window.state.kvPerBit() == convert::InitialKvPerBit, !openable);
        if (!openable) {
            QCOMPARE(sign->text(), "NO LINK");
            p.btn_ACCEPT_Click();
            QCOMPARE(c.shown("message").last(), "The full scale of the unit now connected has not "
                                                "been read yet. Nothing was sent.");
            QCOMPARE(c.sent(), Payloads{"VSET;"});
        }
    }

    // The baud dialog offers the rate that last opened a port; closing it keeps the setting.
    void comm1TwiceClosesAndReopens() {
        Ports c;
        c.baudIndex = 1;
        c.ports().mnu_comm1_Click();
        c.baudIndex = -1;
        c.window.menu.mnu_comm1->trigger();
        QCOMPARE(c.rig.serial->closeCount, 1);
        QCOMPARE(c.rig.serial->openCount, 2);
        QVERIFY(c.rig.serial->isOpen());
        QCOMPARE(c.baudOffers, (QStringList{"115200|9600@115200", "115200|9600@9600"}));
        QCOMPARE(c.panel(1), QStringLiteral("Comm Port Setting:  9600,n,8,1"));
        QCOMPARE(c.window.forms.find<HostBaudRateDialog>(), nullptr);
    }

    void openFailureGivesTheReason() {
        Ports c(true);
        c.dialogs.inputs.push_back("/dev/ttyZOR404");
        c.ports().mnu_userComm_Click();
        QCOMPARE(c.dialogs.messages(), QStringList{"Invalid Comm Port!"});
        QCOMPARE(c.dialogs.shown.last().informative,
                 QStringLiteral("There is no serial port /dev/ttyZOR404 on this computer."));
        QVERIFY(!c.window.link.transportOpen());

        PtyPair pty;
        QtSerialPort holder, second;
        holder.setPortName(pty.slavePath());
        second.setPortName(pty.slavePath());
        QVERIFY(holder.open());
        QVERIFY(!second.open());
        QCOMPARE(second.openFailureReason(),
                 pty.slavePath() + QStringLiteral(" is in use by another program."));
    }
};

QTEST_MAIN(TestTransport)
#include "tst_transport.moc"
