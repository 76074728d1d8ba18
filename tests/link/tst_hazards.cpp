// Operator safety under load: a late or silent supply, a box left open, a
// click during a wait. Each row names the supply's behaviour and what was done,
// and checks what reached the wire (order and spacing) and what the windows show.
#include "conditioning/conditioningmenu.h"
#include "conditioning/cycletest.h"
#include "control/localremote.h"
#include "control/setpointpanel.h"
#include "factory/unitbaudratedialog.h"
#include "monitor/identityframe.h"
#include "monitor/statusframe.h"
#include "platform/numedit.h"
#include "platform/toggleswitch.h"
#include "runs/seasoningengine.h"
#include "runs/seasoningsteps.h"
#include "testconsole.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>

using namespace zor;
using namespace zor::test;

namespace {

using Payloads = QList<QByteArray>;
const double Kv80 = 80.0 / 4095;

void after(Console &c, int ms, std::function<void()> fn) {
    QTimer::singleShot(ms, &c.window, std::move(fn));
}

void startPoll(Console &c) {
    c.window.autoUpdate = true;
    c.window.tmr_UPDATE.setEnabled(true);
}

void stopPoll(Console &c) {
    c.window.autoUpdate = false;
    c.window.tmr_UPDATE.setEnabled(false);
}

qint64 gap(const Console &c, int from, int to) {
    const auto &f = c.rig.supply.frames;
    return f.value(to).atMs - f.value(from).atMs;
}

// Runs `fn` once `n` frames have reached the wire.
void whenSent(Console &c, int n, std::function<void()> fn) {
    auto *poll = new QTimer(&c.window);
    QObject::connect(poll, &QTimer::timeout, [&c, n, fn, poll] {
        if (c.rig.supply.frames.size() >= n) {
            poll->deleteLater();
            poll->stop();
            fn();
        }
    });
    poll->start(2);
}

void xrayOff(Console &c) {
    c.window.menu.mnu_XRAYOFF->trigger();
}

QString lamp(Console &c) {
    return c.window.panels.statusFrame->lbl_HVSTAT->text();
}

// The first `n` payloads that reached the wire, once the poll has stopped.
QList<QByteArray> firstSent(Console &c, int n) {
    stopPoll(c);
    c.settle();
    const QList<QByteArray> all = c.rig.supply.payloads();
    c.rig.supply.frames = c.rig.supply.frames.mid(0, n);
    return all;
}

void onNetwork(Console &c) {
    c.connectNetwork();
}

// Acts, then returns what the windows show (and spacing facts), joined with "|".
struct Hazard {
    const char *name;
    Payloads wire;
    QString expected;
    std::function<QString(Console &)> run;
};

const Hazard Hazards[] = {
    // Served by the box's own loop: the off follows VSET's reply, not the box,
    // and the poll reads status meanwhile.
    {"polling, VSET late 700 ms; COMM USER box left open 2 s, X-ray off pressed in it",
     {"VSET;", "ENBL 0;"},
     "1|Invalid Comm Port!",
     [](Console &c) {
         c.window.state.setHvEnabled(true);
         c.window.state.setXrayOn(true);
         c.rig.supply.fallback = {"1;", 0, {}, 5, false, false};
         c.answer("VSET;", "640;", 700);
         c.answer("ENBL 0;", ";");
         c.dialogs.readingMs = 2000;
         c.dialogs.picks = {1}; // leave it on: the off comes from the key
         c.dialogs.inputs = {""};
         bool offWhileOpen = false;
         after(c, 50, [&c] { c.window.menu.mnu_userComm->trigger(); });
         after(c, 300, [&c] { xrayOff(c); });
         after(c, 1900, [&] {
             const auto sent = c.rig.supply.payloads();
             offWhileOpen = sent.mid(0, 2) == QList<QByteArray>{"VSET;", "ENBL 0;"} &&
                            sent.count("STAT;") >= 1;
             c.dialogs.readingMs = 0;
         });
         c.window.btn_KVSET_Click();
         startPoll(c);
         QTest::qWait(2200);
         firstSent(c, 2);
         return QStringLiteral("%1|%2")
             .arg(offWhileOpen && gap(c, 0, 1) < 900)
             .arg(c.shown("message").join('|'));
     }},
    // The off must not wait for the rest of the poll step: IMON and FMON are
    // still to come when it is pressed.
    {"polling; VMON late 300 ms, X-ray off during it",
     {"VMON;", "ENBL 0;", "IMON;", "FMON;"},
     "X-RAY OFF",
     [](Console &c) {
         c.rig.supply.fallback = {"1;", 0, {}, 5, false, false};
         c.answer("VMON;", "1;", 300);
         c.answer("ENBL 0;", ";");
         c.window.state.setXrayOn(true);
         startPoll(c);
         after(c, 150, [&c] { xrayOff(c); });
         QTest::qWait(500);
         firstSent(c, 4);
         return lamp(c);
     }},
    {"VSET late 1300 ms; CANCEL draining it, X-ray off pressed during the drain",
     {"VSET;", "ENBL 0;", "10,100"},
     "1|1",
     [](Console &c) {
         c.window.panels.setpoints->dacAcceptedA = 100;
         c.answer("VSET;", "640;", 1300);
         c.answer("ENBL 0;", ";");
         after(c, 1050, [&c] { c.window.panels.setpoints->btn_CANCEL->click(); });
         after(c, 1150, [&c] { xrayOff(c); });
         c.window.btn_KVSET_Click();
         QTest::qWait(1200);
         c.settle();
         return QStringLiteral("%1|%2").arg(gap(c, 0, 1) < 1290).arg(gap(c, 1, 2) >= 100);
     }},
    {"network, HV on; FLT answered late with a 0 at the fifth place",
     {"STAT;", "FLT;"},
     "1|X-RAY ON",
     [](Console &c) {
         onNetwork(c);
         c.window.state.setHvEnabled(true);
         c.answer("STAT;", "1;");
         c.answer("FLT;", "1111011110;", 1300);
         c.window.btn_REQSTAT_Click();
         QTest::qWait(600);
         c.settle();
         return QStringLiteral("%1|%2").arg(c.window.btn_HVONOFF->value()).arg(lamp(c));
     }},
    {"CANCEL's revert answered 300 ms late; status read right after",
     {"10,100", "STAT;", "FLT;"},
     "X-RAY OFF",
     [](Console &c) {
         c.window.panels.setpoints->dacAcceptedA = 100;
         c.window.state.setXrayOn(true);
         c.rig.supply.on("10,100", "10,$", 300);
         c.answer("STAT;", "0;");
         c.answer("FLT;", "111111111;");
         c.window.panels.setpoints->btn_CANCEL->click();
         c.window.btn_REQSTAT_Click();
         c.settle();
         return lamp(c);
     }},
    {"99,0, late 300 ms; X-ray off pressed during Shutdown's hand-back",
     {"ENBL 0;", "99,0,", "10,0,", "11,0,", "12,0,", "13,0,"},
     "1",
     [](Console &c) {
         c.answer("99,0,", "99,$", 300);
         after(c, 100, [&c] { xrayOff(c); });
         c.window.mnu_SHUTDOWN_Click();
         (void)QTest::qWaitFor([&c] { return c.ends == 1; }, 3000);
         return QString::number(c.ends);
     }},
    // The off key pressed while a prompt is open cancels the start.
    {"cycle test prompts: X-ray off pressed in the ON time box",
     {"ENBL 0;"},
     "X-ray off was pressed: the cycle test was not started.|Cycle Test On",
     [](Console &c) {
         c.rig.supply.fallback = {";", 0, {}, 5, false, false};
         c.dialogs.inputs = {"1", "2"};
         c.dialogs.readingMs = 300;
         after(c, 100, [&c] { xrayOff(c); });
         c.window.menu.menu_cycleHv->trigger();
         c.dialogs.readingMs = 0;
         c.settle();
         return c.shown("message").join('|') + '|' + c.window.menu.menu_cycleHv->text();
     }},
    // The on phase falls due while the off phase waits for its reply.
    {"cycle test ticking, off phase late 300 ms: X-ray off during it, then no more on",
     {"ENBL 1;", "ENBL 0;", "ENBL 0;", "ENBL 0;"},
     "0|0",
     [](Console &c) {
         c.rig.supply.fallback = {";", 0, {}, 5, false, false};
         c.answer("ENBL 0;", ";", 300);
         c.window.CycleTimer.setInterval(50);
         c.dialogs.inputs = {"1", "2"};
         c.window.menu.menu_cycleHv->trigger();
         whenSent(c, 2, [&c] { xrayOff(c); });
         QTest::qWait(900);
         return QStringLiteral("%1|%2")
             .arg(c.window.menus.conditioning->cycleTest->cycleRunning)
             .arg(c.window.CycleTimer.isEnabled());
     }},
    {"HV on; cycle test started, X-ray off during its first off",
     {"ENBL 0;", "ENBL 0;", "ENBL 0;"},
     "0|0",
     [](Console &c) {
         c.rig.supply.fallback = {";", 0, {}, 5, false, false};
         c.answer("ENBL 0;", ";", 300);
         c.window.state.setHvEnabled(true);
         c.dialogs.inputs = {"1", "5"};
         c.window.menu.menu_cycleHv->trigger();
         whenSent(c, 1, [&c] { xrayOff(c); });
         QTest::qWait(1200);
         return QStringLiteral("%1|%2")
             .arg(c.window.menus.conditioning->cycleTest->cycleRunning)
             .arg(c.window.CycleTimer.isEnabled());
     }},
    {"VSET late 300 ms; PROGRAM at 10 kV, then 20 kV typed before it ran",
     {"VSET;", "VREF 512;"},
     "512|10.002 kV",
     [](Console &c) {
         c.window.state.setKvPerBit(Kv80);
         c.answer("VSET;", "640;", 300);
         c.answer("VREF 512;", ";");
         SetpointPanel &p = *c.window.panels.setpoints;
         after(c, 50, [&p] {
             p.ctrl_SCALVAL->enterText(QStringLiteral("10"));
             p.btn_ACCEPT->click();
         });
         after(c, 100, [&p] { p.ctrl_SCALVAL->enterText(QStringLiteral("20")); });
         c.window.btn_KVSET_Click();
         c.settle();
         return QStringLiteral("%1|%2").arg(p.dacAcceptedA).arg(p.txt_DACA->text());
     }},
    {"acknowledging supply; Shutdown during a cycle test",
     {"ENBL 0;", "99,0,", "10,0,", "11,0,", "12,0,", "13,0,"},
     "1|0|0",
     [](Console &c) {
         c.rig.supply.fallback = {";", 0, {}, 5, false, false};
         c.answer("99,0,", "99,$");
         c.window.CycleTimer.setInterval(20);
         c.dialogs.inputs = {"1", "2"};
         c.window.menu.menu_cycleHv->trigger();
         QTest::qWait(50);
         c.rig.supply.frames.clear();
         c.window.mnu_SHUTDOWN_Click();
         (void)QTest::qWaitFor([&c] { return c.ends == 1; });
         QTest::qWait(100);
         return QStringLiteral("%1|%2|%3")
             .arg(c.ends)
             .arg(c.window.menus.conditioning->cycleTest->cycleRunning)
             .arg(c.window.panels.localRemote->btn_local_remote->value());
     }},
    {"silent supply, polling; Shutdown 300 ms into a poll step",
     {"VMON;", "ENBL 0;", "99,0,", "10,0,", "11,0,", "12,0,", "13,0,"},
     "1|1|1|1|0|0",
     [](Console &c) {
         startPoll(c);
         qint64 clicked = 0;
         QElapsedTimer clock;
         clock.start();
         after(c, 366, [&] {
             clicked = clock.elapsed();
             c.window.mnu_SHUTDOWN_Click();
         });
         (void)QTest::qWaitFor([&c] { return c.ends == 1; }, 5000);
         // Ended soon after the click, the port closed; the switch-off waits for
         // the poll step's wait, the zeroing goes out 75 ms apart after the
         // hand-back's wait.
         return QStringLiteral("%1|%2|%3|%4|%5|%6")
             .arg(c.ends == 1 && clock.elapsed() - clicked < 2500)
             .arg(gap(c, 0, 1) >= 990)
             .arg(gap(c, 2, 3) >= 1000)
             .arg(gap(c, 3, 4) >= 60 && gap(c, 4, 5) >= 60 && gap(c, 5, 6) >= 60)
             .arg(c.rig.serial->isOpen() || c.window.link.watchdog().isEnabled())
             .arg(c.window.tmr_UPDATE.isEnabled());
     }},
    {"VSET late 300 ms while polling; unit baud rate saved during the wait",
     {"VSET;", "BAUD 1;"},
     "0",
     [](Console &c) {
         startPoll(c);
         c.window.tmr_UPDATE.setEnabled(false);
         c.answer("VSET;", "640;", 300);
         c.answer("BAUD 1;", ";");
         c.dialogs.inputs.push_back(QStringLiteral("")); // no reason given
         after(c, 50, [&c] { c.window.forms.get<UnitBaudRateDialog>(c.window.ops).save_Click(); });
         c.window.btn_KVSET_Click();
         QTest::qWait(300);
         return QString::number(c.window.tmr_UPDATE.isEnabled());
     }},
    {"VSET late by 1300 ms, ISET prompt",
     {"VSET;", "ISET;"},
     "1|Channel A|0.100 mA|1",
     [](Console &c) {
         c.window.state.setMaPerBit(0.000341);
         c.answer("VSET;", "4095;", 1300);
         c.answer("ISET;", "293;");
         QSignalSpy late(&c.window.link, &DeviceLink::lateReplyDiscarded);
         c.window.btn_KVSET_Click();
         c.window.panels.setpoints->btn_EMI_Click();
         c.settle();
         return QStringLiteral("%1|%2|%3|%4")
             .arg(late.count() == 1 && late[0][0].toByteArray().startsWith(stx("4095;")))
             .arg(c.window.panels.setpoints->txt_DACA->text(),
                  c.window.panels.setpoints->txt_DACB->text())
             .arg(gap(c, 0, 1) >= 1290);
     }},
    {"99,0, answered first by a stray write acknowledgement",
     {"99,0,"},
     "0",
     [](Console &c) {
         c.rig.supply.rawOn("99,0,", stx(";C\r\n") + stx("99,$C\r\n"), 10);
         c.window.panels.localRemote->btn_local_remote->setValue(true);
         c.window.panels.localRemote->btn_local_remote_Click();
         c.settle();
         return QString::number(c.window.panels.localRemote->btn_local_remote->value());
     }},
    // The key pressed while a reply is awaited: the off follows that reply at
    // once, not the end of the command or the next tick.
    {"manual; VREF answered 300 ms late, X-ray off pressed at 100 ms",
     {"VREF 512;", "ENBL 0;"},
     "1",
     [](Console &c) {
         c.answer("VREF 512;", ";", 300);
         c.answer("ENBL 0;", ";");
         after(c, 100, [&c] { xrayOff(c); });
         c.window.ops.program(Channel::Kv, 512);
         c.settle();
         return QString::number(gap(c, 0, 1) >= 300 && gap(c, 0, 1) <= 325);
     }},
    {"CANCEL's revert answered 150 ms late; the monitors read at once, VMON 200 ms late",
     {"10,100", "VMON;", "IMON;", "FMON;"},
     "100",
     [](Console &c) {
         c.window.panels.setpoints->dacAcceptedA = 100;
         c.rig.supply.fallback = {"1;", 0, {}, 5, false, false};
         c.rig.supply.on("10,100", "555;", 150);
         c.answer("VMON;", "100;", 200);
         c.window.panels.setpoints->btn_CANCEL->click();
         c.window.ops.readMonitors();
         c.settle();
         return QString::fromLatin1(c.window.state.reading(Quantity::KvMonitor).text);
     }},
    {"manual, VSET late 700 ms; Auto Update clicked, then Current Setpoint",
     // The identity, one late poll step, then the operator's click.
     {"VSET;", "HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;", "VMON;", "IMON;", "FMON;", "ISET;"},
     "auto",
     [](Console &c) {
         c.rig.supply.fallback = {"1;", 0, {}, 5, false, false};
         c.answer("VSET;", "640;", 700);
         after(c, 50, [&c] { c.window.menu.mnu_AUTOUPDATE->trigger(); });
         after(c, 600, [&c] { c.window.panels.setpoints->btn_EMI_Click(); });
         c.window.btn_KVSET_Click();
         QTest::qWait(800);
         c.settle();
         stopPoll(c);
         c.settle();
         // Later poll steps may follow; only what came before the click matters.
         c.rig.supply.frames = c.rig.supply.frames.mid(0, 10);
         return c.window.menu.mnu_AUTOUPDATE->isChecked() ? "auto" : "manual";
     }},
};

// Where an on waits when the off key is pressed: on and off times, how long
// to watch, and what holds the wire.
struct OnWait {
    const char *name;
    int onAtMs, offAtMs, waitMs;
    std::function<void(Console &)> arrange;
};
const OnWait OnWaits[] = {
    {"the drain of VSET's owed reply", 50, 1150, 2300,
     [](Console &c) {
         c.answer("VSET;", "");
         c.window.btn_KVSET_Click();
     }},
    {"the off lane, an earlier off answered 300 ms late", 50, 100, 900,
     [](Console &c) {
         c.answer("ENBL 0;", ";", 300);
         xrayOff(c);
     }},
    {"the quiet after WDTT's prompt reply", 0, 10, 400,
     [](Console &c) {
         c.answer("WDTT;", ";");
         c.window.ops.tickleWatchdog();
     }},
};
const char *const OnPaths[] = {"switch", "cycle test", "seasoning"};
} // namespace

