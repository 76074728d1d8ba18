#include "datarows.h"
#include "fakeports.h"
#include "link/devicelink.h"
#include "platform/timer.h"
#include "runs/adaptivesummary.h"
#include "runs/cycleengine.h"
#include "runs/runrecord.h"
#include "runs/schedulefile.h"
#include "runs/seasoningengine.h"
#include "runs/seasoningsteps.h"
#include "supply/quantities.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// Reports give local time with its offset: a zone an hour east of UTC.
static const bool eastOfUtc = qputenv("TZ", "CET-1");

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {

// A supply that acknowledges everything, a seasoning engine ticked by hand and
// a recorder on a clock the test moves.
struct Run {
    QTemporaryDir dir;
    FakeRig rig;
    DeviceLink link{rig.factory()};
    SupplyState state;
    SupplyOps ops{link, state};
    Timer timer{3600 * 1000};
    QDateTime now = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);
    std::vector<runs::ScheduleStep> steps;
    runs::SeasoningEngine engine{
        ops, timer, [this](int row, QString *fault) {
            return runs::scheduledStep({{}, steps, {}}, row, 0.1, 0.01, fault);
        }};
    runs::RunRecorder recorder{state, link, dir.path(), [this] { return now; }};
    runs::CycleEngine cycle{ops, timer};
    int t = 0;
    double clock = 0;
    Run() {
        rig.supply.fallback = {";", 0, {}, 5, false, false};
        link.open(LinkTarget::serial(u"1"_s));
        state.setIdentity(IdentityField::SerialNumber, u"SN-7"_s);
        QObject::connect(&engine, &runs::SeasoningEngine::stepStarted,
                         [this](int row, const runs::SeasonStep &s) {
                             if (row == runs::FinalRow)
                                 recorder.closing();
                             else
                                 recorder.stepStarted(row + 1, s.kv, s.ma, s.seconds);
                         });
        recorder.watch(ops);
    }
    void settle() {
        QVERIFY(QTest::qWaitFor([this] { return link.idle(); }, 5000));
    }
    // Ticks the engine once a second of `t` for `seconds`, after feeding the
    // events due by then ("4.5 arc", "2 kv 401": a kV set-point read back);
    // what went out and what the run decided, as "second:payload".
    QStringList timeline(int seconds, const QStringList &events) {
        QStringList out;
        qsizetype seen = 0, next = 0;
        int arcs = 0;
        const auto take = [&](int at) {
            settle();
            for (const auto p = rig.supply.payloads(); seen < p.size(); ++seen)
                out << QStringLiteral("%1:%2").arg(at).arg(QString::fromLatin1(p[seen]));
        };
        QObject scope;
        QObject::connect(
            &engine, &runs::SeasoningEngine::ended, &scope,
            [&](runs::RunEnd e, const QString &why) {
                out << QStringLiteral("%1:end %2 %3").arg(t).arg(runs::endText(e), why);
            });
        QObject::connect(&engine, &runs::SeasoningEngine::decided, &scope,
                         [&](const runs::DecisionNote &n) {
                             out << QStringLiteral("%1:%2 %3%4%5")
                                        .arg(t)
                                        .arg(runs::decisionText(n.decision))
                                        .arg(n.arcs)
                                        .arg(n.to ? QStringLiteral(" to %1").arg(n.to) : QString(),
                                             n.why.isEmpty() ? QString() : " " + n.why);
                         });
        engine.setClock([this] { return clock; });
        if (!engine.start())
            return {u"refused"_s};
        take(0);
        for (t = 1; t <= seconds && engine.running(); ++t) {
            for (; next < events.size() && events[next].section(' ', 0, 0).toDouble() <= t;
                 ++next) {
                const QStringList e = events[next].split(' ');
                clock = e[0].toDouble();
                if (e[1] == "arc"_L1)
                    state.setArcCount(++arcs);
                else
                    state.setReading(setpointOf(Channel::Kv), {"x", e[2].toLongLong(), 0});
            }
            clock = t;
            engine.tick();
            take(t);
        }
        take(t);
        return out;
    }
    // One poll cycle's kV and mA, as the poll would end it.
    void sample(double kv, double ma, double fil = 3) {
        state.setReading(Quantity::KvMonitor, {"x", 1, kv});
        state.setReading(Quantity::MaMonitor, {"x", 1, ma});
        state.setReading(Quantity::FilamentMonitor, {"x", 1, fil});
        state.finishCycle(0, now);
    }
};

