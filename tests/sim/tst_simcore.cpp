#include "datarows.h"
#include "link/framecodec.h"
#include "sim/devicemodel.h"
#include "sim/framereader.h"
#include "sim/linksession.h"
#include "sim/options.h"
#include "sim/simulator.h"

using namespace zor::sim;
using zor::test::columns;
using zor::test::row;
using zor::test::stx;
using Framing = FrameReader::Framing;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 T0 = 100000;

// "ok:PAYLOAD", "bad:PAYLOAD", "malformed" or "oversize", one per frame.
QStringList describe(const QList<FrameReader::Frame> &frames) {
    using S = FrameReader::Frame::Status;
    static const char *const shown[] = {"ok:", "bad:", "malformed", "oversize"};
    QStringList out;
    for (const auto &f : frames)
        out << shown[static_cast<int>(f.status)] +
                   QString::fromLatin1(f.status == S::Malformed ? QByteArray() : f.payload);
    return out;
}

ModelSettings quiet(double tubeKv = -1) {
    ModelSettings s;
    s.noiseCounts = 0;
    s.kvRampMs = 4095; // one count per millisecond
    s.tube.conditionedKv = tubeKv;
    return s;
}

// Plays "[@ms ]what=expected" steps on a model, ms after T0 holding until the
// next "@": a payload and its reply ("*" takes any), an operator's "!arc" and
// whether it struck ("ok", "no"), or "!interlock open", "!interlock close",
// "!fault NAME".
// Lists the steps that went otherwise.
QStringList play(DeviceModel &model, const QStringList &steps) {
    QStringList wrong;
    qint64 t = T0;
    for (QString step : steps) {
        if (step.startsWith('@')) {
            t = T0 + step.section(' ', 0, 0).mid(1).toLongLong();
            step = step.section(' ', 1);
        }
        const QString what = step.section('=', 0, 0), expected = step.section('=', 1);
        const QString arg = what.section(' ', 1);
        QString got;
        if (what == "!arc")
            got = model.triggerArc(t) ? "ok" : "no";
        else if (what.startsWith('!'))
            what.startsWith("!fault") ? model.setFault(faultFromName(arg).value(), true, t)
                                      : model.setInterlockOpen(arg == "open", t);
        else
            got = QString::fromLatin1(model.handle(what.toLatin1(), t));
        if (expected != "*" && got != expected)
            wrong << QStringLiteral("%1 @%2: %3").arg(what).arg(t - T0).arg(got);
    }
    return wrong;
}

} // namespace

class TestSimCore : public QObject {
    Q_OBJECT
private slots:
    void cutsFrames_data() {
        columns<bool, QByteArray, QStringList>("network", "bytes", "frames");
        row("serial two, garbage before", false, "zz\r\n\x03\x02VSET;C\r\n\x02STAT;I\r\n"_ba,
            QStringList{"ok:VSET;", "ok:STAT;"});
        row("network frame, wrong checksum, no CR", false,
            "\x02VSET;\x03\x02VSET;D\r\n\x02VSET;C\n"_ba, QStringList{"bad:VSET;", "malformed"});
        row("new STX restarts", false, "\x02VSE\x02STAT;I\r\n\x02VSET;C\r"_ba,
            QStringList{"ok:STAT;"});
        row("serial oversize", false, '\x02' + QByteArray(1100, 'A') + "\r\n\x02VSET;C\r\n",
            QStringList{"oversize", "ok:VSET;"});
        row("network garbage, CR LF inside", true,
            "ab\x03\x02VS\x02"
            "A\r\nB\x03\x02\x03"_ba,
            QStringList{"ok:A\r\nB", "ok:"});
        row("network oversize", true, '\x02' + QByteArray(5000, 'A') + "\x03\x02VSET;\x03",
            QStringList{"oversize", "ok:VSET;"});
    }
    void cutsFrames() {
        auto [network, bytes, frames] =
            zor::test::fetch<bool, QByteArray, QStringList>("network", "bytes", "frames");
        const auto framing = network ? Framing::Network : Framing::Serial;
        FrameReader whole(framing);
        QCOMPARE(describe(whole.feed(bytes)), frames);
        // The same bytes one at a time, as a slow line delivers them.
        FrameReader trickle(framing);
        QList<FrameReader::Frame> collected;
        for (const char c : bytes)
            collected += trickle.feed(QByteArrayView(&c, 1));
        QCOMPARE(describe(collected), frames);
    }

