#include "conditioning/conditioningmenu.h"
#include "conditioning/cyclerunwindow.h"
#include "conditioning/cycletest.h"
#include "conditioning/runendnotice.h"
#include "conditioning/runreportswindow.h"
#include "conditioning/seasoningpage.h"
#include "conditioning/seasoningrunwindow.h"
#include "platform/dialogs.h"
#include "platform/toggleswitch.h"
#include "ports/hostbaudratedialog.h"
#include "testconsole.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {

using Payloads = QList<QByteArray>;
constexpr int Never = 3600 * 1000;
const double Kv80 = 8000.0 / 100 / 4095;

// The default schedule on an 80 kV, 1.4 mA supply: tick of the step's start, kV and mA counts.
struct Step {
    int tick;
    const char *kv, *ma;
};
const Step DefaultRun[] = {{0, "1536", "585"},     {300, "1792", "585"},   {600, "2048", "585"},
                           {900, "2303", "1024"},  {1200, "2559", "1462"}, {1500, "2815", "1901"},
                           {1800, "3071", "2340"}, {2100, "3327", "2779"}, {2400, "3583", "3218"},
                           {2700, "3839", "3656"}, {3000, "4095", "3656"}, {3300, "4351", "3422"},
                           {3600, "4095", "3656"}, {3900, "3583", "4154"}, {4080, "3071", "4856"},
                           {4260, "2559", "5850"}, {4440, "4095", "3656"}, {4620, "0", "0"}};

// A console on a supply that acknowledges everything, scaled as an 80 kV, 1.4 mA unit.
struct Conditioning : Console {
    Conditioning() {
        rig.supply.fallback = {";", 0, {}, 5, false, false};
        window.state.setKvPerBit(Kv80);
        window.state.setMaPerBit(1400.0 / 1000 / 4095);
        window.CycleTimer.setInterval(Never);
        // Each test's runs leave reports; the next starts without them.
        QDir(runs::defaultRunFolder()).removeRecursively();
    }
    // The status read-back moves the switch, as the poll would.
    void statusSays(const char *hv, bool forget = true) {
        answer("STAT;", hv);
        window.btn_REQSTAT_Click();
        settle();
        if (forget)
            rig.supply.frames.clear();
    }
    // Opens the table, lets `edit` change it, presses "Start Season" and lets the
    // start's commands run.
    QPointer<SeasoningPage> startSeason(std::function<void(SeasoningPage &)> edit = {}) {
        // Steps 12, 15 and 16 of the default schedule exceed an 80 kV, 1.4 mA unit.
        dialogs.picks.push_back(0);
        dialogs.onModal = [edit](QDialog &d) {
            auto &s = static_cast<SeasoningPage &>(d);
            s.Timer_Season.setInterval(Never); // the test ticks it
            if (edit)
                edit(s);
            // The real modal loop: starting hides the table, which must end it.
            QTimer::singleShot(0, &s, [&s] { s.Command1->click(); });
            s.exec();
        };
        window.menu.menu_Season->trigger();
        settle();
        return window.forms.find<SeasoningPage>();
    }
    CycleTest &cycle() { return *window.menus.conditioning->cycleTest; }
    void startCycle(const QString &on, const QString &period) {
        dialogs.inputs = {on, period};
        window.menu.menu_cycleHv->trigger();
    }
    // "tick:payload" for every command sent, ticking on after `from` until `tick`
    // returns false.
    QStringList timeline(const std::function<bool(int)> &tick, int from = 0) {
        QStringList out;
        qsizetype seen = 0;
        const auto take = [&](int at) {
            for (const auto p = sent(); seen < p.size(); ++seen)
                out << QStringLiteral("%1:%2").arg(at).arg(QString::fromLatin1(p[seen]));
        };
        take(from);
        for (int i = from + 1; i <= from + 10000; ++i) {
            const bool more = tick(i);
            take(i);
            if (!more)
                break;
        }
        return out;
    }
    QStringList runSeason(QPointer<SeasoningPage> s, int from = 0,
                          const std::function<void(int)> &ticked = {}) {
        return timeline(
            [&](int i) {
                if (!s || !s->running())
                    return false;
                s->Timer_Season_Timer();
                if (ticked)
                    ticked(i);
                return true;
            },
            from);
    }
    bool ended() const {
        return !window.btn_HVONOFF->value() && !window.forms.find<SeasoningPage>() &&
               !window.forms.find<SeasoningRunWindow>();
    }
};