QString recordOf(const QTemporaryDir &dir) {
    const QStringList names = QDir(dir.path()).entryList({u"*.jsonl"_s});
    return names.isEmpty() ? QString() : dir.filePath(names.first());
}

QJsonObject twinOf(const QString &record) {
    QFile f(record.chopped(6) + u".json"_s);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object()
                                       : QJsonObject();
}

// The PDF's text as pdftotext lays it out, and its step table: one map from
// heading to cell per row, cells told apart by two or more blanks.
struct PdfText {
    QString text;
    QList<QMap<QString, QString>> rows;
    explicit PdfText(const QString &pdf) {
        QProcess p;
        p.start(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s});
        p.waitForFinished(20000);
        text = QString::fromUtf8(p.readAllStandardOutput());
        static const QRegularExpression gap(u"\\s{2,}"_s);
        QStringList heads;
        for (const QString &line : text.split(u'\n')) {
            const QStringList cells = line.trimmed().split(gap);
            if (cells.contains(u"Set kV"_s))
                heads = cells;
            else if (!heads.isEmpty() && !cells.isEmpty() && cells[0].toInt() > 0) {
                QMap<QString, QString> row;
                for (qsizetype i = 0; i < cells.size(); ++i)
                    row[heads.value(i)] = cells[i];
                rows << row;
            }
        }
    }
};

const char *const Good = R"({"name": "Tube 7", "steps": [
  {"kv": 40, "ma": 0.5, "seconds": 300},
  {"kv": 45.5, "ma": 0.65, "seconds": 0}
]})";

} // namespace

class TestRuns : public QObject {
    Q_OBJECT
private slots:
    void scheduleRoundTrip() {
        const auto parsed = runs::parseSchedule(Good);
        QVERIFY(std::holds_alternative<runs::Schedule>(parsed));
        const runs::Schedule s = std::get<runs::Schedule>(parsed);
        QCOMPARE(s.name, u"Tube 7"_s);
        QCOMPARE(s.steps.size(), 2u);
        QCOMPARE(s.steps[1], (runs::ScheduleStep{45.5, 0.65, 0}));
        runs::Schedule quoted = s;
        quoted.name = u"a \"b\"\\c"_s;
        QCOMPARE(std::get<runs::Schedule>(runs::parseSchedule(runs::scheduleJson(quoted))), quoted);
        quoted.adaptive = runs::Adaptive{10, 1, 3, 2, 30, 4, 99};
        QCOMPARE(std::get<runs::Schedule>(runs::parseSchedule(runs::scheduleJson(quoted))), quoted);
        // Every key left out takes its default.
        QCOMPARE(std::get<runs::Schedule>(
                     runs::parseSchedule(QByteArray(Good).chopped(1) + ", \"adaptive\": {}}"))
                     .adaptive,
                 runs::Adaptive{});
    }