    void conversations_data() {
        columns<double, QString>("tube", "steps");
        // A write is acknowledged by ';' or "$" after the code, refused by "1"
        // alone; only "09," answers "1" after its code, for an arc rate over one a second.
        row("writes and refusals", -1.0,
            "VREF 2048;=;|VREF 4096;=1|VREF 12a;=1|VREF;=1|ENBL 2;=1|WDTE 5;=1|BAUD "
            "0;=1|10,0,=10,$|12,4096,=1|13,=1|40,A2,=1|55,=1|vset;=1|=1|VSET "
            "5;=1|09,0,0,0,0,3,2,0,0,0,=09,1|09,1,111,25,0,3,10,20,1,0,=1|09,1,105,25,0,3,10,20,1,="
            "1|27,=27,1,105,20,0,5,10,20,1,0,|09,0,0,0,0,3,2,0,0,1,=09,2|27,=27,0,0,0,0,3,2,0,0,1,|"
            "40,C03,=40,$|HWVR;=C03;");
        row("ramps and falls", -1.0,
            "VREF 2048;=;|IREF 1000;=;|ENBL 1;=;|@1000 VMON;=1000;|IMON;=488;|@3000 "
            "VMON;=2048;|IMON;=1000;|FMON;=1982;|@60000 TEMP;=347;|ENBL 0;=;|@61000 "
            "VMON;=1048;|@63000 IMON;=0;");
        row("interlock and faults drop HV", -1.0,
            "ENBL 1;=;|!interlock open|STAT;=0;|FLT;=000000010;|ENBL 1;=1|!interlock "
            "close|ENBL 1;=;|!fault temp|STAT;=0;|ENBL 1;=1|CLR;=;|FLT;=000000000;|ENBL "
            "1;=;");
        // The output falls from the deadline on, not from when we look.
        row("watchdog", -1.0,
            "VREF 4095;=;|WDTE 1;=;|ENBL 1;=;|@1500 WDTT;=;|@3500 STAT;=1;|@3600 "
            "FLT;=000000100;|ENBL 1;=1|VMON;=3400;|CLR;=;|ENBL 1;=;|WDTE 0;=;|@60000 STAT;=1;");
        row("keys unlock their writes", -1.0,
            "SNUS 1-2;=1|PASS 2958;=;|SNUS 1-2;=;|SNUR;=1-2;|HWVP B01;=1|PASS 7061;=;|SLVP "
            "8888.5;=;|RAMP 50;=;|MRMP 200;=;|RAMP 19;=1|RAMP 101;=1|FILP 5000;=1|HWVP A,1;=1|HWVP "
            ";=;|CONF;=,ZOR80HR,8889,1400,2660,50,0,512,200,150,0,1500,;|PASS 0;=1|MODP X;=1");
        row("single arcs show once", -1.0,
            "!arc=no|VREF 1000;=;|ENBL 1;=;|@2000 "
            "!arc=ok|VMON;=0;|FLT;=100000000;|FLT;=000000000;|STAT;=1;");
        // Five in ten seconds is what the options allow, both ends of the period counted.
        row("too many arcs trip until CLR", -1.0,
            "ENBL 1;=;|@0 !arc=ok|@2000 !arc=ok|@4000 !arc=ok|@6000 !arc=ok|@8000 "
            "!arc=ok|STAT;=1;|@10000 !arc=ok|STAT;=0;|FLT;=100000000;|FLT;=100000000;|ENBL "
            "1;=1|CLR;=;|FLT;=000000000;|ENBL 1;=;");
        row("five in the period ride through", -1.0,
            "ENBL 1;=;|@0 !arc=ok|@2000 !arc=ok|@4000 !arc=ok|@6000 !arc=ok|@8000 !arc=ok|@10001 "
            "!arc=ok|STAT;=1;");
        row("single-arc mode trips on the first", -1.0,
            "PASS 7061;=;|ARCP 1;=;|ENBL 1;=;|!arc=ok|ENBL 1;=1|CLR;=;|ENBL 1;=;");
        row("no arc detect never trips", -1.0,
            "09,1,105,25,0,0,0,20,1,1,=09,2|ENBL "
            "1;=;|!arc=ok|!arc=ok|!arc=ok|!arc=ok|!arc=ok|!arc=ok|!arc=ok|STAT;=1;|FLT;="
            "000000000;");
        row("cold tube arcs at full scale", 20.0, "VREF 4095;=;|ENBL 1;=;|@20000 FLT;=100000000;");
        row("seasoned tube holds full scale", -1.0,
            "VREF 4095;=;|ENBL 1;=;|@600000 FLT;=000000000;");
    }
    void conversations() {
        auto [tube, steps] = zor::test::fetch<double, QString>("tube", "steps");
        DeviceModel model(quiet(tube), T0);
        QCOMPARE(play(model, steps.split('|')).join("; "), QString());
    }