class TestHazards : public QObject {
    Q_OBJECT
private slots:
    void hazards_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(Hazards)); ++i)
            QTest::newRow(Hazards[i].name) << i;
    }
    void hazards() {
        QFETCH(int, index);
        const Hazard &h = Hazards[index];
        Console c;
        const QString shows = h.run(c);
        if (QTest::currentTestFailed())
            return;
        stopPoll(c);
        QCOMPARE(c.sent(), h.wire);
        QCOMPARE(shows, h.expected);
    }

    void onAfterOff_data() {
        columns<int, int>("wait", "path");
        for (int w = 0; w < int(std::size(OnWaits)); ++w)
            for (int p = 0; p < int(std::size(OnPaths)); ++p)
                QTest::addRow("%s during %s", OnPaths[p], OnWaits[w].name) << w << p;
    }
    void onAfterOff() {
        const auto [wait, path] = fetch<int, int>("wait", "path");
        const OnWait &w = OnWaits[wait];
        Console c;
        c.rig.supply.fallback = {";", 0, {}, 5, false, false};
        Timer tick{3600 * 1000};
        runs::SeasoningEngine engine{
            c.window.ops, tick, [](int row, QString *fault) {
                return runs::scheduledStep({{}, {{40, 1, 60}}, {}}, row, 0.1, 0.01, fault);
            }};
        w.arrange(c);
        after(c, w.onAtMs, [&c, &engine, path = path] {
            if (path == 0)
                c.window.btn_HVONOFF_Click();
            else if (path == 1)
                c.dialogs.inputs = {"1", "5"}, c.window.menu.menu_cycleHv->trigger();
            else
                QVERIFY(engine.start());
        });
        after(c, w.offAtMs, [&c] { xrayOff(c); });
        QTest::qWait(w.waitMs);
        engine.stop();
        const QList<QByteArray> sent = c.sent();
        QVERIFY2(!sent.contains("ENBL 1;") && sent.contains("ENBL 0;"), sent.join(' ').data());
        QVERIFY(!c.window.state.hvEnabled());
    }

    // A unit's answer to "WDTT;" never reaches VMON; none, or one at once,
    // costs nothing from the third cycle on.
    void watchdogReplies_data() {
        columns<QByteArray, int, bool>("wdtt", "delay", "fullPace");
        row("never answers", QByteArray(), 0, true);
        row("answers at once", QByteArray("777;"), 0, true);
        row("answers 150 ms late", QByteArray("777;"), 150, false);
    }
    void watchdogReplies() {
        const auto [wdtt, delay, fullPace] =
            fetch<QByteArray, int, bool>("wdtt", "delay", "fullPace");
        Console c;
        c.rig.supply.fallback = {"1;", 0, {}, 5, false, false};
        c.answer("VMON;", "100;");
        c.answer("WDTT;", wdtt, delay);
        QStringList vmon;
        QObject::connect(&c.window.ops, &SupplyOps::replied,
                         [&](const QByteArray &p, const QByteArray &r) {
                             if (p == "VMON;")
                                 vmon << QString::fromLatin1(r.mid(1, 4));
                         });
        startPoll(c);
        const auto &f = c.rig.supply.frames;
        QVERIFY(QTest::qWaitFor(
            [&] {
                return c.rig.supply.payloads().count("WDTT;") >= 4 && f.last().payload != "WDTT;";
            },
            8000));
        stopPoll(c);
        c.settle();
        QList<qint64> gaps;
        for (qsizetype i = 0; i + 1 < f.size(); ++i)
            if (f[i].payload == "WDTT;")
                gaps << f[i + 1].atMs - f[i].atMs;
        QCOMPARE(vmon, QStringList(vmon.size(), QStringLiteral("100;")));
        std::sort(gaps.begin() + 1, gaps.begin() + 4);
        QVERIFY2(!fullPace || gaps.value(2) <= 85, qPrintable(QString::number(gaps.value(2))));
    }
};

QTEST_MAIN(TestHazards)
#include "tst_hazards.moc"