    // Nothing is loaded from a malformed file; the refusal names the line.
    void malformedSchedule_data() {
        columns<QByteArray, int, QString>("text", "line", "reason");
        const QByteArray head = "{\"name\": \"x\", \"steps\": [\n";
        const QByteArray step = "{\"kv\": 40, \"ma\": 0.5, \"seconds\": 300}";
        row("not JSON", "{\"name\": \"x\",\n\"steps\": [\n}"_ba, 3, u""_s);
        row("a list", "[]"_ba, 1, u"not a JSON object"_s);
        row("no name", "{\"steps\": [" + step + "]}", 1, u"\"name\""_s);
        row("unknown key", "{\"name\": \"x\", \"step\": []}"_ba, 1, u"unknown key \"step\""_s);
        row("no steps", head + "]}", 1, u"1 to 17 steps"_s);
        QByteArray many = head + step;
        for (int i = 0; i < 17; ++i)
            many += ",\n" + step;
        row("18 steps", many + "]}", 1, u"1 to 17 steps"_s);
        row("kV as text", head + step + ",\n{\"kv\": \"40\", \"ma\": 0.5, \"seconds\": 1}]}", 3,
            u"step 2: \"kv\" must be a number"_s);
        row("mA missing", head + "{\"kv\": 40, \"seconds\": 1}]}", 2,
            u"step 1: \"ma\" must be a number"_s);
        row("negative kV", head + step + ",\n\n{\"kv\": -1, \"ma\": 0, \"seconds\": 1}]}", 4,
            u"step 2: \"kv\""_s);
        row("half a second", head + "{\"kv\": 40, \"ma\": 0.5, \"seconds\": 1.5}]}", 2,
            u"whole seconds"_s);
        row("step not an object", head + step + ",\n 7]}", 3, u"step 2: a step must be"_s);
        row("step key unknown", head + "{\"kv\": 1, \"ma\": 0, \"seconds\": 1, \"s\": 1}]}", 2,
            u"unknown key \"s\""_s);
        const QByteArray rules = head + step + "],\n\"adaptive\": ";
        row("rules not an object", rules + "3}", 3, u"\"adaptive\" must be an object"_s);
        row("rule unknown", rules + "{\n\"window\": 5}}", 4, u"adaptive: unknown key \"window\""_s);
        row("window of 0", rules + "{\"hold_above\": 0,\n\"window_s\": 0}}", 4,
            u"\"window_s\" must be a whole number from 1 to 3600"_s);
        row("half a dwell", rules + "{\"dwell_s\": 1.5}}", 3, u"\"dwell_s\" must be a whole"_s);
        row("back below hold", rules + "{\"hold_above\": 3,\n \"back_above\": 2}}", 4,
            u"\"back_above\" must not be below \"hold_above\""_s);
    }
    void malformedSchedule() {
        const auto [text, line, reason] = fetch<QByteArray, int, QString>("text", "line", "reason");
        const auto parsed = runs::parseSchedule(text);
        QVERIFY(std::holds_alternative<runs::ScheduleError>(parsed));
        const runs::ScheduleError e = std::get<runs::ScheduleError>(parsed);
        QCOMPARE(e.line, line);
        QVERIFY2(e.reason.contains(reason), qPrintable(e.reason));
    }

