// The supply model: pure reply parsers, and the operations over a scripted
// supply (payloads, their order, conversions, state, change signals).
#include "datarows.h"
#include "fakeports.h"
#include "link/devicelink.h"
#include "records/samplerow.h"
#include "supply/supplyops.h"

#include <QSignalSpy>
#include <numeric>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {

template <typename T> QString shown(const std::optional<T> &v) {
    if constexpr (std::is_same_v<T, bool>)
        return v ? QString::number(*v) : u"?"_s;
    return v ? QVariant::fromValue(*v).toString() : u"none"_s;
}
QString shown(const parse::FaultFlags &f) {
    QString s;
    for (const auto &b : {f.arcOk, f.tempOk, f.overVoltageOk, f.underVoltageOk, f.overCurrentOk,
                          f.underCurrentOk, f.watchdogOk, f.interlockOpen, f.operationOk})
        s += shown(b);
    return s;
}

QString parsed(const QString &parser, const QByteArray &r) {
    using namespace parse;
    if (parser == u"monitor")
        return shown(monitorCount(r));
    if (parser == u"fullScale")
        return shown(fullScale(r));
    if (parser == u"flt")
        return shown(faultFlags(r));
    if (parser == u"net")
        return shown(networkStatus(r).hvOn) + shown(networkStatus(r).interlockOpen) +
               shown(networkStatus(r).psFault);
    if (parser == u"text")
        return shown(textValue(r)) + u"|"_s + shown(hardwareRevision(r));
    const auto fw = firmwareRevision(r);
    return fw ? QString::fromLatin1(fw->revision) + u"|"_s + shown(fw->build) : u"none"_s;
}

// A row whose columns are all text.
template <typename... A> void textRow(const char *name, const A &...v) {
    row(name, QString::fromLatin1(v)...);
}

// The state as "key=value" items that differ from a fresh state's.
QStringList items(const SupplyState &s) {
    QStringList out;
    const auto reading = [](const Reading &r) {
        return u"%1/%2/%3"_s.arg(QString::fromLatin1(r.text), shown(r.count))
            .arg(r.value, 0, 'g', 6);
    };
    // Every quantity, in the table's order.
    const SupplySample now = s.sample();
    for (int i = 0; i < QuantityCount; ++i)
        out << u"r%1=%2"_s.arg(i).arg(reading(now.readings[i]));
    out << u"hv=%1"_s.arg(s.hvEnabled()) << u"xray=%1"_s.arg(s.xrayOn())
        << u"bits="_s + shown(s.status().faults) + shown(s.status().psFault)
        << u"arcs=%1"_s.arg(s.arcCount()) << u"armed=%1"_s.arg(s.arcArmed())
        << u"wdt=%1"_s.arg(s.watchdogEnabled()) << u"kvPerBit=%1"_s.arg(s.kvPerBit(), 0, 'g', 6)
        << u"maPerBit=%1"_s.arg(s.maPerBit(), 0, 'g', 6) << u"failed=%1"_s.arg(s.failedReplies());
    for (int i = 0; i < IdentityFieldCount; ++i)
        out << u"id%1=%2"_s.arg(i).arg(s.identity(IdentityField(i)));
    return out;
}

QString changed(const SupplyState &s) {
    const QStringList fresh = items(SupplyState());
    QStringList out = items(s);
    out.removeIf([&](const QString &item) { return fresh.contains(item); });
    return out.join(' ');
}

// Calls as "name" or "name:n". "step:n" runs poll step n: 0 monitors, 1 kV setpoint,
// 2 mA setpoint, 3 status, 4 aux monitors, 5 scaling, 6 watchdog.
const QHash<QString, std::function<void(SupplyOps &, int)>> Ops{
    {u"prog"_s, [](SupplyOps &o, int n) { o.program(Channel(n), n ? 100 : 2048); }},
    {u"hv"_s, [](SupplyOps &o, int n) { o.setHighVoltage(n); }},
    {u"id"_s, [](SupplyOps &o, int n) { o.readIdentity(IdentityField(n)); }},
    {u"wdt"_s, [](SupplyOps &o, int n) { o.setWatchdog(n); }},
    {u"service"_s, [](SupplyOps &o, int) { o.resetFault(), o.localControl(); }},
    {u"step"_s,
     [](SupplyOps &o, int n) {
         o.link().command(nullptr, [&o, n] { return (o.*SupplyOps::PollSteps[n].run)(); });
     }},
    {u"tick"_s, [](SupplyOps &o, int) { o.pollTick(); }},
    {u"net"_s, [](SupplyOps &o, int) { o.applyNetworkStatus(stx("ABC1x1x1")); }},
};

// Each call runs to its end before the next is made.
void run(SupplyOps &ops, const QString &calls) {
    for (const QString &call : calls.split(',')) {
        Ops[call.section(':', 0, 0)](ops, call.section(':', 1).toInt());
        QVERIFY(QTest::qWaitFor([&ops] { return ops.link().idle(); }, 5000));
    }
}

