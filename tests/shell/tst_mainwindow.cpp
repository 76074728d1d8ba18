#include "control/localremote.h"
#include "control/setpointpanel.h"
#include "fakeports.h"
#include "monitor/identityframe.h"
#include "platform/toggleswitch.h"
#include "ptysupply.h"
#include "shell/frm_extras.h"
#include "shell/mainwindow.h"
#include "shell/statuspanels.h"
#include "testconsole.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace zor;
using namespace zor::test;

namespace {

const QList<QByteArray> PollCycle = {"VMON;", "IMON;", "FMON;", "VSET;",  "ISET;",  "STAT;",
                                     "FLT;",  "LVPS;", "TEMP;", "SLVR ;", "SLIR ;", "WDTT;"};
const QList<QByteArray> Identity = {"HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};

// A console on a scripted supply that answers every read at once.
struct Answering : Console {
    Answering() : Console(false) {
        answerAll(PollCycle + Identity, "1;");
        // A full-scale reply shorter than three digits ends the scaling read early.
        answer("SLVR ;", "8000;");
        answer("SLIR ;", "1400;");
        answer("99,0,", "99,$");
    }
};

// A window of the console with one handler that waits for a reply.
class WaitingForm : public Form {
public:
    WaitingForm(FormRegistry &registry, frm_SDIMAIN &main) : Form(registry), main_(main) {}
    void ask() {
        main_.command([this] {
            reply = main_.link.exchange("VSET;");
            reply.append('!'); // touches the window after the wait
        });
    }
    QByteArray reply;

private:
    frm_SDIMAIN &main_;
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void loadShowsPortPromptAndStartState() {
        Answering c;
        QCOMPARE(c.window.windowTitle(), QStringLiteral("ZOR80HR Interface"));
        QVERIFY(c.window.isVisible());
        QCOMPARE(c.loadMessages, QStringList{"        Please Select Port!          "});
        QVERIFY(c.window.linkMode.isEmpty());
        QVERIFY(!c.window.autoUpdate);
        QCOMPARE(c.window.state.kvPerBit(), 0.0);
        QCOMPARE(c.window.state.maPerBit(), 0.000341);
        QCOMPARE(c.window.identity->hwRevDefault, QStringLiteral("A01"));
        QVERIFY(c.window.state.arcArmed());
        QVERIFY(!c.window.btn_HVONOFF->value());
        for (Timer *t : {&c.window.tmr_UPDATE, &c.window.tmr_EXIT, &c.window.tmr_COMMWDT,
                         &c.window.tmr_RCVTIMER, &c.window.tmr_NETRCVTMR})
            QVERIFY(!t->isEnabled());
        QCOMPARE(c.window.tmr_UPDATE.interval(), 66);
        QCOMPARE(c.window.tmr_EXIT.interval(), 75);
        QCOMPARE(c.window.tmr_COMMWDT.interval(), 5000);
        QVERIFY(c.window.setpoints->btn_KVSET->isEnabled());
        QVERIFY(c.rig.supply.frames.isEmpty());
        for (const char *title :
             {"READBACKS", "AUXILIARY VOLTAGE", "SYSTEM STATUS", "SYSTEM INFORMATION",
              "SET DAC CHANNELS", "X-Ray Enable", "RESET FAULT", "ARC", "UPDATE DATA"})
            QVERIFY2(c.window.frame(QString::fromLatin1(title)), title);
        QCOMPARE(c.window.btn_UPDATEDATA->text(), QStringLiteral("UPDATE"));
        QCOMPARE(c.window.btn_UPDATEDATA->toolTip(), QStringLiteral("Update Analog Data Fields"));
    }

    void statusPanels_data() {
        QTest::addColumn<int>("panel");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        QTest::newRow("1") << 1 << "SET PORT!"
                           << "Comm Port Settings";
        QTest::newRow("2") << 2 << "Comm Ch."
                           << "Selected Comm Port";
        QTest::newRow("3") << 3 << "RX"
                           << "Data Received";
        QTest::newRow("4") << 4 << "TX"
                           << "Data Transmitted";
        QTest::newRow("5") << 5 << QString() << "Today's Date";
        QTest::newRow("6") << 6 << QString() << "The Time Right Now!!";
    }
    void statusPanels() {
        QFETCH(int, panel);
        QFETCH(QString, text);
        QFETCH(QString, tip);
        Answering c;
        if (!text.isNull())
            QCOMPARE(c.window.StatusBar1->panelText(panel), text);
        else
            QVERIFY(!c.window.StatusBar1->panelText(panel).isEmpty());
        QCOMPARE(c.window.StatusBar1->panelToolTip(panel), tip);
    }

    // The trace panels change on every exchange; they must not lay out (and
    // so repaint) the whole status bar each time, nor lose the frame's bytes.
    void tracePanelsStayPut() {
        Answering c;
        c.window.show();
        QCoreApplication::processEvents();
        StatusPanels &bar = *c.window.StatusBar1;
        struct Requests : QObject {
            int layouts = 0;
            bool eventFilter(QObject *, QEvent *e) override {
                layouts += e->type() == QEvent::LayoutRequest;
                return false;
            }
        } requests;
        bar.installEventFilter(&requests);
        const QSize before = bar.size();
        for (const char *reply : {"\x02"
                                  "1;}\r\n",
                                  "\x02"
                                  "100000001-A00001;t\r\n",
                                  ""}) {
            bar.setPanelText(3, "RX: " + QString::fromLatin1(reply));
            bar.setPanelText(4, "TX: " + QString::fromLatin1(reply));
            QCoreApplication::processEvents();
        }
        QCOMPARE(requests.layouts, 0);
        QCOMPARE(bar.size(), before);
        bar.setPanelText(3, QStringLiteral("RX: \x02"
                                           "2;}\r\n"));
        QCOMPARE(bar.panelText(3), "RX: \x02"
                                   "2;}\r\n");
    }

    void menuBar_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("entries"); // caption|enabled|visible|checked
        QTest::newRow("Ports") << "Ports"
                               << QStringList{"COMM1|1|1|0", "COMM2|1|1|0", "COMM USER|1|1|0",
                                              "Ethernet|0|1|0", "USB|0|1|0"};
        QTest::newRow("Controls") << "Controls"
                                  << QStringList{
                                         "View Unscaled Data|0|0|0", "System Information|0|0|0",
                                         "Set H/W Revision|0|0|0",   "Extras Window|0|0|0",
                                         "Toggle Passthrough|0|0|0", "|1|1|0",
                                         "Auto Update Mode|1|1|0",   "Manual Update Mode|1|1|0",
                                         "User Option Config|0|1|0", "Serial Number|1|1|0",
                                         "Factory Config|1|1|0",     "Reset Total Hours|0|1|0",
                                         "Set Unit BaudRate|1|1|0",  "Enable WatchDog Timer|1|1|0",
                                         "Cycle Test On|1|1|0",      "Start Tube Seasoning |1|1|0"};
        QTest::newRow("Help") << "Help" << QStringList{"About|1|1|0"};
        QTest::newRow("Exit") << "Exit" << QStringList{"Exit|1|1|0", "Shutdown and Exit|1|1|0"};
    }
    void menuBar() {
        QFETCH(QString, menu);
        QFETCH(QStringList, entries);
        Answering c;
        QMenu *found = nullptr;
        QStringList order;
        for (QAction *top : c.window.menuBar()->actions()) {
            order << top->text();
            if (top->text() == menu)
                found = top->menu();
        }
        QCOMPARE(order, (QStringList{"Ports", "Controls", "Help", "Exit"}));
        QVERIFY(found);
        QStringList actual;
        for (QAction *a : found->actions())
            actual << QStringLiteral("%1|%2|%3|%4")
                          .arg(a->text())
                          .arg(int(a->isEnabled()))
                          .arg(int(a->isVisible()))
                          .arg(int(a->isChecked()));
        QCOMPARE(actual, entries);
    }

    void autoUpdateReadsIdentityThenPollsInOrder() {
        Answering c;
        c.connectSerial();
        c.window.mnu_AUTOUPDATE_Click();
        QVERIFY(c.window.menu.mnu_AUTOUPDATE->isChecked());
        QVERIFY(!c.window.menu.mnu_MANUAL->isChecked());
        QVERIFY(!c.window.setpoints->btn_KVSET->isEnabled());
        QVERIFY(!c.window.btn_UPDATEDATA->isEnabled());
        QCOMPARE(c.sent(), Identity);
        QTRY_VERIFY_WITH_TIMEOUT(c.sent().size() >= Identity.size() + 2 * PollCycle.size(), 5000);
        QCOMPARE(c.sent().mid(Identity.size(), 2 * PollCycle.size()), PollCycle + PollCycle);
        // Each step comes one poll interval after the previous one finished.
        const auto &f = c.rig.supply.frames;
        const qint64 gap = f[Identity.size() + 3].atMs - f[Identity.size() + 2].atMs;
        QVERIFY2(gap >= 60 && gap < 320, qPrintable(QString::number(gap)));
    }

    void pollStepWraps() {
        Answering c;
        c.connectSerial();
        QList<int> steps;
        for (int i = 0; i < 8; ++i) {
            c.window.tmr_UPDATE_Timer();
            steps << c.window.ops.pollStep();
        }
        QCOMPARE(steps, (QList<int>{1, 2, 3, 4, 5, 6, 0, 1}));
    }

    void manualModeSendsNothingAndAutoReadsIdentityAgain() {
        Answering c;
        c.connectSerial();
        c.window.mnu_AUTOUPDATE_Click();
        QTRY_VERIFY(c.sent().size() > Identity.size() + 3);
        c.window.mnu_MANUAL_Click();
        QVERIFY(!c.window.autoUpdate);
        QVERIFY(c.window.menu.mnu_MANUAL->isChecked());
        QVERIFY(!c.window.menu.mnu_AUTOUPDATE->isChecked());
        QVERIFY(c.window.identity->btn_serialNum_rqst->isEnabled());
        const int before = c.sent().size();
        QTest::qWait(400);
        QCOMPARE(c.sent().size(), before);
        const int step = c.window.ops.pollStep();
        c.window.mnu_AUTOUPDATE_Click();
        QCOMPARE(c.sent().mid(before), Identity);
        QTRY_VERIFY(c.sent().size() > before + Identity.size());
        // The poll resumes at the step where it stopped.
        const QList<QByteArray> firstOfStep = {"VMON;", "VSET;",  "ISET;", "STAT;",
                                               "LVPS;", "SLVR ;", "WDTT;"};
        QCOMPARE(c.sent().at(before + Identity.size()), firstOfStep.at(step));
    }

    void updateDataReadsMonitorsAndAux() {
        Answering c;
        c.connectSerial();
        c.window.mnu_MANUAL_Click();
        QTest::mouseClick(c.window.btn_UPDATEDATA, Qt::LeftButton);
        QCOMPARE(c.sent(), (QList<QByteArray>{"VMON;", "IMON;", "FMON;", "LVPS;", "TEMP;"}));
    }

    void shutdownSequence_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("remoteAfter");
        QTest::newRow("acknowledged") << QByteArray("99,$") << false;
        QTest::newRow("no reply") << QByteArray() << true;
    }
    void shutdownSequence() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, remoteAfter);
        Answering c;
        c.connectSerial();
        if (answer.isEmpty())
            c.rig.supply.silentOn("99,0,");
        c.window.mnu_SHUTDOWN_Click();
        QCOMPARE(c.window.localRemote->btn_local_remote->value(), remoteAfter);
        QTRY_COMPARE(c.ends, 1);
        QCOMPARE(c.sent(),
                 (QList<QByteArray>{"ENBL 0;", "99,0,", "10,0,", "11,0,", "12,0,", "13,0,"}));
        QVERIFY(!c.window.link.MSComm1().isOpen());
        QVERIFY(!c.window.tmr_COMMWDT.isEnabled());
        const auto &f = c.rig.supply.frames;
        for (int i = 3; i < f.size(); ++i) {
            const qint64 gap = f[i].atMs - f[i - 1].atMs;
            QVERIFY2(gap >= 60 && gap < 330, qPrintable(QString::number(gap)));
        }
    }

    void shutdownReachesTheWireThroughPseudoTerminal() {
        PtySupply pty;
        for (const QByteArray &p : PollCycle + Identity)
            pty.supply.on(p, "1;");
        pty.supply.on("SLVR ;", "8000;");
        pty.supply.on("SLIR ;", "1400;");
        pty.supply.on("99,0,", "99,$");
        Console c(false, true);
        frm_SDIMAIN &window = c.window;
        window.link.MSComm1().setPortName(pty.pty.slavePath());
        window.link.MSComm1().setSettings(QStringLiteral("115200,n,8,1"));
        QVERIFY(window.link.MSComm1().open());
        window.linkMode = QStringLiteral("comm1");
        window.mnu_AUTOUPDATE_Click(); // the shutdown stops the poll
        QTest::qWait(200);
        window.mnu_SHUTDOWN_Click();
        QTRY_COMPARE(c.ends, 1);
        QVERIFY(!window.link.MSComm1().isOpen());
        QTRY_VERIFY(pty.supply.payloads().contains("13,0,"));
        QList<QByteArray> zeros;
        for (const auto &f : pty.supply.frames)
            if (f.payload.endsWith(",0,"))
                zeros << f.bytes;
        QCOMPARE(zeros, (QList<QByteArray>{QByteArray::fromHex("0239392c302c460d0a"),
                                           QByteArray::fromHex("0231302c302c570d0a"),
                                           QByteArray::fromHex("0231312c302c560d0a"),
                                           QByteArray::fromHex("0231322c302c550d0a"),
                                           QByteArray::fromHex("0231332c302c540d0a")}));
        QCOMPARE(pty.supply.payloads().last(), QByteArray("13,0,"));
    }

    void shutdownDuringAWaitNeverInterleaves() {
        Answering c;
        c.connectSerial();
        c.rig.supply.on("VSET;", "1;", 400);
        QTimer::singleShot(50, &c.window, [&] { c.window.mnu_SHUTDOWN_Click(); });
        c.window.btn_KVSET_Click();
        QTRY_COMPARE(c.ends, 1);
        QCOMPARE(c.sent(), (QList<QByteArray>{"VSET;", "ENBL 0;", "99,0,", "10,0,", "11,0,",
                                              "12,0,", "13,0,"}));
        const auto &f = c.rig.supply.frames;
        QVERIFY(f[1].atMs - f[0].atMs >= 390); // held until VSET had its reply
    }

    void exitSendsNothing() {
        Answering c;
        c.connectSerial();
        c.window.extras();
        c.window.mnu_EXIT_Click();
        QCOMPARE(c.ends, 1);
        QVERIFY(c.sent().isEmpty());
        QVERIFY(!c.window.link.MSComm1().isOpen());
        QVERIFY(c.window.setpoints->btn_KVSET->isEnabled());
    }

    void closingMainWindowUnloadsTheOthers() {
        Answering c;
        c.connectSerial();
        QPointer<frm_EXTRAS> extras = &c.window.extras();
        extras->show();
        c.window.close();
        QCOMPARE(c.ends, 1);
        QCOMPARE(c.window.forms.loadedCount(), 0);
        QTRY_VERIFY(extras.isNull());
        QVERIFY(!c.window.link.MSComm1().isOpen());
        QVERIFY(c.sent().isEmpty());
    }

    void clickDuringAWaitRunsAfterIt() {
        Answering c;
        c.connectSerial();
        c.window.mnu_MANUAL_Click();
        c.rig.supply.on("VSET;", "640;", 300);
        QTimer::singleShot(50, &c.window,
                           [&] { QTest::mouseClick(c.window.setpoints->btn_EMI, Qt::LeftButton); });
        c.window.btn_KVSET_Click();
        QTRY_COMPARE(c.sent().size(), 2);
        QCOMPARE(c.sent(), (QList<QByteArray>{"VSET;", "ISET;"}));
        QVERIFY(c.window.StatusBar1->panelText(3).startsWith(QStringLiteral("RX: \x02"
                                                                            "1;")));
    }

    void windowClosedWhileItsHandlerWaits() {
        Answering c;
        c.connectSerial();
        c.rig.supply.on("VSET;", "640;", 200);
        QPointer<WaitingForm> form = &c.window.forms.get<WaitingForm>(c.window);
        form->show();
        QTimer::singleShot(50, form, [&] { form->close(); });
        form->ask();
        QVERIFY(!form.isNull()); // still alive when its handler returned
        QVERIFY(form->reply.startsWith("\x02"
                                       "640;"));
        QTRY_VERIFY(form.isNull());
        QCOMPARE(c.window.forms.find<WaitingForm>(), nullptr);
    }

    void traceShowsFramesAndReplies() {
        Answering c;
        c.connectSerial();
        c.rig.supply.on("VSET;", "640;");
        c.window.btn_KVSET_Click();
        QCOMPARE(c.window.StatusBar1->panelText(4), QString::fromLatin1("TX: \x02VSET;C\r\n"));
        QVERIFY(c.window.StatusBar1->panelText(3).startsWith(QStringLiteral("RX: \x02"
                                                                            "640;")));
        QCOMPARE(c.window.extras().txt_MSCOMMBUFF->text(), QString());
    }

    void silentSupplyShowsEmptyRx() {
        Answering c;
        c.connectSerial();
        c.rig.supply.silentOn("VSET;");
        c.window.btn_KVSET_Click();
        QCOMPARE(c.window.StatusBar1->panelText(3), QStringLiteral("RX: "));
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
    }

    void tcpErrorNamesTheComponentsDescription() {
        Answering c;
        c.rig.tcp->accepts = false;
        c.window.link.tcpClient().connectToRemote();
        QTRY_COMPARE(c.dialogs.messages().size(), 1);
        QCOMPARE(c.dialogs.messages().last(),
                 QStringLiteral("TCP ErrorConnection is forcefully rejected"));
    }

    void commErrorsCountIntoExtras() {
        Answering c;
        c.window.state.countFailedReply();
        c.window.state.countFailedReply();
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 2"));
        QCOMPARE(c.window.extras().txt_LASTERROR->text(), QStringLiteral("Text1"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