void setTimes(SeasoningPage &s, const QStringList &times) {
    for (int row = 0; row < 18; ++row)
        s.combo_time[row]->setEditText(times.value(row, QStringLiteral("0")));
}

} // namespace

class TestConditioning : public QObject {
    Q_OBJECT
private slots:
    // Already on, the start sends no "on"; the table hides and the run window
    // counts each step's seconds down.
    void wholeDefaultSchedule_data() {
        columns<QByteArray, QStringList>("status", "expected");
        row("switch off", "0;"_ba, QStringList{"0:ENBL 1;"});
        row("switch on", "1;"_ba, QStringList{});
    }
    void wholeDefaultSchedule() {
        auto [status, expected] = fetch<QByteArray, QStringList>("status", "expected");
        Conditioning c;
        c.statusSays(status);
        QPointer<SeasoningPage> s = c.startSeason();
        QVERIFY(s && s->running() && s->isHidden());
        auto *run = c.window.forms.find<SeasoningRunWindow>();
        QVERIFY(run && run->isVisible());
        QCOMPARE(run->focusWidget(), static_cast<QWidget *>(run->Command1)); // Space stops the run
        QCOMPARE(run->txt_step1->text() + "/" + run->txt_time->text(), QStringLiteral("1/300"));
        QString secondTick;
        const QStringList line = c.runSeason(s, 0, [&](int i) {
            if (i == 2)
                secondTick = run->txt_time->text();
        });
        QCOMPARE(secondTick, QStringLiteral("299"));
        for (const Step &st : DefaultRun)
            expected << QStringLiteral("%1:IREF 0;").arg(st.tick)
                     << QStringLiteral("%1:VREF %2;").arg(st.tick).arg(st.kv)
                     << QStringLiteral("%1:IREF %2;").arg(st.tick).arg(st.ma);
        expected << "4621:ENBL 0;";
        QCOMPARE(line, expected);
        QVERIFY(c.ended());
    }

    // Stopping or ending sends "off" whatever the switch shows: an earlier off
    // may have been lost.
    void stopAndEnd_data() {
        columns<bool, bool, QByteArray, QStringList>("pressStop", "closeRunWindow", "status",
                                                     "tail");
        // Step 1 lasts 3 s, the other 17 rows 0 s: rows 1..17 start at ticks 3..19.
        const QStringList zeroAt2{"2:IREF 0;", "2:VREF 0;", "2:IREF 0;"};
        const QStringList zeroAt19{"19:IREF 0;", "19:VREF 0;", "19:IREF 0;"};
        row("stop, on", true, false, "1;"_ba, QStringList{"2:ENBL 0;"} + zeroAt2);
        row("stop, switched off", true, false, "0;"_ba, QStringList{"2:ENBL 0;"} + zeroAt2);
        row("end, on", false, false, "1;"_ba, zeroAt19 + QStringList{"20:ENBL 0;"});
        row("end, switched off", false, false, "0;"_ba, zeroAt19 + QStringList{"20:ENBL 0;"});
        row("run window closed", false, true, "1;"_ba, zeroAt19 + QStringList{"20:ENBL 0;"});
    }
    void stopAndEnd() {
        const auto [pressStop, closeRunWindow, status, tail] =
            fetch<bool, bool, QByteArray, QStringList>("pressStop", "closeRunWindow", "status",
                                                       "tail");
        Conditioning c;
        QPointer<SeasoningPage> s = c.startSeason([](SeasoningPage &s) { setTimes(s, {"3"}); });
        QPointer<SeasoningRunWindow> run = c.window.forms.find<SeasoningRunWindow>();
        if (closeRunWindow) {
            run->close();
            QTRY_VERIFY(!run);
        }
        s->Timer_Season_Timer();
        s->Timer_Season_Timer();
        c.statusSays(status);
        QStringList line;
        if (pressStop) {
            QTest::mouseClick(run->Command1, Qt::LeftButton);
            line = c.timeline([](int) { return false; }, 2);
        } else {
            line = c.runSeason(s, 2);
            // Rows 1..17 all ran, also with the run window closed.
            QCOMPARE(line.filter(QStringLiteral(":VREF ")).size(), 17);
            line = line.mid(line.size() - tail.size());
        }
        QCOMPARE(line, tail);
        QVERIFY(!s || !s->running());
        QVERIFY(c.ended());
    }

