// The console's own windows, offscreen, against the real zor-sim: one whole
// operator session over each transport, then the link faults the simulator
// can inject.
#include "simsession.h"

#include "conditioning/conditioningmenu.h"
#include "conditioning/frm_run_season.h"
#include "conditioning/frm_seasoning.h"
#include "control/arcframe.h"
#include "control/faultresetframe.h"
#include "control/localremote.h"
#include "control/setpointpanel.h"
#include "factory/configmenu.h"
#include "factory/frm_config.h"
#include "monitor/analogreadbacks.h"
#include "monitor/identityframe.h"
#include "monitor/statusframe.h"
#include "platform/lamp.h"
#include "platform/numedit.h"
#include "platform/toggleswitch.h"
#include "userconfig/frm_prog_conf.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace zor;
using namespace zor::e2e;
using Transport = SimSession::Transport;

namespace {

const QList<QByteArray> PollCycle = {"VMON;", "IMON;", "FMON;", "VSET;",  "ISET;", "STAT;",
                                     "FLT;",  "LVPS;", "TEMP;", "SLVR ;", "SLIR ;"};
// The 1.0 s reply limit, with room for a machine busy with other work.
constexpr qint64 ReplyLimitMs = 1000 + 250;
// The longest the console may go without sending: one reply limit and one poll tick.
constexpr qint64 SendGapLimitMs = ReplyLimitMs + 66;

QList<QByteArray> payloadsOf(const std::vector<Exchange> &exchanges) {
    QList<QByteArray> out;
    for (const Exchange &e : exchanges)
        out << e.payload;
    return out;
}

QList<QByteArray> startingWith(const QList<QByteArray> &payloads, const QByteArrayList &heads) {
    QList<QByteArray> out;
    for (const QByteArray &p : payloads)
        for (const QByteArray &head : heads)
            if (p.startsWith(head))
                out << p;
    return out;
}

// Why the console stalled in these exchanges, or nothing when it never did.
QString stall(const std::vector<Exchange> &exchanges) {
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const Exchange &e = exchanges[i];
        if (e.doneMs >= 0 && e.doneMs - e.sentMs > ReplyLimitMs)
            return QStringLiteral("%1 waited %2 ms").arg(e.payload).arg(e.doneMs - e.sentMs);
        if (i > 0 && e.sentMs - exchanges[i - 1].sentMs > SendGapLimitMs)
            return QStringLiteral("nothing sent for %1 ms before %2")
                .arg(e.sentMs - exchanges[i - 1].sentMs)
                .arg(e.payload);
    }
    return {};
}

// A console on a fresh simulator, polling, with the supply's scaling read.
bool startPolling(SimSession &s) {
    if (!s.startSim())
        return false;
    s.selectPort();
    return QTest::qWaitFor([&] { return s.window.state.kvPerBit() > 0; }, 5000);
}

// The first whole poll cycle that starts after exchange `from`.
std::vector<Exchange> cycleAfter(const SimSession &s, int from) {
    std::vector<int> ticks;
    (void)QTest::qWaitFor(
        [&] {
            ticks.clear();
            for (int i = from; i < s.trace.size(); ++i)
                if (s.trace.exchanges[i].payload == "WDTT;")
                    ticks.push_back(i);
            return ticks.size() >= 2;
        },
        10000);
    if (ticks.size() < 2)
        return {};
    return {s.trace.exchanges.begin() + ticks[0] + 1, s.trace.exchanges.begin() + ticks[1]};
}

// A poll cycle in which every command was answered in full.
bool healthy(const std::vector<Exchange> &cycle) {
    return payloadsOf(cycle) == PollCycle &&
           std::all_of(cycle.begin(), cycle.end(), [](const Exchange &e) { return e.whole(); });
}

double number(const QString &shown) {
    return shown.section(QLatin1Char(' '), 0, 0).toDouble();
}

void addTransportRows() {
    QTest::addColumn<bool>("tcp");
    QTest::newRow("pseudo-terminal") << false;
    QTest::newRow("tcp") << true;
}