    // Arcs at chosen seconds against the schedule's rules: the exact wire and
    // the decisions, second by second.
    void arcsDecide_data() {
        columns<QByteArray, QStringList, QStringList>("adaptive", "events", "expected");
        // Steps: 40 kV 0.5 mA 3 s, 50 kV 0.6 mA 3 s, 60 kV 0.7 mA 2 s.
        const QStringList start{"0:ENBL 1;", "0:IREF 0;", "0:VREF 400;", "0:IREF 50;"};
        row("no rules: arcs change nothing", QByteArray(),
            QStringList{"1.5 arc", "2 arc", "3.5 arc", "4 arc"},
            start + QStringList{"3:IREF 0;", "3:VREF 500;", "3:IREF 60;", "6:IREF 0;",
                                "6:VREF 600;", "6:IREF 70;", "8:IREF 0;", "8:VREF 0;", "8:IREF 0;",
                                "9:end completed ", "9:ENBL 0;"});
        row("hold, back, dwell, climb", R"({"window_s": 5, "back_above": 1, "dwell_s": 2})"_ba,
            QStringList{"1.5 kv 400", "4.5 arc", "5.5 arc"},
            start +
                QStringList{"3:IREF 0;",     "3:VREF 500;",  "3:IREF 60;",        "5:hold 1",
                            "6:back 2 to 1", "6:IREF 0;",    "6:VREF 400;",       "6:IREF 50;",
                            "8:dwell_end 0", "8:IREF 0;",    "8:VREF 500;",       "8:IREF 60;",
                            "11:IREF 0;",    "11:VREF 600;", "11:IREF 70;",       "13:IREF 0;",
                            "13:VREF 0;",    "13:IREF 0;",   "14:end completed ", "14:ENBL 0;"});
        row("hold, resume", R"({"window_s": 2, "back_above": 5})"_ba, QStringList{"1.5 arc"},
            start + QStringList{"2:hold 1", "4:resume 0", "5:IREF 0;", "5:VREF 500;", "5:IREF 60;",
                                "8:IREF 0;", "8:VREF 600;", "8:IREF 70;", "10:IREF 0;",
                                "10:VREF 0;", "10:IREF 0;", "11:end completed ", "11:ENBL 0;"});
        const auto ending = [](int at, const QString &why) {
            QStringList out{QStringLiteral("%1:end abandoned %2").arg(at).arg(why)};
            for (const char *p : {"ENBL 0;", "IREF 0;", "VREF 0;", "IREF 0;"})
                out << QStringLiteral("%1:%2").arg(at).arg(QLatin1String(p));
            return out;
        };
        row("back-offs in a row", R"({"back_above": 0, "max_backoffs": 1, "dwell_s": 5})"_ba,
            QStringList{"1.5 arc", "3.5 arc"},
            start +
                QStringList{"2:back 1 to 1", "2:IREF 0;", "2:VREF 400;", "2:IREF 50;",
                            "4:abandon 1 arcs"} +
                ending(4, u"arcs"_s));
        row("arcs in the run",
            R"({"window_s": 1, "hold_above": 5, "back_above": 5, "max_arcs": 3})"_ba,
            QStringList{"0.5 arc", "1.5 arc", "2.5 arc"},
            start + QStringList{"3:abandon 1 arcs"} + ending(3, u"arcs"_s));
        row("set-point changed elsewhere", "{}"_ba, QStringList{"1.5 kv 401"},
            start + QStringList{"2:abandon 0 set-point changed elsewhere"} +
                ending(2, u"set-point changed elsewhere"_s));
    }
    void arcsDecide() {
        const auto [adaptive, events, expected] =
            fetch<QByteArray, QStringList, QStringList>("adaptive", "events", "expected");
        Run r;
        r.steps = {{40, 0.5, 3}, {50, 0.6, 3}, {60, 0.7, 2}};
        if (!adaptive.isEmpty()) {
            const auto s = runs::parseSchedule(
                R"({"name": "", "steps": [{"kv": 1, "ma": 0, "seconds": 1}], "adaptive": )" +
                adaptive + "}");
            QVERIFY(std::holds_alternative<runs::Schedule>(s));
            r.engine.setAdaptive(std::get<runs::Schedule>(s).adaptive);
        }
        if (!adaptive.isEmpty()) {
            const auto s = runs::parseSchedule(
                R"({"name": "", "steps": [{"kv": 1, "ma": 0, "seconds": 1}], "adaptive": )" +
                adaptive + "}");
            QVERIFY(std::holds_alternative<runs::Schedule>(s));
            r.engine.setAdaptive(std::get<runs::Schedule>(s).adaptive);
        }
        QCOMPARE(r.timeline(40, events), expected);
    }