    // The X-ray off key while the start's kV set-point waits for its reply:
    // the run stops before it shows, the step sends nothing more, and "off"
    // and the zeros still go out.
    void xrayOffWhileStarting() {
        Conditioning c;
        c.answer("VREF 1536;", ";", 300);
        connect(&c.window.link, &DeviceLink::transmitted, &c.window, [&](const QByteArray &f) {
            if (f.contains("VREF 1536;"))
                QTimer::singleShot(0, c.window.menu.mnu_XRAYOFF, &QAction::trigger);
        });
        QPointer<SeasoningPage> s = c.startSeason();
        QVERIFY(!s || !s->running());
        QVERIFY(c.ended());
        QCOMPARE(c.sent(), (Payloads{"ENBL 1;", "IREF 0;", "VREF 1536;", "ENBL 0;", "ENBL 0;",
                                     "IREF 0;", "VREF 0;", "IREF 0;"}));
    }

    void startRefused_data() {
        columns<double, int, QString, QString, QString>("kvPerBit", "row", "kv", "time", "message");
        row("no scaling", 0.0, 0, "30", "300", "Please Set Unit Scaling!");
        row("kV not a number", Kv80, 4, "abc", "300",
            "Step 5: \"abc\" is not a valid kV setting. Enter a number of 0 or more.");
        row("kV beyond 16 bits", Kv80, 2, "700", "300",
            "Step 3: 700 kV is beyond what the supply can be set to.");
        row("time not whole", Kv80, 16, "30", "2.5",
            "Step 17: \"2.5\" is not a valid time. Enter whole seconds from 0 to 32767.");
    }
    void startRefused() {
        const auto [kvPerBit, row, kv, time, message] =
            fetch<double, int, QString, QString, QString>("kvPerBit", "row", "kv", "time",
                                                          "message");
        Conditioning c;
        c.window.state.setKvPerBit(kvPerBit);
        c.dialogs.onModal = [&](QDialog &d) {
            auto &s = static_cast<SeasoningPage &>(d);
            s.combo_kv[row]->setEditText(kv);
            s.combo_time[row]->setEditText(time);
            s.Command1_Click();
            QVERIFY(!s.running());
            QVERIFY(!s.Timer_Season.isEnabled());
        };
        c.window.menu.menu_Season->trigger();
        QCOMPARE(c.dialogs.messages(), QStringList{message});
        QVERIFY(c.sent().isEmpty());
        QVERIFY(!c.window.btn_HVONOFF->value());
        QCOMPARE(c.window.forms.find<SeasoningRunWindow>(), nullptr);
    }

    void rowSpoiledDuringRunEndsItSafely() {
        Conditioning c;
        QPointer<SeasoningPage> s = c.startSeason([](SeasoningPage &s) { setTimes(s, {"1"}); });
        c.rig.supply.frames.clear();
        s->combo_ma[1]->setEditText(QStringLiteral("lots"));
        s->Timer_Season_Timer();
        QCOMPARE(c.sent(), (Payloads{"ENBL 0;", "IREF 0;", "VREF 0;", "IREF 0;"}));
        QCOMPARE(c.dialogs.messages(),
                 QStringList{
                     "Step 2: \"lots\" is not a valid mA setting. Enter a number of 0 or more."});
        QVERIFY(!s || !s->running());
    }

