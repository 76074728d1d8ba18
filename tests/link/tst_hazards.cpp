// Operator safety under load: a late or silent supply, a box left open, a
// click during a wait. Each row names the supply's behaviour and what was done,
// and checks what reached the wire (order and spacing) and what the windows show.
#include "conditioning/conditioningmenu.h"
#include "conditioning/cycletest.h"
#include "control/localremote.h"
#include "control/setpointpanel.h"
#include "factory/unitbaudratedialog.h"
#include "monitor/identityframe.h"
#include "platform/numedit.h"
#include "platform/toggleswitch.h"
#include "testconsole.h"

#include <QAction>
#include <QEventLoop>
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

// A modal box left open for `ms` inside a command, as a factory input box is.
void boxOpenFor(Console &c, int ms) {
    c.window.command([ms] {
        QEventLoop box;
        QTimer::singleShot(ms, &box, &QEventLoop::quit);
        box.exec();
    });
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

// Acts, then returns what the windows show (and spacing facts), joined with "|".
struct Hazard {
    const char *name;
    Payloads wire;
    QString expected;
    std::function<QString(Console &)> run;
};

const Hazard Hazards[] = {
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
         return QStringLiteral("%1|%2").arg(p.dacAcceptedA).arg(p.txt_DACA->text());
     }},
    {"VSET late 300 ms; CANCEL, then MA_PROG chosen before it ran",
     {"VSET;", "10,100"},
     "Now Modifying MA_PROG",
     [](Console &c) {
         SetpointPanel &p = *c.window.panels.setpoints;
         p.dacAcceptedA = 100;
         c.answer("VSET;", "640;", 300);
         after(c, 50, [&p] { p.btn_CANCEL->click(); });
         after(c, 100, [&p] { p.opt_DACB->click(); });
         c.window.btn_KVSET_Click();
         return p.lbl_CHMOD->text();
     }},
    {"box open 450 ms during a 1 s/2 s cycle test ticking every 100 ms",
     // Start, the one late phase (off), the stop's own off.
     {"ENBL 1;", "ENBL 0;", "ENBL 0;"},
     "0",
     [](Console &c) {
         c.rig.supply.fallback = {";", 0, {}, 5, false, false};
         c.window.CycleTimer.setInterval(100);
         c.dialogs.inputs = {"1", "2"};
         c.window.menu.menu_cycleHv->trigger();
         boxOpenFor(c, 450);
         c.window.menu.menu_cycleHv->trigger();
         return QString::number(c.window.link.heldCount());
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
             .arg(c.window.link.MSComm1().isOpen() || c.window.link.tmr_COMMWDT.isEnabled())
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
         after(c, 50, [&c] { c.window.forms.get<UnitBaudRateDialog>(c.window).save_Click(); });
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
         return QString::number(c.window.panels.localRemote->btn_local_remote->value());
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
         stopPoll(c);
         // Later poll steps may follow; only what came before the click matters.
         c.rig.supply.frames = c.rig.supply.frames.mid(0, 10);
         return c.window.menu.mnu_AUTOUPDATE->isChecked() ? "auto" : "manual";
     }},
};

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
};

QTEST_MAIN(TestHazards)
#include "tst_hazards.moc"