    // The summary from a record's lines alone: a step cut by a back-off or a
    // dwell's end was not held for its whole time.
    void adaptiveSummary_data() {
        columns<QStringList, QStringList>("record", "summary");
        const QString run =
            R"({"record":"run","schedule":{"steps":[{},{},{}],"adaptive":{"window_s":5}}})";
        const auto step = [](int n, int kv, int seconds, int arcs) {
            return QStringLiteral(
                       R"({"record":"step","step":%1,"planned":{"kv":%2},"seconds":%3,"arcs":%4})")
                .arg(n)
                .arg(kv)
                .arg(seconds)
                .arg(arcs);
        };
        const auto decision = [](const char *d, int at) {
            return QStringLiteral(R"({"record":"decision","decision":"%1","time":%2})")
                .arg(d)
                .arg(at);
        };
        const QString rules = "Adaptive: window_s 5, hold_above 0, back_above 2, step_back 1, "
                              "dwell_s 300, max_backoffs 3, max_arcs 50";
        row("backed off once",
            QStringList{run, step(1, 40, 3, 0), decision("hold", 5), decision("back", 6),
                        step(2, 50, 3, 2), decision("dwell_end", 8), step(1, 40, 2, 0),
                        step(2, 50, 3, 0), step(3, 60, 2, 1), step(18, 0, 1, 0),
                        R"({"record":"end","seconds":14})"},
            QStringList{rules, "Highest kV held for a full step: 60.0 kV",
                        "Time to the last step: 11 s", "Arcs per step: 1: 0, 2: 2, 3: 1",
                        "Back-offs: 1"});
        row("stopped in step 1", QStringList{run, step(1, 40, 2, 1), R"({"record":"end"})"},
            QStringList{rules, "Highest kV held for a full step: none",
                        "Time to the last step: not reached", "Arcs per step: 1: 1",
                        "Back-offs: 0"});
        row("no rules",
            QStringList{R"({"record":"run","schedule":{"steps":[{}]}})", step(1, 40, 2, 1)},
            QStringList{});
    }
    void adaptiveSummary() {
        const auto [record, summary] = fetch<QStringList, QStringList>("record", "summary");
        std::vector<QJsonObject> lines;
        for (const QString &l : record)
            lines.push_back(QJsonDocument::fromJson(l.toUtf8()).object());
        const runs::AdaptiveSummary s = runs::adaptiveSummary(lines);
        QCOMPARE(s.lines, summary);
        if (s.adaptive()) // the marks of the first row
            QCOMPARE(s.backs.size() + s.holds.size(), summary.last().endsWith('1') ? 2u : 0u);
    }

    // A whole run through the engine: each step's settled kV and mA under
    // their own headings, arcs and the trip recorded, no closing row, and the
    // start in local time with its offset.
    void reportOfWholeRun() {
        Run r;
        r.steps = {{40, 0.5, 6}, {45, 0.65, 6}, {50, 0.8, 6}};
        QVERIFY(r.recorder.begin(
            u"seasoning"_s,
            QJsonDocument::fromJson(runs::scheduleJson({u"Three"_s, r.steps, {}})).object(),
            {u"T7"_s, u"Ann"_s, u"ACME"_s}));
        QVERIFY(r.engine.start());
        r.settle();
        // Per step the ramp's samples, then two settled ones; one tick of closing zeros.
        const double kv[][2] = {{40, 40.2}, {45, 45.4}, {50, 49.8}};
        const double ma[][2] = {{0.5, 0.52}, {0.65, 0.67}, {0.8, 0.8}};
        for (int step = 0; step < 4; ++step)
            for (int t = 0; t < (step < 3 ? 6 : 1); ++t) {
                if (step == 3 || t < runs::RampSamples)
                    r.sample(t * 10.0, t * 0.1, 2);
                else
                    r.sample(kv[step][t - 4], ma[step][t - 4], 3 + step);
                if (step == 1 && t == 1)
                    r.state.setArcCount(2);
                // In the closing zeros (no step): a trip earlier would end the run.
                if (step == 3) {
                    StatusBits trip;
                    trip.faults.overCurrentOk = false;
                    trip.faults.interlockOpen = true;
                    r.state.setStatus(trip);
                }
                r.now = r.now.addSecs(1);
                r.engine.tick();
                r.settle();
            }
        QVERIFY(!r.engine.running());
        r.recorder.end(runs::RunEnd::Completed);
        const PdfText pdf(r.recorder.joinReport());
        const QList<QStringList> want = {{"1", "40.10", "0.510", "0", "3.00"},
                                         {"2", "45.20", "0.660", "2", "4.00"},
                                         {"3", "49.90", "0.800", "0", "5.00"}};
        QCOMPARE(pdf.rows.size(), want.size());
        for (qsizetype i = 0; i < want.size(); ++i) {
            const auto &row = pdf.rows[i];
            QCOMPARE(
                (QStringList{row["Step"], row["kV"], row["mA"], row["Arcs"], row["Filament A"]}),
                want[i]);
        }
        for (const QString &line :
             {u"Verdict: Completed: all 3 steps held."_s, u"Tube: T7"_s, u"Customer: ACME"_s,
              u"Started: 2027-01-15 09:00:00 +01:00"_s, u"(step 0): Over current fault raised"_s})
            QVERIFY2(pdf.text.contains(line), qPrintable(line));
        const QJsonObject twin = twinOf(recordOf(r.dir));
        QCOMPARE(twin["started"_L1].toString(), u"2027-01-15T09:00:00.000+01:00"_s);
        QCOMPARE(twin["steps"_L1].toArray().size(), 3);
        QCOMPARE(twin["steps"_L1][1]["kv"_L1]["mean"_L1].toDouble(), 45.2);
        QCOMPARE(twin["steps"_L1][1]["ma"_L1]["mean"_L1].toDouble(), 0.66);
        QCOMPARE(twin["events"_L1][0]["text"_L1].toString(), u"Over current fault raised"_s);
        QCOMPARE(twin["events"_L1][0]["step"_L1].toInt(), 0);
        QCOMPARE(twin["events"_L1][1]["kind"_L1].toString(), u"interlock"_s);
    }