    // A step due during another exchange waits for it; pressed meanwhile, Stop
    // wins: the held step sends nothing and "off" goes out first.
    void stepDueDuringAnotherExchange_data() {
        columns<bool, Payloads>("stop", "wire");
        row("runs after it", false, Payloads{"VSET;", "IREF 0;", "VREF 1792;", "IREF 585;"});
        row("stop pressed meanwhile", true,
            Payloads{"VSET;", "ENBL 0;", "IREF 0;", "VREF 0;", "IREF 0;"});
    }
    void stepDueDuringAnotherExchange() {
        const auto [stop, wire] = fetch<bool, Payloads>("stop", "wire");
        Conditioning c;
        QPointer<SeasoningPage> s = c.startSeason([](SeasoningPage &s) { setTimes(s, {"1"}); });
        c.rig.supply.frames.clear();
        c.answer("VSET;", "640;", 300);
        bool tickingDuringWait = true;
        QTimer::singleShot(50, &c.window, [&] {
            s->Timer_Season_Timer();
            tickingDuringWait = s->Timer_Season.isEnabled();
            if (stop)
                c.window.forms.find<SeasoningRunWindow>()->Command1->click();
        });
        c.window.btn_KVSET_Click();
        QCOMPARE(c.sent(), wire);
        QVERIFY(c.rig.supply.frames[1].atMs - c.rig.supply.frames[0].atMs >= 290);
        QVERIFY(!tickingDuringWait);
        QCOMPARE(s && s->Timer_Season.isEnabled(), !stop);
    }

    void stepsBeyondFullScaleAskFirst() {
        Conditioning c;
        c.dialogs.picks.push_back(1);
        c.dialogs.onModal = [](QDialog &d) { static_cast<SeasoningPage &>(d).Command1_Click(); };
        c.window.menu.menu_Season->trigger();
        QCOMPARE(c.shown("ask"),
                 QStringList{"These steps are beyond the unit's full scale of 80 kV, 1.4 mA and "
                             "will be refused by the supply:\nStep 12: 85 kV\nStep 14: 1.42 "
                             "mA\nStep 15: 1.66 mA\n"
                             "Step 16: 2.0 mA\n\nRun the schedule anyway?"});
        QVERIFY(c.sent().isEmpty());
    }

    // The real timer, at a short interval, drives the run to its end.
    void timerDrivesTheRun() {
        Conditioning c;
        QPointer<SeasoningPage> s = c.startSeason([](SeasoningPage &s) {
            setTimes(s, {});
            s.Timer_Season.setInterval(5);
        });
        QTRY_VERIFY_WITH_TIMEOUT(!s || !s->running(), 5000);
        QCOMPARE(c.sent().size(), 1 + 18 * 3 + 1);
        QCOMPARE(c.sent().last(), "ENBL 0;"_ba);
    }

    // Already on, the start switches off and on for a fresh on phase.
    void cycleOnTenPeriodThirty_data() {
        columns<QByteArray, QStringList>("status", "line");
        const QStringList periods{"10:ENBL 0;", "30:ENBL 1;", "40:ENBL 0;", "60:ENBL 1;"};
        row("switch off", "0;"_ba, QStringList{"0:ENBL 1;"} + periods);
        row("switch on", "1;"_ba, QStringList{"0:ENBL 0;", "0:ENBL 1;"} + periods);
    }
    void cycleOnTenPeriodThirty() {
        const auto [status, line] = fetch<QByteArray, QStringList>("status", "line");
        Conditioning c;
        c.statusSays(status);
        c.startCycle("10", "30");
        QCOMPARE(c.window.menu.menu_cycleHv->text(), QStringLiteral("Cycle Test Off"));
        QCOMPARE(c.shown("input"), (QStringList{"Enter the ON time in seconds....",
                                                "Enter the period.... (> ON time)"}));
        QVERIFY(c.window.CycleTimer.isEnabled());
        QCOMPARE(c.timeline([&](int i) {
            c.cycle().CycleTimer_Timer();
            return i < 60;
        }),
                 line);
    }

