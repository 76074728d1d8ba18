// What the console keeps of the supply: the trend's decimation, the data log's
// file (format, locale, failures while the poll runs on) and event detection.
#include "audit/auditwindow.h"
#include "datarows.h"
#include "fakeports.h"
#include "link/devicelink.h"
#include "platform/isotime.h"
#include "platform/timer.h"
#include "records/audittrail.h"
#include "records/decimate.h"
#include "runs/seasoningengine.h"
#include "scripteddialogs.h"
#include "supply/supplyops.h"
#include "trend/recordsmenu.h"
#include "trend/trendwindow.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 Second = 1000LL * 1000 * 1000;
const QDateTime Start = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);

// A poll over a scripted supply that answers at once (the watchdog toggle too,
// so its owed reply is not waited out), with injected clocks:
// each cycle is 0.462 s later on both.
struct PollRig {
    FakeRig rig;
    DeviceLink link{rig.factory()};
    SupplyState state;
    SupplyOps ops{link, state};
    qint64 now = 0;
    PollRig() {
        for (const QByteArray &rule : QByteArray("VMON;=2048;|IMON;=1024;|FMON;=1000;|VSET;=2000;|"
                                                 "ISET;=1000;|STAT;=1;|FLT;=000000000;|LVPS;=1365;|"
                                                 "TEMP;=341;|SLVR ;=7000;|SLIR ;=856;|WDTT;=0;")
                                          .split('|'))
            rig.supply.on(rule.split('=')[0], rule.split('=')[1]);
        link.open(LinkTarget::serial(u"1"_s));
        ops.setClocks([this] { return now += TrendHistory::CycleFloorNs; },
                      [this] { return Start.addMSecs(now / 1000000); });
    }
    void cycles(int n) {
        // A tick queued while the last one runs is dropped: each runs out first.
        for (int i = 0; i < n * 7; ++i) {
            ops.pollTick();
            (void)QTest::qWaitFor([this] { return link.idle(); });
        }
    }
};

SupplySample sample(double kv, int arcs, std::optional<bool> interlock, double lvps) {
    SupplySample s;
    s.wallClock = QDateTime(QDate(2026, 3, 1), QTime(9, 5, 7, 89));
    s.readings[int(Quantity::KvMonitor)] = {"2048", 2048, kv};
    s.readings[int(Quantity::MaMonitor)] = {"1024", 1024, 0.0874};
    s.readings[int(Quantity::Lvps)] = {"1365", 1365, lvps};
    s.readings[int(Quantity::KvSetpoint)] = {"2000", 2000, 34.188};
    s.status.faults.interlockOpen = interlock;
    s.status.faults.overVoltageOk = false;
    s.arcCount = arcs;
    s.failedReplies = 3;
    return s;
}

// Steps applied to a state: "hv=1", "xray=0", "ov=0" (over-voltage ok flag),
// "ilk=1" (interlock open), "ps=1", "arc", "arm", "clear", "fail", "answer=1".
void apply(SupplyState &s, const QString &step) {
    const bool on = step.section('=', 1) == u"1";
    StatusBits bits = s.status();
    const auto flag = [&](std::optional<bool> &f) {
        f = on;
        s.setStatus(bits);
    };
    const QHash<QString, std::function<void()>> steps{
        {u"hv"_s, [&] { s.setHvEnabled(on); }},
        {u"xray"_s, [&] { s.setXrayOn(on); }},
        {u"arc"_s, [&] { s.countArc(); }},
        {u"arm"_s, [&] { s.setArcArmed(true); }},
        {u"clear"_s, [&] { s.clearArcs(); }},
        {u"fail"_s, [&] { s.countFailedReply(), s.setLinkAnswering(false); }},
        {u"answer"_s, [&] { s.setLinkAnswering(on); }},
        {u"ov"_s, [&] { flag(bits.faults.overVoltageOk); }},
        {u"ilk"_s, [&] { flag(bits.faults.interlockOpen); }},
        {u"ps"_s, [&] { flag(bits.psFault); }}};
    steps[step.section('=', 0, 0)]();
}