QString checkText(const QCheckBox *box) {
    return box->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void operatorSession_data() { addTransportRows(); }

    void operatorSession() {
        QFETCH(bool, tcp);
        const Transport transport = tcp ? Transport::Tcp : Transport::Pty;
        // A slow kV ramp the poll can watch; network status messages when the
        // supply's state changes, not on a clock.
        SimSession s(transport, {"--ramp-ms", "3000", "--status-ms", "600000"});
        QVERIFY(s.startSim());
        frm_SDIMAIN &w = s.window;
        QCOMPARE(s.dialogs.messages(), QStringList{"        Please Select Port!          "});

        // The port; auto update reads the identity before the poll starts.
        s.selectPort();
        if (tcp) {
            QCOMPARE(w.StatusBar1->panelText(1), "Ethernet Comms");
            QCOMPARE(w.StatusBar1->panelText(2), "IP: 127.0.0.1");
        } else {
            QCOMPARE(w.StatusBar1->panelText(1), "Comm Port Setting:  115200,n,8,1");
            QCOMPARE(w.StatusBar1->panelText(2), "Comm Port:  " + s.ptyLink());
        }
        QVERIFY(w.menu.mnu_AUTOUPDATE->isChecked());
        QVERIFY(!w.setpoints->btn_KVSET->isEnabled());
        QCOMPARE(w.identity->txt_HWREV->text(), "A01");
        QCOMPARE(w.identity->txt_MODNUM->text(), "ZOR80HR");
        QCOMPARE(w.identity->txt_SWREV->text(), "ZORSIM 1.00");
        QCOMPARE(w.identity->txt_SWBUILD->text(), "0103");
        QCOMPARE(w.identity->txt_serialNum_rqst->text(), "100000001-A00001");
        QTRY_COMPARE(w.state.kvPerBit(), 80.0 / 4095);
        QTRY_COMPARE(w.readbacks->txt_ADC1->text(), "-15.00 V");
        QCOMPARE(w.readbacks->txt_ADC6->text(), "25.0");
        QCOMPARE(w.readbacks->txt_ADC2->text(), "0.000 kV");
        QCOMPARE(w.readbacks->txt_ADC3->text(), "0.000 mA");
        QCOMPARE(w.statusFrame->lbl_INTRLKSTAT->text(), "Interlock Closed");

        // kV and mA setpoints.
        SetpointPanel &panel = *w.setpoints;
        panel.opt_DACA->click();
        panel.ctrl_SCALVAL->setValue(40);
        s.settle();
        QTest::mouseClick(panel.btn_ACCEPT, Qt::LeftButton);
        QCOMPARE(panel.txt_DACA->text(), "40.010 kV");
        panel.opt_DACB->click();
        panel.ctrl_SCALVAL->setValue(1);
        s.settle();
        QTest::mouseClick(panel.btn_ACCEPT, Qt::LeftButton);
        QCOMPARE(panel.txt_DACB->text(), "1.000 mA");
        QVERIFY(s.logged().contains("VREF 2048;"));
        QVERIFY(s.logged().contains("IREF 2925;"));

        // High voltage on: the kV monitor climbs to the setpoint.
        QList<double> kvShown;
        const auto watch = connect(w.readbacks->txt_ADC2, &QLineEdit::textChanged,
                                   [&](const QString &t) { kvShown << number(t); });
        s.settle();
        QTest::mouseClick(w.btn_HVONOFF, Qt::LeftButton);
        QCOMPARE(w.statusFrame->lbl_HVSTAT->text(), "X-RAY ON");
        QVERIFY(w.statusFrame->led_HVSTAT->value());
        QTRY_COMPARE_WITH_TIMEOUT(w.readbacks->txt_ADC2->text(), "40.010 kV", 5000);
        QTRY_COMPARE(w.readbacks->txt_ADC3->text(), "1.000 mA");
        disconnect(watch);
        QVERIFY2(kvShown.size() >= 3, qPrintable(QString::number(kvShown.size())));
        QVERIFY(std::is_sorted(kvShown.begin(), kvShown.end()));
        QVERIFY(kvShown.first() > 0 && kvShown.first() < 40);

        // One arc, counted once however long the poll goes on.
        QCOMPARE(s.simCommand("arc"), "ok");
        QTRY_COMPARE(w.arcFrame->Txt_arcCount->text(), "1");
        QTRY_COMPARE(w.statusFrame->lbl_ARC->text(), "Arc OK");
        const std::size_t statusReads = s.trace.of("FLT;").size();
        QTRY_VERIFY(s.trace.of("FLT;").size() >= statusReads + 2);
        QCOMPARE(w.arcFrame->Txt_arcCount->text(), "1");

        // The interlock opens: the supply drops the voltage and the switch follows.
        QCOMPARE(s.simCommand("interlock open"), "ok");
        QTRY_VERIFY(!w.btn_HVONOFF->value());
        QTRY_COMPARE(w.statusFrame->lbl_INTRLKSTAT->text(), "Interlock Open");
        QTRY_COMPARE(w.statusFrame->lbl_HVSTAT->text(), "X-RAY OFF");
        QCOMPARE(s.simCommand("interlock close"), "ok");
        QTRY_COMPARE(w.statusFrame->lbl_INTRLKSTAT->text(), "Interlock Closed");

        // A latched fault and its reset.
        QCOMPARE(s.simCommand("fault ov"), "ok");
        QTRY_COMPARE(w.statusFrame->lbl_OV->text(), "Over Voltage Error");
        if (tcp) // only the supply's own network messages carry the fault summary
            QTRY_COMPARE(w.statusFrame->lbl_FAULT->text(), "P.S. FAULT");
        s.settle();
        QTest::mouseClick(w.faultReset->btn_RSTTIME, Qt::LeftButton);
        QCOMPARE(w.faultReset->btn_RSTTIME->text(), "RESET"); // acknowledged with ";", not "$"
        QTRY_COMPARE(w.statusFrame->lbl_OV->text(), "Over Voltage OK");
        QTRY_COMPARE(w.statusFrame->lbl_FAULT->text(), tcp ? "NO P.S. FAULT" : "NO PS  FAULT");
        QVERIFY(s.logged().contains("CLR;"));

        // User options: read when the page opens, saved with one change made.
        QStringList optionsShown;
        s.page = [&](QDialog &d) {
            auto &p = *qobject_cast<frm_prog_conf *>(&d);
            optionsShown = {checkText(p.check_rov),
                            QString::number(p.CWNumEdit1->value()),
                            QString::number(p.CWNumEdit2->value()),
                            checkText(p.check_aol),
                            QString::number(p.CWNumEdit3->value()),
                            QString::number(p.CWNumEdit4->value()),
                            QString::number(p.CWNumEdit5->value()),
                            checkText(p.Check1),
                            checkText(p.Check2)};
            p.CWNumEdit3->setValue(3);
            p.Check1->setChecked(false);
            p.Command1->click();
            p.accept();
        };
        s.settle();
        w.configMenu->mnu_UserConfig_Click(); // its menu entry stays disabled
        QCOMPARE(optionsShown,
                 QStringList({"on", "105", "2", "off", "5", "10", "20", "on", "off"}));
        QVERIFY(s.logged().contains("09,1,105,20,0,3,10,20,0,0,"));
        QCOMPARE(s.dialogs.messages().size(), 1); // the port prompt only, no warning

        // The factory page: locked when it opens, unlocked by its key, read back.
        QStringList configShown;
        bool lockedAtOpen = false;
        s.dialogs.inputs = {"7061"};
        s.page = [&](QDialog &d) {
            auto &p = *qobject_cast<frm_config *>(&d);
            lockedAtOpen = !p.btn_getConf->isEnabled() && !p.hardware->isEnabled();
            p.Command2->click();
            // The supply's answer to the key is not collected; an operator's
            // pause lets the next poll exchange throw it away.
            const int next = s.trace.size();
            (void)QTest::qWaitFor([&] { return s.trace.size() > next + 1; }, 3000);
            p.btn_getConf->click();
            configShown = {p.Txt_hwd->text(), p.Txt_modl->text(), p.Txt_scale->text(),
                           p.Txt_preheat->text(), p.Txt_FilaOn->text()};
            p.Command1->click();
        };
        s.settle();
        w.configMenu->mnu_Config_Click();
        QVERIFY(lockedAtOpen);
        QCOMPARE(configShown, QStringList({"A01", "ZOR80HR", "80.00,1.400", "2660", "10.00"}));
        QVERIFY(s.logged().contains("PASS 7061;"));

        // The default seasoning schedule with every step cut to one tick.
        const qsizetype seasonFrom = s.logged().size();
        s.page = [&](QDialog &d) {
            auto &season = *qobject_cast<frm_seasoning *>(&d);
            season.Timer_Season.setInterval(20);
            for (int row = 0; row < conditioning::ShownSteps; ++row)
                season.combo_time[row]->setCurrentText(QStringLiteral("0"));
            season.Command1->click();
        };
        s.settle();
        w.conditioning->menu_Season_Click();
        s.page = nullptr;
        QVERIFY(w.forms.find<frm_run_season>() && w.forms.find<frm_run_season>()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w.forms.find<frm_run_season>(), 5000);
        QVERIFY(!w.forms.find<frm_seasoning>());
        QTRY_COMPARE(w.statusFrame->lbl_HVSTAT->text(), "X-RAY OFF");
        const QList<QByteArray> season =
            startingWith(s.logged().mid(seasonFrom), {"ENBL", "VREF", "IREF"});
        QCOMPARE(season.size(), 1 + 18 * 3 + 1);
        QCOMPARE(season.mid(0, 4),
                 QByteArrayList({"ENBL 1;", "IREF 0;", "VREF 1536;", "IREF 585;"}));
        QCOMPARE(season.mid(52), QByteArrayList({"IREF 0;", "VREF 0;", "IREF 0;", "ENBL 0;"}));

        // The cycle test, on two ticks of five, for two periods, then stopped.
        w.CycleTimer.setInterval(20);
        s.dialogs.inputs = {"2", "5"};
        const qsizetype cycleFrom = s.logged().size();
        const auto switched = [&] { return startingWith(s.logged().mid(cycleFrom), {"ENBL"}); };
        s.settle();
        w.menu.menu_cycleHv->trigger();
        QCOMPARE(w.menu.menu_cycleHv->text(), "Cycle Test Off");
        QTRY_VERIFY(switched().size() >= 4);
        s.settle();
        w.menu.menu_cycleHv->trigger();
        QCOMPARE(w.menu.menu_cycleHv->text(), "Cycle Test On");
        QVERIFY(!w.CycleTimer.isEnabled());
        QTRY_COMPARE(switched().last(), "ENBL 0;");
        const QList<QByteArray> toggles = switched();
        for (qsizetype i = 0; i < toggles.size(); ++i)
            QCOMPARE(toggles[i], i % 2 ? "ENBL 0;" : "ENBL 1;");
        QTRY_COMPARE(w.statusFrame->lbl_HVSTAT->text(), "X-RAY OFF");

        // Shutdown and Exit: local control, all four channels to zero, port closed.
        const qsizetype shutdownFrom = s.logged().size();
        s.settle();
        w.menu.mnu_SHUTDOWN->trigger();
        QTRY_COMPARE(s.ends, 1);
        QVERIFY(!w.localRemote->btn_local_remote->value());
        QVERIFY(!w.link.MSComm1().isOpen());
        QVERIFY(w.link.tcpClient().state() != TcpClientComponent::StateConnected);
        QTRY_COMPARE(s.logged().last(), "13,0,");
        QCOMPARE(startingWith(s.logged().mid(shutdownFrom), {"1", "9"}),
                 QByteArrayList({"99,0,", "10,0,", "11,0,", "12,0,", "13,0,"}));
        const QString state = s.simState();
        QVERIFY2(state.contains("hv off, interlock closed, local control, faults: none"),
                 qPrintable(state));
        QVERIFY2(state.contains("setpoints: VREF 0 IREF 0 DAC-C 0 DAC-D 0"), qPrintable(state));
    }

    // The supply answers badly while the console reads the mA setpoint and the
    // status; then it answers well again.
    void replyFaults_data() {
        QTest::addColumn<QByteArray>("inject");
        QTest::addColumn<QByteArray>("heal");
        QTest::addColumn<bool>("firstTimesOut");
        QTest::addColumn<int>("errors");
        QTest::newRow("no answer")
            << QByteArray("silent on") << QByteArray("silent off") << true << 1;
        // After the limit: the mA reply arrives while the status read waits.
        QTest::newRow("late answer")
            << QByteArray("delay 1300") << QByteArray("delay 0") << true << 0;
        QTest::newRow("split answers")
            << QByteArray("split on") << QByteArray("split off") << false << 0;
        QTest::newRow("corrupted answers")
            << QByteArray("corrupt 1") << QByteArray("corrupt 0") << false << 0;
    }

    void replyFaults() {
        QFETCH(QByteArray, inject);
        QFETCH(QByteArray, heal);
        QFETCH(bool, firstTimesOut);
        QFETCH(int, errors);
        SimSession s(Transport::Pty);
        QVERIFY(startPolling(s));
        int from = -1;
        int to = -1;
        qint32 errorsAtFrom = 0;
        qint32 errorsAtTo = 0;
        s.trace.onSend = [&](const QByteArray &payload) {
            if (from < 0 && payload == "ISET;") {
                from = s.trace.size() - 1;
                errorsAtFrom = s.window.state.failedReplies();
                s.simCommand(inject);
            } else if (from >= 0 && to < 0 && payload == "LVPS;") {
                to = s.trace.size() - 1;
                errorsAtTo = s.window.state.failedReplies();
                s.simCommand(heal);
            }
        };
        QTRY_VERIFY_WITH_TIMEOUT(to >= 0, 10000);
        const std::vector<Exchange> bad(s.trace.exchanges.begin() + from,
                                        s.trace.exchanges.begin() + to + 1);
        QVERIFY2(stall(bad).isEmpty(), qPrintable(stall(bad)));
        QCOMPARE(payloadsOf(bad), QByteArrayList({"ISET;", "STAT;", "FLT;", "LVPS;"}));
        QCOMPARE(bad[0].empty(), firstTimesOut);
        for (std::size_t i = 0; i < 3; ++i)
            QVERIFY2(bad[i].empty() || bad[i].whole(), bad[i].reply->constData());
        // Only a status read that got nothing counts.
        QCOMPARE(errorsAtTo - errorsAtFrom, errors);

        const std::vector<Exchange> next = cycleAfter(s, to);
        QVERIFY(healthy(next));
        QCOMPARE(s.window.state.failedReplies(), errorsAtTo);
        QCOMPARE(s.window.state.kvPerBit(), 80.0 / 4095);
        QCOMPARE(s.window.readbacks->txt_ADC1->text(), "-15.00 V");
        QCOMPARE(s.window.readbacks->txt_ADC6->text(), "25.0");
    }

    // The supply goes away in the middle of the poll and comes back.
    void peerVanishes_data() { addTransportRows(); }

    void peerVanishes() {
        QFETCH(bool, tcp);
        const Transport transport = tcp ? Transport::Tcp : Transport::Pty;
        SimSession s(transport);
        QVERIFY(startPolling(s));
        s.window.tmr_COMMWDT.setInterval(100);
        // The operator takes longer over a box than the reply limit.
        s.reader.readingMs = 1500;
        // Gone while the console waits for the kV setpoint, which comes late.
        QCOMPARE(s.simCommand("delay 400"), "ok");
        int gone = -1;
        // Counted from the moment the supply is really gone, which a busy machine delays.
        int stopped = -1;
        int inFlight = -1;
        qint32 errorsBefore = 0;
        s.trace.onSend = [&](const QByteArray &payload) {
            if (gone < 0 && payload == "VSET;") {
                gone = s.trace.size() - 1;
                QTimer::singleShot(150, &s.window, [&] {
                    s.stopSim();
                    stopped = s.trace.size();
                    inFlight = s.trace.exchanges.back().doneMs < 0 ? stopped - 1 : -1;
                    errorsBefore = s.window.state.failedReplies();
                });
            }
        };
        QTRY_VERIFY(stopped >= 0);
        // The poll goes on without its supply, counting each status read that got nothing.
        QTRY_VERIFY(s.trace.of("STAT;", stopped).size() >= 3);
        s.trace.onSend = nullptr;
        const std::vector<Exchange> down(s.trace.exchanges.begin() + gone, s.trace.exchanges.end());
        QVERIFY2(stall(down).isEmpty(), qPrintable(stall(down)));
        const std::vector<Exchange> stats = s.trace.of("STAT;", stopped);
        QVERIFY(
            std::all_of(stats.begin(), stats.end(), [](const Exchange &e) { return e.empty(); }));
        // A status read under way at the stop may have caught its reply or not.
        const bool lostInFlight = inFlight >= 0 && s.trace.exchanges[inFlight].payload == "STAT;" &&
                                  s.trace.exchanges[inFlight].empty();
        QCOMPARE(s.window.state.failedReplies() - errorsBefore,
                 qint32(stats.size()) + lostInFlight);
        if (tcp)
            QCOMPARE(s.dialogs.messages().filter("TCP Error"),
                     QStringList{"TCP ErrorThe remote host closed the connection"});
        else
            QVERIFY(!s.window.link.MSComm1().isOpen());

        // The supply returns at the same place.
        QVERIFY(s.startSim());
        if (tcp)
            s.selectPort(); // the operator chooses Ethernet again
        else
            QTRY_VERIFY(s.window.link.MSComm1().isOpen()); // the watchdog re-opened it
        const qint32 errorsBack = s.window.state.failedReplies();
        QVERIFY(healthy(cycleAfter(s, s.trace.size())));
        QCOMPARE(s.window.state.failedReplies(), errorsBack);
        QVERIFY(!s.window.ended());
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