struct Rig {
    FakeRig rig;
    DeviceLink link{rig.factory()};
    SupplyState state;
    SupplyOps ops{link, state};
    // Every change signal of the state; events (failed replies, cycles) are left out.
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    Rig() {
        link.open(LinkTarget::serial(u"1"_s));
        ops.setClocks([] { return qint64(42); },
                      [] { return QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC); });
        const QMetaObject *mo = state.metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
            if (const QByteArray n = mo->method(i).name();
                n.endsWith("Changed") && !n.startsWith("failed") && !n.startsWith("poll"))
                spies.push_back(std::make_unique<QSignalSpy>(&state, mo->method(i)));
    }
    int changes() const {
        return std::accumulate(spies.begin(), spies.end(), 0,
                               [](int n, const auto &spy) { return n + int(spy->size()); });
    }
};

} // namespace

class TestSupply : public QObject {
    Q_OBJECT
private slots:
    void parsers_data() {
        columns<QString, QString, QString>("parser", "reply", "expected");
        textRow("monitor sign is bad", "monitor", "^-5;", "none");
        textRow("full scale ; before 5 skipped", "fullScale", "^8;5;", "none");
        textRow("full scale of two digits", "fullScale", "^80;", "none");
        textRow("full scale signed", "fullScale", "^-8000;", "none");
        textRow("full scale not a number", "fullScale", "^14O0;", "none");
        textRow("flt short keeps rest unknown", "flt", "^01x", "10???????");
        textRow("net off, closed, no fault", "net", "^ABC0x0x0", "000");
        textRow("net interlock open only", "net", "^xxx-x1x-", "?1?");
        textRow("text without ;", "text", "^A0", "none|A0");
        textRow("firmware without build", "frev", "^REV", "REV|none");
    }
    void parsers() {
        QFETCH(QString, parser);
        QFETCH(QString, reply);
        // "^" stands for the STX.
        QTEST(parsed(parser, reply.replace('^', QChar(2)).toLatin1()), "expected");
    }

    // Each quantity's row from a literal count to its panel text and its cell in
    // files, at kvPerBit 0.017094 and maPerBit 0.000209035 (SLVR 7000, SLIR 856).
    void quantities_data() {
        columns<int, int, QString, QString>("quantity", "count", "shown", "cell");
        using enum Quantity;
        row("kV monitor", int(KvMonitor), 2048, u"35.009 kV"_s, u"35.009"_s);
        row("kV monitor at zero", int(KvMonitor), 0, u"0.000 kV"_s, u"0.000"_s);
        row("mA monitor", int(MaMonitor), 1024, u"0.214 mA"_s, u"0.214"_s);
        row("filament", int(FilamentMonitor), 1000, u"1.465 A"_s, u"1.465"_s);
        row("filament drops a zero", int(FilamentMonitor), 2048, u"3.001 A"_s, u"3.001"_s);
        row("LVPS healthy", int(Lvps), 1562, u"-15.00 V"_s, u"-15.000"_s);
        row("LVPS above its zero", int(Lvps), 4000, u".17 V"_s, u"0.174"_s);
        row("temperature", int(Temperature), 341, u"25.0"_s, u"24.98"_s);
        row("temperature at zero", int(Temperature), 0, u".0"_s, u"0.00"_s);
        row("kV setpoint full scale", int(KvSetpoint), 4095, u"70.000 kV"_s, u"70.000"_s);
        row("mA setpoint negative", int(MaSetpoint), -5, u"-0.001 mA"_s, u"-0.001"_s);
    }
    void quantities() {
        const auto [quantity, count, shown, cell] =
            fetch<int, int, QString, QString>("quantity", "count", "shown", "cell");
        const auto q = Quantity(quantity);
        const double value = quantityValue(q, count, 0.017094, 0.000209035);
        QCOMPARE(displayText(q, value), shown);
        QCOMPARE(fileNumber(value, info(q).decimals), cell);
    }