QStringList lines(const QString &path) {
    QFile f(path);
    // A last line without its line feed would show here as a trailing piece.
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n') : QStringList();
}

// A supply model over a scripted supply whose writes go to an audit trail in a
// folder of its own.
struct AuditRig {
    FakeRig rig;
    DeviceLink link{rig.factory()};
    SupplyState state;
    SupplyOps ops{link, state};
    QTemporaryDir dir;
    AuditTrail trail{ops, u"console"_s, dir.path()};
    AuditRig() { link.open(LinkTarget::serial(u"1"_s)); }
    void settle() {
        (void)QTest::qWaitFor([this] { return link.idle(); });
    }
    // "action|before|after|outcome|reason" per entry, oldest first.
    QStringList entries() const {
        QStringList out;
        for (const QJsonObject &e : auditEntries(readAuditFiles(dir.path()))) {
            QStringList f;
            for (const char *key : {"action", "before", "after", "outcome", "reason"})
                f << e.value(QLatin1String(key)).toString();
            out << f.join('|');
        }
        return out;
    }
};

} // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("USER", "operator7"); }

    // Each write leaves one line, as it ended, with what it changed; a run
    // leaves its start and stop, none for its steps; reads leave none.
    void auditEntries_data() {
        columns<QString, QString, QStringList>("act", "answers", "entries");
        const auto e = [](const char *text) { return QString::fromUtf8(text).split(';'); };
        row("hv on", u"hv on"_s, u"ENBL 1;=;"_s, e("HV on|off|on|taken|"));
        row("hv on refused", u"hv on"_s, u"ENBL 1;=1"_s, e("HV on|off|on|refused|"));
        row("hv on no reply", u"hv on"_s, u""_s, e("HV on|off|on|no reply|"));
        row("hv on after the off key", u"stale on"_s, u""_s,
            e("HV on|off|on|refused by the off gate|"));
        row("off key", u"off key"_s, u"ENBL 0;=;"_s, e("X-ray off key|off|off|taken|"));
        row("kV program twice", u"program"_s, u"VREF 1024;=;|VREF 2048;=1"_s,
            e("kV program||20.005 kV (1024 counts)|taken|;"
              "kV program|20.005 kV (1024 counts)|40.010 kV (2048 counts)|refused|"));
        row("fault reset", u"reset"_s, u"CLR;=$"_s, e("fault reset|||taken|"));
        row("arc clear", u"arcs"_s, u""_s, e("arc clear|3|0|taken|"));
        row("watchdog", u"watchdog"_s, u"WDTE 1;=;"_s, e("watchdog|off|on|taken|"));
        row("factory write", u"factory"_s, u""_s, e("factory write MODP||ZOR80HR|sent|new board"));
        row("serial number", u"serial"_s, u""_s, e("serial number|OLD-1|NEW-2|sent|relabelled"));
        row("unit baud rate", u"baud"_s, u"BAUD 2;=;"_s, e("unit baud rate||9600|sent|"));
        row("user options", u"options"_s,
            u"27,=27,1,105,25,0,3,10,20,1,0,|09,1,99,25,0,3,10,20,1,0,=09,1"_s,
            e("user options|1,105,25,0,3,10,20,1,0,|1,99,25,0,3,10,20,1,0,|refused|"));
        row("shutdown", u"shutdown"_s,
            u"ENBL 0;=;|99,0,=99,$|10,0,=10,$|11,0,=11,$|12,0,=12,$|13,0,=13,$"_s,
            e("HV off|off|off|sent|;local control|||taken|;shutdown zeroing||all four setpoints "
              "0|sent|"));
        row("seasoning run", u"season"_s,
            u"ENBL 1;=;|ENBL 0;=;|IREF 0;=;|VREF 1536;=;|IREF 117;=;|VREF 0;=;"_s,
            e("seasoning start||step 1: 30 kV, 1 mA, 1 s|taken|;seasoning stop||stopped|taken|"));
        row("poll reads none", u"poll"_s, u"VMON;=2048;"_s, QStringList{});
    }
    void auditEntries() {
        const auto [act, answers, entries] =
            fetch<QString, QString, QStringList>("act", "answers", "entries");
        AuditRig a;
        for (const QString &rule : answers.split('|', Qt::SkipEmptyParts))
            a.rig.supply.on(rule.section('=', 0, 0).toLatin1(), rule.section('=', 1).toLatin1());
        a.state.setKvPerBit(80.0 / 4095);
        Timer clock(20);
        runs::SeasoningEngine engine(a.ops, clock, [](int row, QString *) {
            return std::optional(row ? runs::SeasonStep{} : runs::SeasonStep{30, 1, 1, 1536, 117});
        });
        const QHash<QString, std::function<void()>> acts{
            {u"hv on"_s, [&] { a.ops.setHighVoltage(true); }},
            {u"stale on"_s, [&] { a.ops.noteOffAsked(), a.ops.setHighVoltageSince(true, 0); }},
            {u"off key"_s, [&] { a.ops.switchOffFirst(); }},
            {u"program"_s,
             [&] { a.ops.program(Channel::Kv, 1024), a.ops.program(Channel::Kv, 2048); }},
            {u"reset"_s, [&] { a.ops.resetFault(); }},
            {u"arcs"_s, [&] { a.state.setArcCount(3), a.ops.clearArcs(); }},
            {u"watchdog"_s, [&] { a.ops.setWatchdog(true); }},
            {u"factory"_s,
             [&] {
                 a.link.command(&a.link, [&]() -> Task<> {
                     co_await a.ops.factoryWriteTask(FactoryWrite::Model, "ZOR80HR",
                                                     u"new board"_s);
                 });
             }},
            {u"serial"_s,
             [&] {
                 a.state.setIdentity(IdentityField::SerialNumber, u"OLD-1"_s);
                 a.link.command(&a.link, [&]() -> Task<> {
                     co_await a.ops.serialNumberWriteTask("NEW-2", u"relabelled"_s);
                 });
             }},
            {u"baud"_s,
             [&] {
                 a.link.command(&a.link, [&]() -> Task<> { co_await a.ops.unitBaudRateTask(2); });
             }},
            {u"options"_s,
             [&] {
                 a.link.command(&a.link, [&]() -> Task<> {
                     co_await a.ops.userOptionsTask();
                     const QList<QByteArray> fields{"1",  "99", "25", "0", "3",
                                                    "10", "20", "1",  "0"};
                     co_await a.ops.saveUserOptionsTask(fields);
                 });
             }},
            {u"shutdown"_s,
             [&] {
                 a.link.command(&a.link, [&]() -> Task<> {
                     co_await a.ops.closingOffTask();
                     co_await a.ops.localControlTask();
                     for (int i = 0; i < SupplyOps::ZeroedChannels; ++i)
                         co_await a.ops.zeroChannelTask(i);
                 });
             }},
            {u"season"_s,
             [&] {
                 QObject::connect(&clock, &Timer::tick, &engine, &runs::SeasoningEngine::tick);
                 engine.start();
                 QTest::qWait(100);
                 engine.stop();
             }},
            {u"poll"_s, [&] { a.ops.readMonitors(); }}};
        acts[act]();
        a.settle();
        QCOMPARE(a.entries(), entries);
        // Who, where, when, what, and a chain that holds.
        const QList<QJsonObject> written = zor::auditEntries(readAuditFiles(a.dir.path()));
        for (const QJsonObject &e : written) {
            QCOMPARE(e.value("user"_L1).toString(), u"operator7"_s);
            QCOMPARE(e.value("host"_L1).toString(), QSysInfo::machineHostName());
            QCOMPARE(e.value("program"_L1).toString(), u"console"_s);
            QCOMPARE(e.value("link"_L1).toString(), u"1 at 9600"_s);
            QVERIFY(parseIsoTime(e.value("time"_L1).toString()));
        }
        QVERIFY(!verifyChain(readAuditFiles(a.dir.path())));
    }

    // The chain across two months as the trail wrote it, then an edit, a
    // deletion, a reordering or a month removed: the first broken line is named.
    void auditChain_data() {
        columns<QString, QString>("tamper", "broken");
        row("intact", u""_s, u""_s);
        row("line edited", u"2026-11.jsonl:edit:2"_s, u"2026-11.jsonl:2"_s);
        row("line deleted", u"2026-11.jsonl:delete:2"_s, u"2026-11.jsonl:2"_s);
        row("lines swapped", u"2026-12.jsonl:swap:1"_s, u"2026-12.jsonl:1"_s);
        row("last line of the month deleted", u"2026-11.jsonl:delete:3"_s, u"2026-12.jsonl:1"_s);
        row("first month removed", u"2026-11.jsonl:remove:0"_s, u"2026-12.jsonl:1"_s);
    }
    void auditChain() {
        const auto [tamper, broken] = fetch<QString, QString>("tamper", "broken");
        AuditRig a;
        QDateTime at(QDate(2026, 11, 30), QTime(23, 59, 58, 700), Qt::UTC);
        a.trail.setClock([&] { return at = at.addMSecs(400); });
        for (int i = 0; i < 5; ++i)
            a.ops.clearArcs();
        QCOMPARE(readAuditFiles(a.dir.path()).size(), 2);
        if (!tamper.isEmpty()) {
            QFile f(a.dir.filePath(tamper.section(':', 0, 0)));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QByteArrayList lines = f.readAll().split('\n');
            f.close();
            const QString how = tamper.section(':', 1, 1);
            const int n = tamper.section(':', 2).toInt() - 1;
            if (how == u"edit")
                lines[n].replace("\"arc clear\"", "\"arc clean\"");
            else if (how == u"delete")
                lines.removeAt(n);
            else if (how == u"swap")
                lines.swapItemsAt(n, n + 1);
            QVERIFY(how == u"remove"
                        ? f.remove()
                        : f.open(QIODevice::WriteOnly) && f.write(lines.join('\n')) > 0);
        }
        const auto found = verifyChain(readAuditFiles(a.dir.path()));
        QCOMPARE(found ? u"%1:%2"_s.arg(found->file).arg(found->line) : QString(), broken);
    }

    // Controls > Audit Trail...: newest first, by day and action, the rows
    // shown exported as CSV.
    void auditWindow() {
        ScriptedDialogs dialogs;
        AuditRig a;
        QDateTime at(QDate(2026, 12, 6), QTime(23, 59, 59), Qt::UTC);
        a.trail.setClock([&] { return at = at.addMSecs(600); });
        a.ops.clearArcs();                                              // 12-06
        a.ops.auditRun(u"cycle test start"_s, u"on 1 s, period 2 s"_s); // 12-07
        a.ops.clearArcs();                                              // 12-07
        AuditWindow w(a.dir.path());
        const auto column = [&](int c) {
            QStringList out;
            for (int r = 0; r < w.tbl_AUDIT->rowCount(); ++r)
                out << w.tbl_AUDIT->item(r, c)->text();
            return out;
        };
        QCOMPARE(column(7), (QStringList{u"arc clear"_s, u"cycle test start"_s, u"arc clear"_s}));
        w.cmb_DAY->setCurrentText(u"2026-12-07"_s);
        w.cmb_ACTION->setCurrentText(u"arc clear"_s);
        const QString time = isoTime(QDateTime(QDate(2026, 12, 7), QTime(0, 0, 0, 800), Qt::UTC));
        QCOMPARE(column(0), QStringList{time});
        dialogs.inputs.push_back(a.dir.filePath(u"out.csv"_s));
        w.btn_EXPORT_Click();
        const QStringList csv = lines(a.dir.filePath(u"out.csv"_s));
        QCOMPARE(csv.value(0), auditColumns().join(','));
        QVERIFY(csv.value(1).startsWith(time + u",operator7,"_s));
        QCOMPARE(csv.size(), 3); // and the last line feed
    }

    void decimation_data() {
        columns<int, int, double, int>("minutes", "hoursFed", "spikeAt", "columns");
        row("8 h, spike mid-span", 480, 8, 0.5, 800);
        row("8 h, spike in the first column", 480, 8, 0.0001, 800);
        row("8 h, spike in the newest sample", 480, 8, 1.0, 800);
        row("8 h after 9 h fed: ring wrapped", 480, 9, 0.95, 640);
        row("1 min, fewer samples than columns", 1, 1, 0.999, 800);
    }
    void decimation() {
        const auto [minutes, hoursFed, spikeAt, columns] =
            fetch<int, int, double, int>("minutes", "hoursFed", "spikeAt", "columns");
        TrendHistory h;
        const qsizetype n = hoursFed * 3600 * Second / TrendHistory::CycleFloorNs;
        const qsizetype spike = std::min(n - 1, qsizetype(spikeAt * n));
        for (qsizetype i = 0; i < n; ++i) {
            TrendPoint p;
            p.monotonicNs = i * TrendHistory::CycleFloorNs;
            p[Quantity::KvMonitor] = i == spike ? 3.0f : 50.0f + float(i % 7) * 0.1f;
            p.arcCount = i >= spike;
            h.add(p, Start.addMSecs(p.monotonicNs / 1000000));
        }
        QVERIFY(h.size() <= h.capacity());
        const qint64 to = h.at(h.size() - 1).monotonicNs + 1, from = to - minutes * 60 * Second;
        const QList<QPointF> drawn = decimate(h, Quantity::KvMonitor, from, to, columns);
        QVERIFY(drawn.size() <= 2 * columns);
        // Every column keeps exactly the lowest and highest value of its samples.
        const double x0 = h.wallMs(from), perColumn = columns / (h.wallMs(to) - x0);
        QMap<int, std::pair<double, double>> want, got;
        const auto widen = [&](auto &map, double x, double v) {
            const int c = std::min(columns - 1, int((x - x0) * perColumn));
            auto &[lo, hi] = map.contains(c) ? map[c] : (map[c] = {v, v});
            lo = std::min(lo, v), hi = std::max(hi, v);
        };
        for (qsizetype i = h.lowerBound(from); i < h.size(); ++i)
            widen(want, h.wallMs(h.at(i).monotonicNs), h.at(i)[Quantity::KvMonitor]);
        for (const QPointF &p : drawn)
            widen(got, p.x(), p.y());
        QCOMPARE(got, want);
        // The one-sample dip of an arc is drawn, and marked.
        const QPointF dip(h.wallMs(spike * TrendHistory::CycleFloorNs), 3.0);
        QVERIFY(drawn.contains(dip));
        QVERIFY(arcMarks(h, from, to, columns).contains(dip));
    }

    void csvRoundTrip_data() {
        columns<SupplySample, QString>("sample", "fields");
        row("interlock closed, negative rail", sample(23.4567, 2, false, -0.6162),
            u"23.457,0.087,,-0.616,,34.188,,0,0,,,0,,,,,,,0,2,3"_s);
        row("interlock unknown, 8 kV", sample(8.0, 0, std::nullopt, -12.5),
            u"8.000,0.087,,-12.500,,34.188,,0,0,,,0,,,,,,,,0,3"_s);
    }
    void csvRoundTrip() {
        const auto [sample, fields] = fetch<SupplySample, QString>("sample", "fields");
        // Decimal commas in the operator's locale must not reach the file.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QTemporaryDir dir;
        DataLog log;
        const QString path = dir.filePath(u"run.csv"_s);
        QCOMPARE(log.start(path), QString());
        log.write(sample);
        log.write(sample);
        log.stop();
        QLocale::setDefault(QLocale::c());
        const QStringList got = lines(path);
        QCOMPARE(got.size(), 4); // header, two rows, nothing after the last line feed
        QCOMPARE(got.last(), QString());
        const QStringList header = got[0].split(',');
        QCOMPARE(header.size(), 22);
        for (const char *unit : {"[kV]", "[mA]", "[A]", "[V]", "[degC]", "[arcs]"})
            QVERIFY2(header.filter(QLatin1String(unit)).size() >= 1, unit);
        const QStringList cells = got[1].split(',');
        QCOMPARE(QDateTime::fromString(cells[0], Qt::ISODateWithMs), sample.wallClock);
        QCOMPARE(cells.mid(1).join(','), fields);
        QCOMPARE(got[2], got[1]);
        // Read back, each cell is its value to within half its last decimal.
        const SampleValues values = sampleValues(sample);
        for (int i = 0; i < values.size(); ++i) {
            QCOMPARE(cells[i + 1].isEmpty(), !values[i]);
            const double half = 0.5 * std::pow(10.0, -std::max(0, sampleColumns()[i].decimals));
            QVERIFY(!values[i] || qAbs(cells[i + 1].toDouble() - *values[i]) <= half * 1.0001);
        }
        // The trend's export writes the same header and cells through the same writer.
        TrendHistory history;
        history.add(sample);
        TrendWindow trend(history);
        QCOMPARE(trend.exportCsv(dir.filePath(u"trend.csv"_s)), QString());
        const QStringList exported = lines(dir.filePath(u"trend.csv"_s));
        QCOMPARE(exported[0], got[0]);
        QCOMPARE(exported[1].section(',', 0, 2), got[1].section(',', 0, 2));
    }

    void failedWriteStopsLoggingOnly_data() {
        columns<QString, QString>("failure", "reason");
        row("disk full in mid-row", u"limit"_s, u"the disk took only part of a line"_s);
        row("file removed", u"remove"_s, u"the file is gone"_s);
    }
    void failedWriteStopsLoggingOnly() {
        const auto [failure, reason] = fetch<QString, QString>("failure", "reason");
        ScriptedDialogs dialogs;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"run.csv"_s);
        PollRig poll;
        QWidget owner;
        QMenu menu;
        QStatusBar bar(&owner);
        Records kept(poll.state, poll.ops);
        RecordsMenu records(kept, poll.state, &menu, &bar, &owner);
        // Cancel in the file box logs nothing; a file chosen there starts the log.
        dialogs.inputs = {u""_s, path};
        records.mnu_LOGFILE->trigger();
        QVERIFY(!kept.dataLog.active());
        records.mnu_LOGFILE->trigger();
        QCOMPARE(dialogs.texts(u"save"_s), QStringList(2, u"Log to File"_s));
        QVERIFY(records.lbl_LOGGING->text().startsWith("LOG: "));
        const qint64 header = QFileInfo(path).size();
        poll.cycles(1);
        const qint64 rowBytes = QFileInfo(path).size() - header;
        QVERIFY(rowBytes > 60);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        if (failure == u"limit") {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit = saved;
            limit.rlim_cur = rlim_t(header + 2 * rowBytes + rowBytes / 2);
            QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        }
        poll.cycles(1);
        if (failure == u"remove")
            QVERIFY(QFile::remove(path));
        poll.cycles(3);
        setrlimit(RLIMIT_FSIZE, &saved);
        QTRY_COMPARE(dialogs.messages().size(), 1);

        QCOMPARE(poll.rig.supply.payloads().count("VMON;"), 5);
        QCOMPARE(dialogs.messages()[0], u"Logging to %1 stopped: %2. Polling goes on; the rows "
                                        "written so far are kept."_s.arg(path, reason));
        QVERIFY(!kept.dataLog.active());
        QVERIFY(records.lbl_LOGGING->text().isEmpty());
        if (failure == u"limit") {
            const QStringList kept = lines(path);
            QCOMPARE(kept.size(), 4); // header and two whole rows, each ended
            QCOMPARE(kept[2].count(','), 21);
        }
        // Where the disk still takes the event file, it says when logging ended.
        if (failure == u"remove")
            QCOMPARE(lines(path + u".events.txt"_s).filter(u"Logging stopped"_s).size(), 1);
    }

    // A stale cycle adds no point and the trend's line breaks across it.
    void trendBreaksAcrossAnOutage_data() {
        columns<QString, int, int>("cycles", "points", "runs");
        row("all answered", u"...."_s, 4, 1);
        row("one outage", u"..xx.."_s, 4, 2);
        row("outage first", u"x.."_s, 2, 1);
        row("two outages", u".x.x."_s, 3, 3);
    }
    void trendBreaksAcrossAnOutage() {
        const auto [cycles, points, runs] = fetch<QString, int, int>("cycles", "points", "runs");
        TrendHistory h;
        qint64 ns = 0;
        for (const QChar c : cycles) {
            SupplySample s;
            s.stale = c == 'x';
            s.monotonicNs = ns += TrendHistory::CycleFloorNs;
            s.wallClock = Start.addMSecs(ns / 1000000);
            h.add(s);
        }
        QCOMPARE(int(h.size()), points);
        QCOMPARE(int(unbrokenRuns(h, 0, ns + 1).size()), runs);
    }

    // The one clock: a time without its offset is refused; one written reads back
    // as the same instant.
    void isoTimes_data() {
        columns<QString, bool>("text", "taken");
        row("offset", u"2026-03-29T02:30:04.123+02:00"_s, true);
        row("UTC", u"2026-12-07T20:03:04.123Z"_s, true);
        row("no offset", u"2026-12-07T21:03:04.123"_s, false);
        row("no T", u"2026-12-07 21:03:04+01:00"_s, false);
        row("date only", u"2026-12-07"_s, false);
    }
    void isoTimes() {
        QFETCH(QString, text);
        const auto t = parseIsoTime(text);
        QTEST(t.has_value(), "taken");
        if (t)
            QCOMPARE(parseIsoTime(isoTime(*t))->toMSecsSinceEpoch(), t->toMSecsSinceEpoch());
    }

    void events_data() {
        columns<QString, QString>("steps", "events");
        row("fault raised, cleared, raised again", u"ov=0,ov=1,ov=0,ov=0"_s,
            u"fault Over voltage fault raised|fault_cleared Over voltage fault cleared|fault Over "
            "voltage fault raised"_s);
        row("arc counts once until armed again", u"hv=1,arc,arc,arm,arc,clear"_s,
            u"arc Arc counted (1)|arc_counting Arc counting disarmed|arc_counting Arc counting "
            "armed|arc Arc counted (2)|arc_counting Arc counting disarmed|arc_counting Arc "
            "counting armed|arc_count_cleared Arc count cleared"_s);
        row("no arcs counted with HV off", u"arc"_s, u""_s);
        // The switch moved by a status read is nothing the operator asked.
        row("switch moved, lamp confirmed", u"hv=1,xray=1,hv=0,xray=0"_s,
            u"hv_on_confirmed HV on confirmed|hv_off HV off confirmed"_s);
        row("interlock and PS fault", u"ilk=1,ps=1,ilk=0,ps=0"_s,
            u"interlock_open Interlock open|fault PS fault raised|interlock_closed Interlock "
            "closed|fault_cleared PS fault cleared"_s);
        row("link lost once, restored by an answer", u"answer=1,fail,fail,answer=1,fail"_s,
            u"link_lost Link lost|link_restored Link restored|link_lost Link lost"_s);
    }
    void events() {
        QFETCH(QString, steps);
        SupplyState state;
        EventLog log(state);
        QTemporaryDir dir;
        QCOMPARE(log.attach(dir.filePath(u"e.txt"_s)), QString());
        for (const QString &step : steps.split(','))
            apply(state, step);
        QStringList texts;
        for (const EventLog::Entry &e : log.entries())
            texts << eventKey(e.type) + ' ' + e.text;
        QTEST(texts.join('|'), "events");
        // The file names the same types, each line under one clock.
        const QStringList written = lines(dir.filePath(u"e.txt"_s));
        QCOMPARE(written.size(), texts.size() + 1);
        for (int i = 0; i < texts.size(); ++i) {
            QVERIFY(parseIsoTime(written[i].section(' ', 0, 0)));
            QCOMPARE(written[i].section(' ', 1).simplified(), texts[i].simplified());
        }
    }
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