    // The supply refusing the start's switch-on is in the record.
    void refusedSwitchOnRecorded() {
        Run r;
        r.rig.supply.on("ENBL 1;", "1");
        r.steps = {{40, 0.5, 6}};
        r.recorder.begin(u"seasoning"_s, {});
        QVERIFY(r.engine.start());
        r.settle();
        r.engine.stop();
        r.settle();
        r.recorder.end(runs::RunEnd::Stopped);
        r.recorder.joinReport();
        QCOMPARE(twinOf(recordOf(r.dir))["events"_L1][0]["text"_L1].toString(), u"HV on refused"_s);
    }

    // What ends either run on its own, and what it sends then: the off and the
    // zeros, except to a unit the run never drove.
    void runEndsOnItsOwn_data() {
        columns<bool, QString, QByteArrayList, QString>("cycle", "event", "wire", "end");
        const QByteArrayList off{"ENBL 0;", "IREF 0;", "VREF 0;", "IREF 0;"};
        for (const bool cycle : {false, true}) {
            const QByteArrayList on =
                cycle ? QByteArrayList{"ENBL 1;"}
                      : QByteArrayList{"ENBL 1;", "IREF 0;", "VREF 400;", "IREF 50;"};
            const auto name = [cycle](const char *n) {
                return qstrdup(qPrintable((cycle ? u"cycle: "_s : u"season: "_s) + n));
            };
            row(name("port changed"), cycle, u"port"_s, on, u"abandoned port changed"_s);
            row(name("interlock opens"), cycle, u"interlock"_s, on + off,
                u"abandoned interlock open"_s);
            row(name("over current"), cycle, u"over current"_s, on + off,
                u"abandoned over current fault"_s);
            row(name("arc in one poll"), cycle, u"arc once"_s, on, u""_s);
            row(name("arc latched over two polls"), cycle, u"arc latched"_s, on + off,
                u"abandoned arc trip"_s);
            row(name("on refused"), cycle, u"refused"_s, QByteArrayList{"ENBL 1;"} + off,
                u"abandoned switch-on refused"_s);
            row(name("off asked before the start"), cycle, u"off before"_s, QByteArrayList{},
                u"not started"_s);
        }
    }
    void runEndsOnItsOwn() {
        const auto [cycle, event, wire, end] =
            fetch<bool, QString, QByteArrayList, QString>("cycle", "event", "wire", "end");
        Run r;
        r.steps = {{40, 0.5, 60}};
        QString ended;
        const auto told = [&](runs::RunEnd e, const QString &why) {
            ended = runs::endText(e) + u' ' + why;
        };
        QObject::connect(&r.engine, &runs::SeasoningEngine::ended, told);
        QObject::connect(&r.cycle, &runs::CycleEngine::ended, told);
        if (event == "refused"_L1)
            r.rig.supply.on("ENBL 1;", "1");
        const quint64 seen = r.ops.offAsked();
        if (event == "off before"_L1)
            r.ops.noteOffAsked();
        if (!(cycle ? r.cycle.start(1, 600, seen) : r.engine.start(seen)))
            ended = u"not started"_s;
        r.settle();
        StatusBits bits;
        const auto poll = [&] {
            r.state.setStatus(bits);
            r.state.finishCycle(0, r.now);
        };
        if (event == "port"_L1)
            r.state.noteTransportChange(u"COMM2 at 9600"_s);
        if (event == "interlock"_L1)
            bits.faults.interlockOpen = true;
        if (event == "over current"_L1)
            bits.faults.overCurrentOk = false;
        bits.faults.arcOk = !event.startsWith("arc"_L1);
        poll();
        if (event == "arc once"_L1)
            bits.faults.arcOk = true;
        poll();
        r.settle();
        QCOMPARE(r.rig.supply.payloads(), wire);
        QCOMPARE(ended, end);
    }