    void cycleStartRefused_data() {
        columns<QString, QString, QString>("onTime", "period", "message");
        const QString onTime = "The ON time must be a number of seconds from 1 to 32767.";
        row("5/5", "5", "5", "Period has to be greater than the On time");
        row("on 0", "0", "30", onTime);
        row("on 0.5 rounds to 0", "0.5", "30", onTime);
        row("cancelled", "", "", onTime);
        row("period empty", "10", "",
            "The period must be a number of seconds greater than the ON time, up to 32767.");
    }
    void cycleStartRefused() {
        const auto [onTime, period, message] =
            fetch<QString, QString, QString>("onTime", "period", "message");
        Conditioning c;
        c.startCycle(onTime, period);
        QCOMPARE(c.dialogs.messages(), QStringList{message});
        QVERIFY(!c.cycle().cycleRunning);
        QCOMPARE(c.window.menu.menu_cycleHv->text(), QStringLiteral("Cycle Test On"));
        QVERIFY(!c.window.CycleTimer.isEnabled());
        QVERIFY(c.sent().isEmpty());
        // The next click starts a test rather than taking a stop path.
        c.startCycle("1", "3");
        QCOMPARE(c.sent(), Payloads{"ENBL 1;"});
    }

    // In either phase the stop sends "off", and a tick already on its way does nothing.
    void cycleStop() {
        for (int ticks : {3, 15, 30}) {
            Conditioning c;
            c.startCycle("10", "30");
            for (int i = 0; i < ticks; ++i)
                c.cycle().CycleTimer_Timer();
            c.rig.supply.frames.clear();
            c.window.menu.menu_cycleHv->trigger();
            c.cycle().CycleTimer_Timer();
            QCOMPARE(c.sent(), Payloads{"ENBL 0;"});
            QVERIFY(!c.window.btn_HVONOFF->value() && !c.cycle().cycleRunning);
            QVERIFY(!c.window.CycleTimer.isEnabled());
            QCOMPARE(c.window.menu.menu_cycleHv->text(), QStringLiteral("Cycle Test On"));
        }
    }