    void operations_data() {
        // After the state, "again=N": change signals when the same answers come once more.
        columns<QString, QString, QString, QString>("calls", "script", "sent", "state");
        textRow(
            "scale, monitors, setpoints", "step:5,step:0,step:4,step:1,step:2",
            "SLVR ;=7000;|SLIR ;=856;|VMON;=2048;|IMON;=1024;|FMON;=1000;|LVPS;=1365;|TEMP;=341;|"
            "VSET;=2048;|ISET;=-5;",
            "SLVR ;|SLIR ;|VMON;|IMON;|FMON;|LVPS;|TEMP;|VSET;|ISET;",
            "r0=2048/2048/35.0085 r1=1024/1024/0.214052 r2=1000/1000/1.4652 "
            "r3=1365/1365/-16.226 r4=341/341/24.9817 r5=2048/2048/35.0085 "
            "r6=-5/-5/-0.00104518 kvPerBit=0.017094 maPerBit=0.000209035");
        textRow("short full scales", "step:5", "SLVR ;=800;|SLIR ;=100;", "SLVR ;|SLIR ;",
                "kvPerBit=0.0019536 maPerBit=2.442e-05");
        textRow("zero full scales", "step:5", "SLVR ;=000;|SLIR ;=0000;", "SLVR ;|SLIR ;",
                "maPerBit=0");
        textRow("bad SLIR keeps the kV scale", "step:5", "SLVR ;=8000;|SLIR ;=14O0;",
                "SLVR ;|SLIR ;", "kvPerBit=0.019536");
        textRow("bad VMON, bad SLVR end their runs", "step:0,step:5",
                "VMON;=12a;|IMON;=1;|SLVR ;=7a00;|SLIR ;=856;", "VMON;|SLVR ;", "r0=12a/none/0");
        textRow("one arc counted while on", "step:3,step:3", "STAT;=1;|FLT;=100000000;",
                "STAT;|FLT;|STAT;|FLT;", "hv=1 xray=1 bits=011111101? arcs=1 armed=0");
        textRow("arc while off not counted", "step:3", "STAT;=0;|FLT;=100000000;", "STAT;|FLT;",
                "bits=011111101?");
        textRow("open interlock drops switch", "step:3", "STAT;=1;|FLT;=000000010;", "STAT;|FLT;",
                "xray=1 bits=111111111? again=2");
        textRow("silent STAT counts, FLT read", "step:3", "FLT;=0;", "STAT;|FLT;",
                "bits=1????????? failed=1");
        textRow("refused, garbled", "prog:0,prog:1,hv:1", "VREF 2048;=1;|IREF 100;=x;|ENBL 1;=1",
                "VREF 2048;|IREF 100;|ENBL 1;", "hv=1 failed=1 ack=0:1 ack=1:3 ack=2:1");
        textRow("taken", "prog:0,hv:1,wdt:1,service,step:6",
                "VREF 2048;=;|ENBL 1;=;|WDTE 1;=;|CLR;=$|99,0,=99,$",
                "VREF 2048;|ENBL 1;|WDTE 1;|CLR;|99,0,|WDTT;",
                "r5=2048/2048/0 hv=1 xray=1 wdt=1 ack=0:0 ack=2:0 ack=4:0 ack=5:0");
        textRow("identity", "id:0,id:1,id:2,id:3,id:4",
                "HWVR;=A01xyz;|MODR;=ZOR-50;|FREV;=ABCDEFGHIJKLMNOB42,|SOFT;=B42;|SNUR;=SN7;",
                "HWVR;|MODR;|FREV;|SOFT;|SNUR;",
                "id0=A01 id1=ZOR-50 id2=ABCDEFGHIJK id3=B42 id4=SN7");
        textRow("silent FREV", "id:2", "", "FREV;", "failed=1 unknown=2 unknown=3");
        // Seven ticks make one cycle in the windows' order, closed by one stamped sample.
        textRow(
            "poll", "tick,tick,tick,tick,tick,tick,tick,tick", "*=1;",
            "VMON;|IMON;|FMON;|VSET;|ISET;|STAT;|FLT;|LVPS;|TEMP;|SLVR ;|WDTT;|VMON;|IMON;|FMON;",
            "r0=1/1/0 r1=1/1/0.000341 r2=1/1/0.0014652 r3=1/1/-24.7155 r4=1/1/0.0732601 "
            "r5=1/1/0 r6=1/1/0.000341 hv=1 xray=1 bits=0????????? arcs=1 armed=0 "
            "sample=1@42/2027-01-15T08:00:00Z");
        textRow("network status", "net", "", "", "hv=1 xray=1 bits=???????1?1");
    }
    void operations() {
        QFETCH(QString, calls);
        QFETCH(QString, script);
        Rig r;
        // "payload=reply", or "*=reply" for every payload.
        for (const QString &rule : script.split('|', Qt::SkipEmptyParts))
            if (const QByteArray text = rule.section('=', 1).toLatin1(); rule.startsWith('*'))
                r.rig.supply.fallback = {text, 0, {}, 5, false, false};
            else
                r.rig.supply.on(rule.section('=', 0, 0).toLatin1(), text);
        QStringList events;
        connect(&r.ops, &SupplyOps::answered, [&](SupplyOps::Operation op, parse::Ack ack) {
            events << u"ack=%1:%2"_s.arg(int(op)).arg(int(ack));
        });
        connect(&r.state, &SupplyState::identityUnknown,
                [&](IdentityField f) { events << u"unknown=%1"_s.arg(int(f)); });
        connect(&r.state, &SupplyState::sampled, [&](const SupplySample &s) {
            events << u"sample=%1@%2/%3"_s.arg(QString::number(s.cycle),
                                               QString::number(s.monotonicNs),
                                               s.wallClock.toString(Qt::ISODate));
        });
        run(r.ops, calls);
        QTEST(QString::fromLatin1(r.rig.supply.payloads().join('|')), "sent");
        QString now = (changed(r.state) + ' ' + events.join(' ')).trimmed();
        // Only a value that really changes may be signalled. Silent rows are not
        // repeated: each silence waits out the reply limit.
        const int first = r.changes();
        if (!QByteArray(QTest::currentDataTag()).startsWith("silent"))
            run(r.ops, calls);
        if (const int again = r.changes() - first)
            now += u" again=%1"_s.arg(again);
        QTEST(now, "state");
    }
};

QTEST_GUILESS_MAIN(TestSupply)
#include "tst_supply.moc"