    // A stop's off goes out before the record and its report are written:
    // with an overnight record of 50,000 samples, within 25 ms of the key. With
    // the supply silent, it goes out through the off lane, next after the
    // exchange in flight and ahead of the commands queued.
    void stopOffFirst_data() {
        columns<bool, bool>("cycle", "silent");
        row("season", false, false);
        row("cycle", true, false);
        row("season, supply silent", false, true);
        row("cycle, supply silent", true, true);
    }
    void stopOffFirst() {
        const auto [cycle, silent] = fetch<bool, bool>("cycle", "silent");
        Run r;
        r.steps = {{40, 0.5, 60}};
        const auto write = [&r](runs::RunEnd e, const QString &why) { r.recorder.end(e, why); };
        QObject::connect(&r.engine, &runs::SeasoningEngine::ended, write);
        QObject::connect(&r.cycle, &runs::CycleEngine::ended, write);
        r.recorder.begin(u"seasoning"_s, {});
        QVERIFY(cycle ? r.cycle.start(1, 600) : r.engine.start());
        r.settle();
        r.recorder.stepStarted(1, 40, 0.5, 60);
        for (int i = 0; !silent && i < 50000; ++i)
            r.sample(40, 0.5);
        r.rig.supply.silentOn("VMON;");
        for (int i = 0; silent && i < 3; ++i)
            r.ops.readMonitors();
        if (silent)
            QVERIFY(QTest::qWaitFor([&r] { return r.rig.supply.payloads().endsWith("VMON;"); }));
        const qsizetype before = r.rig.supply.frames.size();
        const qint64 key = r.rig.supply.nowMs();
        cycle ? r.cycle.stop() : r.engine.stop();
        QVERIFY(QTest::qWaitFor([&] { return r.rig.supply.frames.size() > before; }, 3000));
        QCOMPARE(r.rig.supply.frames[before].payload, "ENBL 0;"_ba);
        QCOMPARE_LE(r.rig.supply.frames[before].atMs - key, silent ? 1500 : 25);
        QVERIFY(!r.recorder.joinReport().isEmpty());
    }

