#include "app/startup.h"
#include "conditioning/seasoningpage.h"
#include "control/localremote.h"
#include "control/setpointpanel.h"
#include "datarows.h"
#include "diagnostics/commdiagnosticspage.h"
#include "diagnostics/diagnosticsmenu.h"
#include "diagnostics/rawdatapage.h"
#include "diagnostics/tracewindow.h"
#include "fakeports.h"
#include "link/linkhealth.h"
#include "link/rememberedlink.h"
#include "link/traffictrace.h"
#include "monitor/identityframe.h"
#include "platform/numedit.h"
#include "platform/toggleswitch.h"
#include "ports/hostbaudratedialog.h"
#include "scripteddialogs.h"
#include "shell/mainwindow.h"
#include "shell/statuspanels.h"
#include "simlauncher.h"
#include "testconsole.h"
#include "trend/recordsmenu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(zor::RememberedLink)

namespace {

const QByteArrayList PollCycle = {"VMON;", "IMON;", "FMON;", "VSET;",  "ISET;",  "STAT;",
                                  "FLT;",  "LVPS;", "TEMP;", "SLVR ;", "SLIR ;", "WDTT;"};
const QByteArrayList Identity = {"HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};
const QString Stx(QChar(0x02));
const auto CtrlShiftX = Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_X;

// Every read answered at once; a full-scale reply shorter than three digits
// would end the scaling read early.
void answerPoll(ScriptedSupply &supply) {
    for (const QByteArray &p : PollCycle + Identity)
        supply.on(p, p.startsWith("SL") ? "8000;" : "1;");
    supply.on("99,0,", "99,$");
}

QString consoleProgram() {
    return QFileInfo(qEnvironmentVariable("ZOR_SIM")).dir().filePath("zor-console");
}

// A console on COMM1 whose scripted supply answers every read at once.
struct Shell : Console {
    Shell() { answerPoll(rig.supply); }
};

// A window of the console with one handler that waits for a reply; what the
// handler saw is kept outside it, to be read once the window is gone.
struct Seen {
    QByteArray reply;
    bool alive = false; // the window, after the wait
};
class WaitingForm : public Form {
public:
    WaitingForm(MainWindow &main, Seen &seen) : main_(main), seen_(seen) {}
    void ask() {
        main_.command([this, &seen = seen_]() -> Task<> {
            QPointer<WaitingForm> self(this);
            seen.reply = co_await main_.link.exchange("VSET;");
            seen.alive = !self.isNull(); // so the handler may touch its window
        });
    }
    MainWindow &main_;
    Seen &seen_;
};

// Presses `key` on `target` once `payload` is waiting for its reply.
void pressWhileWaiting(Shell &c, const QByteArray &payload, QWidget *target, QKeyCombination key) {
    auto *poll = new QTimer(&c.window);
    QObject::connect(poll, &QTimer::timeout, [&c, payload, target, key, poll] {
        const QList<QByteArray> sent = c.rig.supply.payloads();
        if (c.window.link.busy() && sent.value(sent.size() - 1) == payload) {
            poll->stop();
            QTest::keyClick(target, key.key(), key.keyboardModifiers());
        }
    });
    poll->start(5);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    // The window opens asking for a port, sending nothing; then every menu entry
    // in order: caption, then enabled, visible and checked as 0 or 1.
    void loadAndMenuBar() {
        Shell c;
        QCOMPARE(c.window.windowTitle(), QStringLiteral("ZOR80HR Interface"));
        QCOMPARE(c.loadMessages, QStringList{"        Please Select Port!          "});
        QCOMPARE(c.window.StatusBar1->panelText(1), u"SET PORT!"_s);
        QVERIFY(c.rig.supply.frames.isEmpty() && !c.window.tmr_UPDATE.isEnabled());
        QStringList actual;
        for (QAction *top : c.window.menuBar()->actions()) {
            actual << '[' + top->text() + ']';
            for (QAction *a : top->menu()->actions())
                actual << a->text() + ' ' + QString::number(a->isEnabled()) +
                              QString::number(a->isVisible()) + QString::number(a->isChecked());
        }
        QCOMPARE(actual.join(';'),
                 "[Ports];COMM1 110;COMM2 110;COMM USER 110;Ethernet 010;Serial over TCP... "
                 "110;USB 010;[Controls];"
                 "View Unscaled Data 000;System Information 000;Set H/W Revision 000;"
                 "Extras Window 000;Toggle Passthrough 000; 110;Auto Update Mode 110;"
                 "Manual Update Mode 110;User Option Config 010;Serial Number 110;"
                 "Factory Config 110;Reset Total Hours 010;Set Unit BaudRate 110;"
                 "Enable WatchDog Timer 110;Cycle Test On 110;Start Tube Seasoning  110;Run "
                 "Reports... 110;Tube History... 110;"
                 "Traffic Trace 110; 110;X-Ray Off\tEsc, Ctrl+Shift+X 110; 110;Trend... 110;"
                 "Event Log... 110;Log to File... 110;Stop Logging 010;Telemetry... 110;"
                 "Audit Trail... 110;X-Ray Warning... 110;[Help];Operator Guide 110;About 110;"
                 u"[Exit];Exit 110;Shutdown and Exit 110"_s);
    }

    // Auto update reads the identity, then polls in order, each step one poll
    // interval after the previous one finished. Manual update stops the poll and
    // enables the read buttons; auto again reads the identity and resumes the
    // poll at the step where it stopped.
    void updateModes() {
        Shell c;
        c.window.mnu_AUTOUPDATE_Click();
        QVERIFY(c.window.menu.mnu_AUTOUPDATE->isChecked() &&
                !c.window.menu.mnu_MANUAL->isChecked());
        QVERIFY(!c.window.panels.setpoints->btn_KVSET->isEnabled());
        QVERIFY(!c.window.btn_UPDATEDATA->isEnabled());
        QCOMPARE(c.sent(), Identity);
        QTRY_VERIFY_WITH_TIMEOUT(c.sent().size() >= Identity.size() + 2 * PollCycle.size(), 5000);
        QCOMPARE(c.sent().mid(Identity.size(), 2 * PollCycle.size()), PollCycle + PollCycle);
        const auto &f = c.rig.supply.frames;
        const qint64 gap = f[Identity.size() + 3].atMs - f[Identity.size() + 2].atMs;
        QVERIFY2(gap >= 60 && gap < 200, qPrintable(QString::number(gap)));
        c.window.mnu_MANUAL_Click();
        QVERIFY(c.window.menu.mnu_MANUAL->isChecked() &&
                !c.window.menu.mnu_AUTOUPDATE->isChecked());
        QVERIFY(c.window.panels.identity->btn_serialNum_rqst->isEnabled());
        int before = c.sent().size();
        QTest::qWait(200);
        QCOMPARE(c.sent().size(), before);
        QTest::mouseClick(c.window.btn_UPDATEDATA, Qt::LeftButton);
        QCOMPARE(c.sent().mid(before),
                 (QByteArrayList{"VMON;", "IMON;", "FMON;", "LVPS;", "TEMP;"}));
        before = c.sent().size();
        const int step = c.window.ops.pollStep();
        c.window.mnu_AUTOUPDATE_Click();
        QCOMPARE(c.sent().mid(before), Identity);
        QTRY_VERIFY(c.sent().size() > before + Identity.size());
        const QByteArrayList firstOfStep = {"VMON;", "VSET;",  "ISET;", "STAT;",
                                            "LVPS;", "SLVR ;", "WDTT;"};
        QCOMPARE(c.sent().at(before + Identity.size()), firstOfStep.at(step));
    }

    // Exit and closing the window: a cycle test going is switched off first;
    // high voltage on with no run asks (off then end / end as it is / stay);
    // off, the console ends sending nothing. Closing unloads the other windows.
    void ending_data() {
        columns<bool, QString, int, QByteArrayList>("exit", "hv", "pick", "sent");
        const QByteArrayList off{"ENBL 0;"};
        for (bool exit : {true, false}) {
            const QByteArray how = exit ? "Exit, " : "closing, ";
            row((how + "cycle test").constData(), exit, u"cycle"_s, -1, off);
            row((how + "on, switch off").constData(), exit, u"on"_s, 0, off);
            row((how + "on, leave it on").constData(), exit, u"on"_s, 1, QByteArrayList());
            row((how + "on, cancel").constData(), exit, u"on"_s, 2, QByteArrayList());
            row((how + "off").constData(), exit, u"off"_s, -1, QByteArrayList());
        }
        // The port gone: the console cannot know, and says nothing was sent.
        row("Exit, port lost, exit anyway", true, u"lost"_s, 0, QByteArrayList());
        row("Exit, port lost, cancel", true, u"lost"_s, 1, QByteArrayList());
    }
    void ending() {
        auto [exit, hv, pick, sent] =
            fetch<bool, QString, int, QByteArrayList>("exit", "hv", "pick", "sent");
        Shell c;
        c.rig.supply.fallback = {";", 0, {}, 5, false, false};
        if (hv == "cycle") {
            c.dialogs.inputs = {"10", "30"};
            c.window.menu.menu_cycleHv->trigger();
            c.settle();
            c.rig.supply.frames.clear();
        }
        c.window.state.setHvEnabled(hv != "off");
        if (pick >= 0)
            c.dialogs.picks.push_back(pick);
        if (hv == "lost")
            c.rig.serial->close();
        QPointer<CommDiagnosticsPage> extras = &c.window.extras();
        extras->show();
        QPointer<RawDataPage> raw = &c.window.forms.get<RawDataPage>(c.window.state, c.window);
        raw->show();
        exit ? c.window.mnu_EXIT_Click() : (void)c.window.close();
        QCOMPARE(c.sent(), sent);
        QCOMPARE(c.shown("ask"),
                 pick < 0       ? QStringList()
                 : hv != "lost" ? QStringList{"The high voltage is on."}
                                : QStringList{"The supply does not answer: the high voltage may "
                                              "still be on. Nothing could be sent."});
        const bool ends = pick != (hv == "lost" ? 1 : 2);
        QCOMPARE(c.ends, int(ends));
        QCOMPARE(c.rig.serial->isOpen(), !ends && hv != "lost");
        // Exit's first step, whatever is answered then.
        if (exit)
            QVERIFY(!raw || !raw->isVisible());
        if (hv == "lost" && ends)
            QCOMPARE(c.window.records.events.entries().constLast().text,
                     u"Exit without a link: the high voltage may still be on"_s);
        QCOMPARE(c.window.panels.setpoints->btn_KVSET->isEnabled(), true);
        if (ends && !exit)
            QTRY_VERIFY(extras.isNull() && c.window.forms.loadedCount() == 0);
    }

    void windowClosedWhileItsHandlerWaits() {
        Shell c;
        c.rig.supply.on("VSET;", "640;", 200);
        Seen seen;
        QPointer<WaitingForm> form = &c.window.forms.get<WaitingForm>(c.window, seen);
        form->show();
        QTimer::singleShot(50, form, [&] { form->close(); });
        form->ask();
        QTRY_VERIFY(form.isNull());
        // Unloaded only once its handler was done with it.
        QVERIFY(seen.alive && seen.reply.startsWith("\x02"
                                                    "640;"));
        QCOMPARE(c.window.forms.find<WaitingForm>(), nullptr);
    }

    void commandLine_data() {
        columns<QString, QString>("arguments", "parsed"); // an error by its first words
        row("port number", u"--port 3 --auto-update"_s, u"0|3|||0|1|"_s);
        row("path and baud", u"--port /dev/ttyUSB0 --baud 9600"_s, u"0|/dev/ttyUSB0|9600||0|0|"_s);
        row("host", u"--host 10.0.0.5:5025 --auto-update"_s, u"0|||10.0.0.5|5025|1|"_s);
        row("IPv6 host", u"--host [::1]:502"_s, u"0|||::1|502|0|"_s);
        row("help", u"--help"_s, u"1||||0|0|"_s);
        row("data log", u"--log run.csv"_s, u"0||||0|0|run.csv"_s);
        row("unknown option", u"--speed 9"_s, u"Unknown option 'speed'."_s);
        row("missing value", u"--port"_s, u"Missing value after '--port'."_s);
        row("port out of range", u"--port 256"_s, u"--port 256: not a port number from 1 to 255"_s);
        row("port zero", u"--port 0"_s, u"--port 0: not a port number"_s);
        row("baud not offered", u"--port 1 --baud 4800"_s, u"--baud 4800: the rate must be"_s);
        row("host without port", u"--host 10.0.0.5"_s, u"--host 10.0.0.5: give the address and"_s);
        row("host port too big", u"--host h:65536"_s, u"--host h:65536: give the address and"_s);
        row("port and host", u"--port 1 --host h:1"_s, u"Give either --port or --host"_s);
        row("poll without link", u"--auto-update"_s, u"--auto-update needs --port or --host."_s);
        row("stray argument", u"COM1"_s, u"Unexpected argument: COM1"_s);
        row("last and a port", u"--last --port 1"_s, u"--last names its own link"_s);
        row("malformed broker", u"--mqtt mqtt//broker"_s, u"--mqtt: 'mqtt//broker' is not a"_s);
    }
    void commandLine() {
        auto [arguments, parsed] = fetch<QString, QString>("arguments", "parsed");
        const auto result = parseCommandLine(QStringList{"zor-console"} + arguments.split(' '));
        const auto *e = std::get_if<CommandLineError>(&result);
        const auto *l = std::get_if<CommandLine>(&result);
        QCOMPARE(e ? e->message.left(parsed.size())
                   : QStringList({QString::number(int(l->action)), l->port, l->baud, l->host,
                                  QString::number(l->tcpPort), QString::number(l->autoUpdate),
                                  l->logFile})
                         .join('|'),
                 parsed);
    }

    // --last opens what opened last and polls it; with nothing remembered the
    // console asks for a port as before.
    void lastLink_data() {
        columns<RememberedLink, QString>("remembered", "line");
        row("serial opened last", RememberedLink{"3", "9600", "10.0.0.5", 5025, false},
            u"3|9600||0|1"_s);
        row("network opened last", RememberedLink{"3", "9600", "10.0.0.5", 5025, true},
            u"||10.0.0.5|5025|1"_s);
        row("only an address, from before the order was kept",
            RememberedLink{"", "", "h", 7, false}, u"||h|7|1"_s);
        row("nothing remembered", RememberedLink{}, u"|||0|0"_s);
    }
    void lastLink() {
        auto [remembered, expected] = fetch<RememberedLink, QString>("remembered", "line");
        const auto parsed = parseCommandLine({"zor-console", "--last"});
        const CommandLine l = withLastLink(std::get<CommandLine>(parsed), remembered);
        QCOMPARE(QStringList({l.port, l.baud, l.host, QString::number(l.tcpPort),
                              QString::number(l.autoUpdate)})
                     .join('|'),
                 expected);
    }

    // Each window opens centred on the main window, the main window centred on
    // the screen, all wholly on it (ctest runs this on a screen away from
    // (0,0) too); logging and a long port path widen nothing. Tab goes from the
    // set-point editor to PROGRAM before any read-only field.
    void placementAndTabOrder() {
        Shell c;
        const QRect screen = c.window.screen()->availableGeometry();
        // Along one axis: centred on `over`, unless that would leave the screen,
        // then against its edge; longer than the screen, from its start.
        const auto axis = [](int lo, int len, int overMid, int screenLo, int screenLen) {
            if (len > screenLen)
                return lo == screenLo;
            const bool inside = lo >= screenLo && lo + len <= screenLo + screenLen;
            return inside && (std::abs(lo + len / 2 - overMid) <= 1 || lo == screenLo ||
                              lo + len == screenLo + screenLen);
        };
        const auto placed = [&](QWidget *w, QRect over) {
            const QRect r = w->frameGeometry();
            return axis(r.x(), r.width(), over.center().x(), screen.x(), screen.width()) &&
                   axis(r.y(), r.height(), over.center().y(), screen.y(), screen.height());
        };
        QVERIFY2(placed(&c.window, screen), qPrintable(QDebug::toString(c.window.frameGeometry())));
        const int width = c.window.width();
        QTemporaryDir dir;
        c.window.menus.records->logTo(dir.filePath("a-rather-long-log-name.csv"));
        static_cast<ShellActions &>(c.window).setStatusPanelText(
            2, "Comm Port:  /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_"
               "A50285BI-if00-port0");
        QCOMPARE(c.window.StatusBar1->panelToolTip(2).section('\n', 1),
                 u"Comm Port:  /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"_s);
        c.window.mnu_TRACE_Click();
        c.window.menus.records->mnu_TREND_Click();
        c.window.menus.records->mnu_EVENTLOG_Click();
        c.window.menus.diagnostics->mnu_RAWDATA_Click();
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w != &c.window && w->isVisible() && w->windowType() == Qt::Window)
                QVERIFY2(placed(w, c.window.frameGeometry()), qPrintable(w->objectName()));
        QCOMPARE(c.window.width(), width);

        c.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&c.window));
        const SetpointPanel &sp = *c.window.panels.setpoints;
        QWidget *start = QApplication::focusWidget();
        QList<QWidget *> order{start};
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget();
        } while (order.last() != start && order.size() < 100);
        const auto firstReadOnly = std::find_if(order.begin(), order.end(), [](QWidget *w) {
            const auto *edit = qobject_cast<QLineEdit *>(w);
            return edit && edit->isReadOnly();
        });
        const qsizetype editor = order.indexOf(static_cast<QWidget *>(sp.ctrl_SCALVAL));
        QVERIFY(editor >= 0);
        QCOMPARE(order.indexOf(sp.btn_ACCEPT), editor + 1);
        QVERIFY(editor + 1 < firstReadOnly - order.begin());
    }

    // The real console: a bad argument ends it before any window, without even a
    // display; told where the simulator is, it polls it with no box in the way.
    void realConsole() {
        QProcess bad;
        bad.setProcessEnvironment(QProcessEnvironment());
        bad.start(consoleProgram(), {"--port", "0"});
        QVERIFY(bad.waitForFinished(10000));
        QCOMPARE(bad.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(bad.readAllStandardError());
        QVERIFY2(err.startsWith("zor-console: --port 0: not a port") &&
                     err.contains("Usage: zor-console"),
                 qPrintable(err));
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyZOR"), log = dir.filePath("sim.log");
        tools::SimLauncher sim;
        QString error;
        QVERIFY2(sim.start({"--pty", link, "--log", log}, 1, &error), qPrintable(error));
        QProcess console;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path()); // remembered settings stay in the test
        console.setProcessEnvironment(env);
        console.start(consoleProgram(), {"--port", link, "--auto-update"});
        const auto payloads = [&log] {
            QByteArrayList out;
            for (const auto &entry : tools::readLog(log))
                out << entry.second;
            return out.join('|');
        };
        QTRY_VERIFY2_WITH_TIMEOUT(payloads().contains(PollCycle.join('|')),
                                  payloads().left(400).constData(), 30000);
        QVERIFY(payloads().contains(Identity.join('|')));
        console.kill();
        console.waitForFinished();
    }

    void startUp_data() {
        columns<QString, QString, QByteArrayList, bool>("arguments", "checked", "sent", "opens");
        row("COMM2 status first", u"--port 2 --baud 9600"_s, u"mnu_comm2"_s,
            QByteArrayList{"STAT;", "FLT;"} + Identity, true);
        row("port that does not open", u"--port /dev/ttyUSB9"_s, u"mnu_userComm"_s,
            QByteArrayList(), false);
    }
    void startUp() {
        auto [arguments, checked, sent, opens] =
            fetch<QString, QString, QByteArrayList, bool>("arguments", "checked", "sent", "opens");
        ScriptedDialogs dialogs;
        FakeRig rig;
        answerPoll(rig.supply);
        MainWindow window(rig.factory());
        rig.serial->openable = opens;
        startConsole(window, std::get<CommandLine>(parseCommandLine(QStringList{"zor-console"} +
                                                                    arguments.split(' '))));
        QTRY_VERIFY(rig.supply.payloads().size() >= sent.size());
        QCOMPARE(rig.supply.payloads().mid(0, sent.size()), sent);
        QCOMPARE(dialogs.messages(), opens ? QStringList() : QStringList{"Invalid Comm Port!"});
        QCOMPARE(window.findChild<QAction *>(checked)->isChecked(), opens); // else as before
        // Only a port that opened is remembered, and its rate is offered first next time.
        QCOMPARE(RememberedLink::load().port, opens ? arguments.section(' ', 1, 1) : QString());
        const bool slow = arguments.contains("9600");
        QCOMPARE(window.forms.get<HostBaudRateDialog>(window.link, window).Bitslist->currentText(),
                 slow ? u"9600"_s : u"115200"_s);
    }

    // "ENBL 0;" is the next frame on the wire, whatever the switch shows.
    void xrayOffKey_data() {
        columns<QString>("during");
        row("poll exchange waits (Esc)", u"poll"_s);
        row("box open", u"box"_s);
        row("seasoning run", u"season"_s);
    }
    void xrayOffKey() {
        QFETCH(QString, during);
        Shell c;
        c.rig.supply.fallback = {";", 0, {}, 5, false, false};
        const QByteArray waiting = during == "poll" ? "IMON;" : during == "season" ? "IREF 0;" : "";
        c.rig.supply.on(waiting, ";", 300);
        QPointer<SeasoningPage> table;
        if (during == "poll") {
            c.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&c.window));
            pressWhileWaiting(c, waiting, &c.window, Qt::Key_Escape);
            c.window.mnu_AUTOUPDATE_Click();
        } else if (during == "box") {
            c.dialogs.onModal = [](QDialog &d) {
                QTest::keyClick(&d, Qt::Key_X, CtrlShiftX.keyboardModifiers());
                static_cast<HostBaudRateDialog &>(d).ok_Click();
            };
            c.window.menu.mnu_comm1->trigger();
        } else {
            c.window.state.setKvPerBit(100.0 / 4095); // the default schedule fits: no warning
            c.window.state.setMaPerBit(2.0 / 4095);
            table = &c.window.forms.get<SeasoningPage>(c.window.context(), c.window);
            pressWhileWaiting(c, waiting, table, CtrlShiftX);
            table->Command1_Click();
        }
        QTRY_VERIFY(c.sent().contains("ENBL 0;"));
        if (during == "season") // it would switch the voltage on again
            QTRY_VERIFY(!table || !table->running());
        const QByteArrayList sent = c.sent();
        QCOMPARE(sent.value(waiting.isEmpty() ? 0 : sent.indexOf(waiting) + 1), "ENBL 0;");
        QVERIFY(!c.window.btn_HVONOFF->value());
        QCOMPARE(sent.indexOf("ENBL 1;", sent.indexOf("ENBL 0;")), -1);
    }

    // The indicator follows the supply within one poll cycle.
    void linkStateFollowsTheSupply() {
        Shell c;
        QDateTime now(QDate(2026, 1, 2), QTime(3, 4, 5));
        const QDateTime first = now;
        LinkHealth health(c.window.link, [&now] { return now; });
        auto *sign = c.window.statusBar()->findChild<QLabel *>("lbl_LINKSTATE");
        const auto shows = [sign] {
            return sign->palette().color(QPalette::Window).name() + ' ' + sign->toolTip();
        };
        QCOMPARE(shows(), u"#a0a0a0 No link\nLast good reply: none yet"_s);
        c.window.mnu_AUTOUPDATE_Click();
        c.settle(); // every reply of the identity read is in before the clock moves
        QCOMPARE(health.state(), LinkHealth::State::Answering);
        QVERIFY(shows().startsWith("#00c000 Supply answering\nLast good reply: 20"));
        now = now.addSecs(60);
        for (const QByteArray &p : PollCycle)
            c.rig.supply.silentOn(p);
        QTRY_COMPARE_WITH_TIMEOUT(health.state(), LinkHealth::State::Failing, 2500);
        QVERIFY(shows().startsWith("#ff0000 Replies failing"));
        QCOMPARE(health.lastGoodReply(), first);
        answerPoll(c.rig.supply);
        QTRY_COMPARE_WITH_TIMEOUT(health.state(), LinkHealth::State::Answering, 2500);
        QCOMPARE(health.lastGoodReply(), now);
        // The port itself gone is no calmer than a silent supply; the big
        // switch is greyed as the lamps are.
        c.window.state.setHvEnabled(true);
        c.rig.serial->close();
        QTRY_COMPARE_WITH_TIMEOUT(health.state(), LinkHealth::State::PortLost, 2500);
        QVERIFY(shows().startsWith("#ff0000 Port lost"));
        QCOMPARE(sign->text(), u"PORT LOST"_s);
        QVERIFY(c.window.btn_HVONOFF->graphicsEffect());
    }

    // A supply silent at the start is read again once it answers: its scale
    // and identity become known. A read it never answers (the serial number
    // here) is not asked again at every answer.
    void silentAtStartReadOnceItAnswers() {
        Console c(false);
        c.window.link.open(LinkTarget::serial(u"1"_s));
        c.window.ops.readScaling();
        c.window.ops.readIdentity(IdentityField::Model);
        c.window.ops.readIdentity(IdentityField::SerialNumber);
        c.settle();
        answerPoll(c.rig.supply);
        c.rig.supply.silentOn("SNUR;");
        for (int i = 0; i < 2; ++i) {
            c.window.ops.readMonitors();
            c.settle();
        }
        QCOMPARE(c.rig.supply.payloads().count("SNUR;"), 2);
        QCOMPARE(c.window.state.identity(IdentityField::Model), u"1"_s);
        QVERIFY(c.window.state.scaleKnown());
    }

    // The trace panels show a first text at once, then at most one per
    // interval, and always end on the latest; panelText() is the latest at once.
    void tracePanelsShowTheLatest() {
        StatusPanels bar;
        bar.repaintIntervalMs = 60;
        bar.setPanelText(3, u"RX: 1"_s);
        bar.setPanelText(4, QString::fromLatin1("TX: \x02VMON;E\r\n"));
        bar.setPanelText(3, u"RX: 2"_s);
        bar.setPanelText(3, u"RX: 3"_s);
        bar.setPanelText(1, u"USB Comms"_s);
        QCOMPARE(bar.panelText(3), u"RX: 3"_s);
        QCOMPARE(bar.panelShown(3), u"RX: 1"_s);
        QCOMPARE(bar.panelShown(1), u"USB Comms"_s);
        QTRY_COMPARE(bar.panelShown(3), u"RX: 3"_s);
        QCOMPARE(bar.panelShown(4), u"TX: VMON;E"_s);
    }

    // The status bar shows the last frame sent and the reply (empty when none
    // came); the trace keeps the last rows.
    void trace() {
        Shell c;
        c.rig.supply.silentOn("VSET;");
        c.window.btn_KVSET_Click();
        QTRY_COMPARE(c.window.StatusBar1->panelText(3), u"RX: "_s); // after the time-out
        QVERIFY(c.window.link.replyTimer().isEnabled());
        QCOMPARE(c.window.extras().txt_MSCOMMBUFF->text(), QString());
        TrafficTrace &trace = *c.window.trace;
        for (int i = 0; i < TrafficTrace::MaxRows + 5; ++i)
            emit c.window.link.exchanged(QByteArray::number(i), "\x02;\r\n", 3,
                                         ExchangeOutcome::Ok);
        c.rig.supply.rawOn("VSET;", "640;\r\n");
        c.window.btn_KVSET_Click();
        c.settle();
        QCOMPARE(c.window.StatusBar1->panelText(4), QString::fromLatin1("TX: \x02VSET;C\r\n"));
        QCOMPARE(c.window.StatusBar1->panelText(3), u"RX: 640;\r\n"_s);
        const QByteArray late = Stx.toLatin1() + "1;}\r\n";
        emit c.window.link.lateReplyDiscarded(late);
        QCOMPARE(trace.rowCount(), TrafficTrace::MaxRows);
        const auto cells = [&trace](int row, QList<int> columns = {1, 2, 4}) {
            QStringList out;
            for (int column : columns)
                out << trace.index(row, column).data().toString();
            return out.join('\t');
        };
        QCOMPARE(cells(0), u"7\t<STX>;<CR><LF>\tok"_s);
        QCOMPARE(cells(1998), u"VSET;\t640;<CR><LF>\tgarbled"_s);
        QCOMPARE(cells(1999), u"\t<STX>1;}<CR><LF>\tlate discarded"_s);
        // The window filters by payload; copying takes the rows it shows.
        c.window.mnu_TRACE_Click();
        auto *window = c.window.forms.find<TraceWindow>();
        // Every column but the stretching last one fits what the view shows.
        const QAbstractItemView *view = window->lst_TRACE;
        for (int column = 0; column + 1 < TrafficTrace::ColumnCount; ++column)
            QVERIFY(window->lst_TRACE->columnWidth(column) >= view->sizeHintForColumn(column));
        window->txt_FILTER->setText("VSET");
        QCOMPARE(window->lst_TRACE->model()->rowCount(), 1);
        window->btn_COPY_Click();
        QCOMPARE(QApplication::clipboard()->text(), cells(1998, {0, 1, 2, 3, 4}) + '\n');
    }

    // A row keeps its frame's few bytes, not the receive buffer they were read
    // into: a full trace of replies from 64 KiB reads stays small.
    void traceKeepsFramesOnly() {
#ifndef __GLIBC__
        QSKIP("needs glibc's heap figures");
#else
        Shell c;
        const auto heap = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
        const size_t before = heap();
        for (int i = 0; i < TrafficTrace::MaxRows; ++i) {
            QByteArray buffer;
            buffer.reserve(64 * 1024);
            buffer.append("\x02"
                          "640;\r\n");
            if (i % 2)
                emit c.window.link.exchanged("VSET;", buffer, 3, ExchangeOutcome::Ok);
            else
                emit c.window.link.lateReplyDiscarded(buffer);
        }
        QCOMPARE(c.window.trace->rowCount(), TrafficTrace::MaxRows);
        QCOMPARE_LE(heap() - before, size_t(2) << 20);
#endif
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