    // The default seasoning schedule in one-second ticks, as the console sends it.
    void seasoningCalmsAColdTube() {
        const int schedule[][2] = {{30, 300}, {35, 300}, {40, 300}, {45, 300}, {50, 300}, {55, 300},
                                   {60, 300}, {65, 300}, {70, 300}, {75, 300}, {80, 300}, {85, 300},
                                   {80, 300}, {70, 180}, {60, 180}, {50, 180}, {80, 180}};
        const auto run = [&] {
            DeviceModel model(quiet(20), T0);
            qint64 t = T0;
            model.handle("ENBL 1;", t);
            QList<qint64> arcs;
            for (const auto &[kv, seconds] : schedule) {
                const qint64 before = model.arcs();
                model.handle("VREF " + QByteArray::number(qRound(kv * 4095 / 80.0)) + ';', t);
                for (int s = 0; s < seconds; ++s)
                    model.advance(t += 1000);
                arcs << model.arcs() - before;
            }
            return std::pair(arcs, model.hvOn());
        };
        const auto [arcs, stillOn] = run();
        QVERIFY2(arcs.first() >= 5 && arcs.last() * 4 <= arcs.first() && stillOn,
                 qPrintable(QDebug::toString(arcs)));
        QCOMPARE(run().first, arcs); // the same seed, the same run
    }

    // Idle, an 80 kV tube's level falls from 82 kV towards 20 kV, e-fold in 90
    // days of its own clock, which runs `factor` times real time.
    void idleTubeLosesConditioning_data() {
        columns<double, double, qint64, double>("days", "factor", "idleMs", "level");
        row("seasoned", 0.0, 1.0, qint64(0), 82.0);
        row("90 days on the shelf", 90.0, 1.0, qint64(0), 20 + 62 / std::exp(1.0));
        row("200 days on the shelf", 200.0, 1.0, qint64(0), 20 + 62 * std::exp(-200 / 90.0));
        row("90 days idle at 86400 times", 0.0, 86400.0, qint64(90000), 20 + 62 / std::exp(1.0));
    }
    void idleTubeLosesConditioning() {
        const auto [days, factor, idleMs, level] =
            zor::test::fetch<double, double, qint64, double>("days", "factor", "idleMs", "level");
        TubeModel tube({-1, 0.015, 150, days, factor}, 80, 1);
        tube.idle(idleMs);
        QVERIFY2(std::abs(tube.conditionedKv() - level) < 1e-9,
                 qPrintable(QString::number(tube.conditionedKv())));
    }

    // Replies that must wait (late, split) are bounded per link; the rest are counted.
    void floodKeepsTheReplyQueueBounded() {
        Simulator sim(quiet());
        sim.shaper().settings().delayMs = 60000;
        sim.shaper().settings().split = true;
        LinkSession session(sim, Framing::Network, "tcp", [](const QByteArray &) {});
        session.feed(zor::ProcessOutputString("VSET;", true).repeated(100000));
        QCOMPARE(session.pendingReplies(), LinkSession::MaxPendingReplies);
        QVERIFY(sim.describe().contains(
            QStringLiteral("%1 replies dropped").arg(100000 - LinkSession::MaxPendingReplies)));
    }

    void flags() {
        QString error;
        const auto options = parseOptions(
            QStringLiteral("zor-sim --tube cold --rating 60,2.5 --delay 40").split(' '), &error);
        QVERIFY2(options, qPrintable(error));
        QCOMPARE(options->model.tube.conditionedKv, 15.0);
        QCOMPARE(options->startupCommands, QStringList{"delay 40"});
        const auto idle = parseOptions(
            QStringLiteral("zor-sim --tube --idle-days 200 --time-factor 5").split(' '), &error);
        QVERIFY2(idle, qPrintable(error));
        QCOMPARE(idle->model.tube.conditionedKv, -1.0);
        QCOMPARE(idle->model.tube.idleDays, 200.0);
        QCOMPARE(idle->model.tube.timeFactor, 5.0);
        for (const char *bad : {"--ramp-ms=-5", "--rating=80", "--bogus", "--tube=warm",
                                "--time-factor=0", "--idle-days=-1"})
            QVERIFY2(!parseOptions({"zor-sim", bad}, &error), bad);
    }
};

QTEST_GUILESS_MAIN(TestSimCore)
#include "tst_simcore.moc"