    // Every ending gets its verdict, the record's own words for one the
    // report does not know; steps never started are listed as not reached.
    void verdicts_data() {
        columns<QString, QString, int, QString>("end", "why", "reached", "verdict");
        row("completed", u"completed"_s, u""_s, 3, u"Completed: all 3 steps held."_s);
        row("stopped", u"stopped"_s, u""_s, 2, u"Stopped by the operator at step 2 of 3."_s);
        row("X-ray off", u"X-ray off"_s, u""_s, 1, u"Ended by the X-ray off key at step 1 of 3."_s);
        row("abandoned", u"abandoned"_s, u"Step 3: 120 kV cannot be set."_s, 2,
            u"Abandoned at step 2 of 3: Step 3: 120 kV cannot be set."_s);
        row("abandoned on a fault", u"abandoned: over current"_s, u""_s, 2,
            u"Abandoned: over current at step 2 of 3."_s);
        row("link lost", u"link lost"_s, u""_s, 2,
            u"Ended at step 2 of 3: the supply stopped answering."_s);
        row("shutdown", u"shutdown"_s, u""_s, 2, u"Ended at step 2 of 3 by Shutdown and Exit."_s);
        row("interrupted", u""_s, u""_s, 2,
            u"Interrupted at step 2 of 3: the console ended without closing the record."_s);
    }
    void verdicts() {
        const auto [end, why, reached, verdict] =
            fetch<QString, QString, int, QString>("end", "why", "reached", "verdict");
        Run r;
        r.steps = {{40, 0.5, 6}, {45, 0.65, 6}, {50, 0.8, 6}};
        r.recorder.begin(
            u"seasoning"_s,
            QJsonDocument::fromJson(runs::scheduleJson({u"Three"_s, r.steps, {}})).object());
        for (int step = 1; step <= reached; ++step) {
            r.recorder.stepStarted(step, 35 + 5 * step, 0.5, 6);
            for (int t = 0; t < 6; ++t)
                r.sample(35 + 5 * step, 0.5);
        }
        r.recorder.closing();
        QFile record(recordOf(r.dir));
        QVERIFY(record.open(QIODevice::Append));
        if (!end.isEmpty())
            record.write(QJsonDocument(QJsonObject{{"record", "end"}, {"end", end}, {"why", why}})
                             .toJson(QJsonDocument::Compact));
        record.close();
        const PdfText pdf(runs::writeReport(record.fileName()));
        QVERIFY2(pdf.text.contains(u"Verdict: "_s + verdict), qPrintable(pdf.text));
        QCOMPARE(twinOf(record.fileName())["verdict"_L1].toString(), verdict);
        QCOMPARE(pdf.rows.size(), 3);
        for (int step = 1; step <= 3; ++step)
            QCOMPARE(pdf.rows[step - 1]["kV"], step <= reached
                                                   ? QString::number(35 + 5 * step) + u".00"_s
                                                   : u"not reached"_s);
        QCOMPARE(twinOf(record.fileName())["notReached"_L1].toArray().size(), 3 - reached);
    }

    // The warning before X-rays counts down once, before the run's first on:
    // nothing goes out during it; a stop then cancels it and no on goes out.
    void runCountsDownOnce_data() {
        columns<bool, int>("stopped", "ons");
        row("counted down", false, 1);
        row("stopped during it", true, 0);
    }
    void runCountsDownOnce() {
        const auto [stopped, ons] = fetch<bool, int>("stopped", "ons");
        Run r;
        r.steps = {{40, 0.5, 1}};
        r.ops.xrayWarning().setSeconds(1);
        QVERIFY(r.engine.start());
        QTest::qWait(700);
        QVERIFY(r.rig.supply.payloads().isEmpty());
        if (stopped)
            r.engine.stop();
        QTest::qWait(500);
        r.settle();
        QCOMPARE(r.rig.supply.payloads().count("ENBL 1;"), ons);
        QCOMPARE(r.rig.supply.payloads().value(ons), stopped ? "ENBL 0;"_ba : "IREF 0;"_ba);
    }

    // A record cut mid-run (even mid-line) is reported at the next start as
    // "interrupted", with the steps that were finished.
    void cutRecordReportedInterrupted() {
        QString folder;
        {
            Run r;
            r.steps = {{40, 0.5, 5}};
            r.recorder.begin(u"seasoning"_s, {{"name", "Cut"}});
            for (int step = 1; step <= 31; ++step)
                r.recorder.stepStarted(step, 40, 0.5, 5);
            folder = r.dir.path();
            r.dir.setAutoRemove(false);
            QFile cut(recordOf(r.dir));
            QVERIFY(cut.open(QIODevice::Append));
            cut.write("{\"record\": \"st");
        }
        const QStringList reports = runs::reportInterrupted(folder);
        QCOMPARE(reports.size(), 1);
        QCOMPARE(runs::listReports(folder), reports);
        const QJsonObject twin = twinOf(reports.first().chopped(4) + u".jsonl"_s);
        QCOMPARE(twin.value("end"_L1).toString(), u"interrupted"_s);
        QCOMPARE(twin.value("steps"_L1).toArray().size(), 30);
        // The table goes on over the pages it needs.
        QCOMPARE(PdfText(reports.first()).rows.size(), 30);
        QVERIFY(runs::reportInterrupted(folder).isEmpty());
        QDir(folder).removeRecursively();
    }
};

QTEST_MAIN(TestRuns)
#include "tst_runs.moc"