    // One run at a time: neither starts while the other drives the high
    // voltage. The cycle test's window follows its phases; each run leaves a
    // report that Controls > Run Reports... opens.
    void oneRunAtATime() {
        Conditioning c;
        c.startCycle("2", "5");
        for (int i = 0; i < 6; ++i) {
            c.cycle().CycleTimer_Timer();
            c.settle();
        }
        CycleRunWindow *w = c.window.forms.find<CycleRunWindow>();
        QVERIFY(w && w->isVisible());
        QCOMPARE(
            (QStringList{w->lbl_phase->text(), w->lbl_cycles->text(), w->lbl_timeLeft->text()}),
            (QStringList{"On", "1", "1"}));
        c.dialogs.onModal = [](QDialog &d) { static_cast<SeasoningPage &>(d).Command1->click(); };
        c.window.menu.menu_Season->trigger();
        c.settle();
        w->Command1->click();
        c.settle();
        QVERIFY(!c.cycle().cycleRunning && !c.window.forms.find<CycleRunWindow>());
        const QPointer<SeasoningPage> s = c.startSeason();
        c.window.menu.menu_cycleHv->trigger();
        QCOMPARE(c.dialogs.messages(),
                 (QStringList{"A cycle test is going. Stop it before starting another run.",
                              "A seasoning run is going. Stop it before starting another run."}));
        s->stopRun();
        // The end says how it ended and where the report is, blocking nothing.
        RunEndNotice *notice = nullptr;
        QTRY_COMPARE((notice = c.window.forms.find<RunEndNotice>()) ? notice->lbl_ENDED->text()
                                                                    : QString(),
                     u"Seasoning: Stopped by the operator at step 1 of 17."_s);
        QVERIFY(notice->isVisible() && !notice->isModal());
        const QStringList reports = runs::listReports(runs::defaultRunFolder());
        QCOMPARE(reports.size(), 2);
        QUrl opened;
        notice->openDocument = [&](const QUrl &url) { return opened = url, true; };
        notice->btn_OPEN->click();
        QCOMPARE(opened, QUrl::fromLocalFile(reports[0]));
        c.window.menus.conditioning->openDocument = notice->openDocument;
        c.window.menus.conditioning->mnu_RunReports->trigger();
        auto *list = c.window.forms.find<RunReportsWindow>();
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->tbl_REPORTS->rowCount(), 2);
        QCOMPARE(list->tbl_REPORTS->item(1, 2)->text() + "/" +
                     list->tbl_REPORTS->item(1, 3)->text(),
                 u"cycle test/stopped"_s);
        list->tbl_REPORTS->selectRow(1);
        list->btn_OPEN->click();
        QCOMPARE(opened, QUrl::fromLocalFile(reports[1]));
        list->btn_FOLDER->click();
        QCOMPARE(opened, QUrl::fromLocalFile(runs::defaultRunFolder()));
    }

    // The tube is the unit's serial number until the operator names it at
    // Start; the name is remembered for that unit, and goes into the record.
    void tubeNamedAtStart() {
        Conditioning c;
        QStringList tubes;
        for (const char *serial : {"SN-1", "SN-1", "SN-2"}) {
            c.window.state.setIdentity(IdentityField::SerialNumber, QString::fromLatin1(serial));
            const QPointer<SeasoningPage> s = c.startSeason([&](SeasoningPage &page) {
                tubes << page.txt_tube->text();
                if (tubes.size() == 1)
                    page.txt_tube->setText(u"T7"_s);
            });
            s->stopRun();
            c.settle();
        }
        QCOMPARE(tubes, (QStringList{"SN-1", "T7", "SN-2"}));
        QStringList recorded;
        for (const runs::ReportEntry &e : runs::reportEntries(runs::defaultRunFolder()))
            recorded << e.tube;
        recorded.sort();
        QCOMPARE(recorded, (QStringList{"SN-2", "T7", "T7"}));
    }

    // Save Schedule... writes the table; Open Schedule... reads it back, and
    // refuses a malformed file with its line, loading nothing.
    void scheduleFiles() {
        Conditioning c;
        const QString file = QDir::temp().filePath("zor-schedule-test.json");
        c.dialogs.onModal = [&](QDialog &d) {
            auto &s = static_cast<SeasoningPage &>(d);
            s.combo_kv[0]->setEditText("42");
            c.dialogs.inputs = {file, file};
            s.btn_saveSchedule->click();
            s.Form_Load();
            s.btn_openSchedule->click();
            QCOMPARE(s.combo_kv[0]->currentText(), "42");
            QCOMPARE(s.schedule().steps.size(), 17u);
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("{\"name\": \"x\",\n\"steps\": 3}");
            f.close();
            s.Form_Load();
            c.dialogs.inputs = {file};
            s.btn_openSchedule->click();
            QCOMPARE(s.combo_kv[0]->currentText(), "30");
        };
        c.window.menu.menu_Season->trigger();
        QCOMPARE(c.dialogs.messages(),
                 (QStringList{"These steps are beyond the unit's full scale and will be refused by "
                              "the supply:\nStep 12: 85 kV\nStep 14: 1.42 mA\nStep 15: 1.66 mA\n"
                              "Step 16: 2 mA",
                              QDir::toNativeSeparators(file) +
                                  " was not loaded.\nLine 2: \"steps\" must be a list of 1 to 17 "
                                  "steps"}));
        QFile::remove(file);
    }

    // With rules the run window lists the steps, the running one selected, and
    // shows a hold; a back-off due with none allowed ends the run and says why.
    void adaptiveRunWindow() {
        Conditioning c;
        QPointer<SeasoningPage> s = c.startSeason([](SeasoningPage &s) {
            runs::Schedule rules = s.schedule();
            rules.adaptive = runs::Adaptive{60, 0, 1, 1, 300, 0, 50};
            s.loadSchedule(rules);
        });
        QPointer<SeasoningRunWindow> run = c.window.forms.find<SeasoningRunWindow>();
        QVERIFY(run && run->lst_steps->isVisible());
        QCOMPARE(run->lst_steps->count(), 17);
        QCOMPARE(run->lbl_state->text(), u"Running"_s);
        c.window.state.setArcCount(1);
        s->Timer_Season_Timer();
        QCOMPARE(run->lbl_state->text(), u"Holding: 1 arc in the last 60 s"_s);
        QCOMPARE(run->lst_steps->currentRow(), 0);
        c.window.state.setArcCount(2);
        s->Timer_Season_Timer();
        c.settle();
        QVERIFY(c.ended());
        QTRY_COMPARE(c.dialogs.messages(), QStringList{u"Seasoning abandoned: arcs"_s});
    }

    // Another port chosen during a run ends it as the X-ray off key does, its
    // off and zeros to the unit it drove; nothing of it reaches the port
    // opened next.
    void portChangeEndsTheRun_data() {
        columns<bool, QString>("cycle", "ended");
        row("seasoning", false, u"Seasoning: Ended by the X-ray off key at step 1 of 17."_s);
        row("cycle test", true, u"Cycle test: Ended by the X-ray off key at cycle 0."_s);
    }
    void portChangeEndsTheRun() {
        const auto [cycle, ended] = fetch<bool, QString>("cycle", "ended");
        Conditioning c;
        QPointer<SeasoningPage> s;
        cycle ? c.startCycle("10", "30") : void(s = c.startSeason([](SeasoningPage &s) {
            setTimes(s, {"1", "1"});
        }));
        qsizetype opened = -1;
        connect(&c.window.link, &DeviceLink::opened, &c.window,
                [&] { opened = c.rig.supply.frames.size(); });
        c.dialogs.onModal = [](QDialog &d) { static_cast<HostBaudRateDialog &>(d).ok_Click(); };
        c.window.menu.mnu_comm2->trigger();
        for (int i = 0; i < 40; ++i) // past the cycle's next on and the schedule's next steps
            cycle ? c.cycle().CycleTimer_Timer() : s ? s->Timer_Season_Timer() : void();
        const Payloads sent = c.sent();
        QVERIFY(opened > 0);
        QCOMPARE(sent.mid(0, opened).last(), cycle ? "ENBL 0;"_ba : "IREF 0;"_ba);
        for (const QByteArray &p : sent.mid(opened))
            QVERIFY2(!p.startsWith("IREF") && !p.startsWith("VREF") && p != "ENBL 1;", p);
        QTRY_VERIFY(c.window.forms.find<RunEndNotice>());
        QCOMPARE(c.window.forms.find<RunEndNotice>()->lbl_ENDED->text(), ended);
    }

    // A box open over the run window when a fault ends the run, the window
    // deleted meanwhile, belongs to the main window: nothing crashes, and the
    // run's own box waits for it.
    void boxOpenWhenTheRunEnds() {
        Conditioning c;
        c.startSeason();
        QPointer<SeasoningRunWindow> run = c.window.forms.find<SeasoningRunWindow>();
        QApplication::setActiveWindow(run);
        installDialogs(nullptr);
        QTimer::singleShot(50, &c.window, [&c] {
            StatusBits bits;
            bits.faults.interlockOpen = true;
            c.window.state.setStatus(bits);
        });
        QStringList seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &c.window, [&] {
            for (QWidget *w : QApplication::allWidgets())
                if (auto *b = qobject_cast<QMessageBox *>(w);
                    b && b->isVisible() && !run && c.window.forms.find<RunEndNotice>()) {
                    seen << b->text() + u" in "_s + b->parentWidget()->objectName();
                    b->accept();
                }
        });
        poll.start(20);
        dialogs().message(u"first"_s);
        seen << u"first answered"_s;
        installDialogs(&c.dialogs);
        QCOMPARE(seen, (QStringList{"first in frm_SDIMAIN",
                                    "Seasoning abandoned: interlock open in frm_SDIMAIN",
                                    "first answered"}));
    }

    void cycleKeepsPhaseWhenStatusMovesSwitch() {
        Conditioning c;
        c.startCycle("10", "30");
        const QStringList line = c.timeline([&](int i) {
            if (i == 5)
                c.statusSays("0;", false); // the supply reports the voltage off mid on-phase
            c.cycle().CycleTimer_Timer();
            return i < 40;
        });
        QCOMPARE(line, (QStringList{"0:ENBL 1;", "5:STAT;", "5:FLT;", "30:ENBL 1;", "40:ENBL 0;"}));
    }
};

QTEST_MAIN(TestConditioning)
#include "tst_conditioning.moc"
