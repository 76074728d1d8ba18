#include "datarows.h"
#include "link/replycut.h"
#include "sim/devicemodel.h"
#include "sim/framereader.h"
#include "sim/operatorcommands.h"
#include "sim/options.h"
#include "sim/payloadlog.h"
#include "sim/replyshaper.h"
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
    QStringList out;
    for (const auto &f : frames)
        out << (f.status == S::Ok            ? "ok:" + QString::fromLatin1(f.payload)
                : f.status == S::BadChecksum ? "bad:" + QString::fromLatin1(f.payload)
                : f.status == S::Malformed   ? QStringLiteral("malformed")
                                             : QStringLiteral("oversize"));
    return out;
}

ModelSettings quiet() {
    ModelSettings s;
    s.noiseCounts = 0;
    s.kvRampMs = 4095; // one count per millisecond
    return s;
}

// Sends "[@ms ]payload=reply" steps to a model, ms after T0 holding until the
// next "@", and lists "payload @ms: reply" for each reply that differs ("*": any).
struct Script {
    DeviceModel &model;
    qint64 at = 0;
    QStringList operator()(std::initializer_list<const char *> steps) {
        QStringList wrong;
        for (QString step : steps) {
            if (step.startsWith('@')) {
                at = step.section(' ', 0, 0).mid(1).toLongLong();
                step = step.section(' ', 1);
            }
            const QString payload = step.section('=', 0, 0), reply = step.section('=', 1);
            const QByteArray got = model.handle(payload.toLatin1(), T0 + at);
            if (reply != "*" && got != reply.toLatin1())
                wrong << QStringLiteral("%1 @%2: %3").arg(payload).arg(at).arg(QString(got));
        }
        return wrong;
    }
    int value(const char *query) { return model.handle(query, T0 + at).chopped(1).toInt(); }
};

} // namespace

class TestSimCore : public QObject {
    Q_OBJECT
private slots:
    void cutsFrames_data() {
        columns<bool, QByteArray, QStringList>("network", "bytes", "frames");
        row("serial VSET", false, "\x02VSET;C\r\n"_ba, QStringList{"ok:VSET;"});
        row("serial two in one read", false, "\x02VSET;C\r\n\x02STAT;I\r\n"_ba,
            QStringList{"ok:VSET;", "ok:STAT;"});
        row("serial numeric", false, stx("10,0,W\r\n"), QStringList{"ok:10,0,"});
        row("serial empty payload", false, "\x02@\r\n"_ba, QStringList{"ok:"});
        row("garbage before", false, "zz\r\n\x03" + stx("99,1,E\r\n"), QStringList{"ok:99,1,"});
        row("wrong checksum", false, "\x02VSET;D\r\n"_ba, QStringList{"bad:VSET;"});
        row("no CR", false, "\x02VSET;C\n"_ba, QStringList{"malformed"});
        row("LF alone", false, "\x02\n"_ba, QStringList{"malformed"});
        row("new STX restarts", false, "\x02VSE\x02STAT;I\r\n"_ba, QStringList{"ok:STAT;"});
        row("unfinished", false, "\x02VSET;C\r"_ba, QStringList{});
        row("network frame is not serial", false, "\x02VSET;\x03"_ba, QStringList{});
        row("network VSET", true, "\x02VSET;\x03"_ba, QStringList{"ok:VSET;"});
        row("network two", true, stx("27,\x03") + stx("96,\x03"), QStringList{"ok:27,", "ok:96,"});
        row("network empty", true, "\x02\x03"_ba, QStringList{"ok:"});
        row("network garbage and restart", true, "ab\x03\x02VS\x02STAT;\x03"_ba,
            QStringList{"ok:STAT;"});
        row("network keeps CR LF inside", true, stx("A\r\nB\x03"), QStringList{"ok:A\r\nB"});
    }
    void cutsFrames() {
        QFETCH(bool, network);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, frames);
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

    void countsWhatItRejects() {
        FrameReader reader(Framing::Serial);
        reader.feed("xy\x02VSET;D\r\n\x02VSET;C\r\n\x02Q\n"_ba);
        const auto &n = reader.counters();
        QCOMPARE(QList<qint64>({n.good, n.badChecksum, n.malformed, n.skippedBytes}),
                 QList<qint64>({1, 1, 1, 2}));
        QVERIFY(!reader.midFrame());
        reader.feed("\x02VS"_ba);
        QVERIFY(reader.midFrame());
    }

    void dropsOversizeFramesAndRecovers() {
        FrameReader reader(Framing::Serial, 8);
        // Eight characters still fit; the checksum of "12345678" is a backslash.
        QCOMPARE(describe(reader.feed(stx("12345678\\\r\n"))), QStringList{"ok:12345678"});
        QCOMPARE(describe(reader.feed(stx("123456789AB\r\n\x02VSET;C\r\n"))),
                 (QStringList{"oversize", "ok:VSET;"}));
        QCOMPARE(reader.counters().oversize, 1);
        // A giant frame without a terminator is dropped in pieces on either link.
        for (const auto framing : {Framing::Serial, Framing::Network}) {
            const bool serial = framing == Framing::Serial;
            FrameReader giant(framing);
            QStringList seen = describe(giant.feed("\x02"_ba));
            for (int i = 0; i < 16; ++i) // 1 MiB
                seen += describe(giant.feed(QByteArray(64 * 1024, 'A')));
            seen += describe(giant.feed(serial ? "\r\n\x02VSET;C\r\n" : "\x03\x02VSET;\x03"));
            QCOMPARE(seen, (QStringList{"oversize", "ok:VSET;"}));
        }
    }

    void repliesPerCommand_data() {
        columns<QByteArray, QByteArray>("payload", "reply");
        // clang-format off
        const char *const table[][2] = {
            // Queries answer the value and ';'.
            {"VSET;", "0;"}, {"VMON;", "0;"}, {"LVPS;", "1562;"}, {"TEMP;", "341;"},
            {"SLVR ;", "8000;"}, {"SLIR ;", "1400;"}, {"STAT;", "0;"}, {"FLT;", "000000000;"},
            {"HWVR;", "A01;"}, {"MODR;", "ZOR80HR;"}, {"FREV;", "ZORSIM 1.00 bld0103,;"},
            {"SOFT;", "0103;"}, {"SNUR;", "100000001-A00001;"},
            {"CONF;", "A01,ZOR80HR,8000,1400,2660,4095,0,512,100,150,0,1500,;"},
            // Writes answer ';' or, refused, "1"; HWVP and SNUS are locked.
            {"VREF 2048;", ";"}, {"IREF 4095;", ";"}, {"VREF 4096;", "1"}, {"VREF 12a;", "1"},
            {"VREF;", "1"}, {"ENBL 1;", ";"}, {"ENBL 2;", "1"}, {"WDTE 1;", ";"}, {"WDTE 5;", "1"},
            {"WDTT;", ";"}, {"CLR;", ";"}, {"BAUD 1;", ";"}, {"BAUD 0;", "1"}, {"PASS 1234;", "1"},
            {"PASS 7061;", ";"}, {"HWVP A02;", "1"}, {"SNUS 1-2;", "1"},
            // Numeric commands answer code, comma, then '$' or "1"; 3 arcs in 2 s is
            // over the rate, no arc detect is accepted with a warning.
            {"10,0,", "10,$"}, {"11,293", "11,$"}, {"12,4096,", "12,1"}, {"13,", "13,1"},
            {"99,0,", "99,$"}, {"30,", "30,$"}, {"96,", "96,$"}, {"40,A02,", "40,$"},
            {"40,A2,", "40,1"}, {"27,", "27,1,105,20,0,5,10,20,1,0,"},
            {"09,1,105,25,0,3,10,20,1,0,", "09,$"}, {"09,0,0,0,0,3,2,0,0,0,", "09,1"},
            {"09,0,0,0,0,3,2,0,0,1,", "09,2"}, {"09,0,0,0,0,0,0,0,0,0,", "09,$"},
            {"09,1,111,25,0,3,10,20,1,0,", "09,1"}, {"55,", "55,1"},
            // Anything else is an error.
            {"vset;", "1"}, {"", "1"}, {"XYZW;", "1"}, {"VSET 5;", "1"}};
        // clang-format on
        for (const auto &[payload, reply] : table)
            row(*payload ? payload : "empty", QByteArray(payload), QByteArray(reply));
    }
    void repliesPerCommand() {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, reply);
        DeviceModel model(quiet(), T0);
        QCOMPARE(model.handle(payload, T0), reply);
    }

    // Cut the replies the way the console does, positions counting the STX as 1.
    void layoutsFitTheConsoleCuts() {
        using zor::reply::charAt;
        using zor::reply::fieldUntil;
        DeviceModel model(quiet(), T0);
        const auto rx = [&](const char *payload) { return '\x02' + model.handle(payload, T0); };
        QCOMPARE(fieldUntil(rx("27,"), 5, ',').value_or("?"), "1"_ba);
        QCOMPARE(charAt(rx("99,0,"), 5).value_or('?'), '$');
        QCOMPARE(charAt(rx("VREF 5000;"), 2).value_or('?'), '1');
        const QByteArray frev = rx("FREV;");
        QCOMPARE(frev.mid(1, 11), "ZORSIM 1.00"_ba);
        QCOMPARE(fieldUntil(frev, 17, ',').value_or("?"), "0103"_ba);
        // The scale values are searched for from position 5, so they need 3+ digits.
        QCOMPARE(fieldUntil(rx("SLVR ;"), 5, ';').value_or("?"), "0"_ba);
        QCOMPARE(rx("CONF;").mid(1).split(',').size(), 13); // twelve fields, then ";"
    }

    void rampsAndFalls() {
        DeviceModel model(quiet(), T0);
        Script run{model};
        QCOMPARE(
            run({"VREF 2048;=;", "IREF 1000;=;", "ENBL 1;=;", "STAT;=1;", "@1000 VMON;=1000;"}),
            QStringList());
        const int imonHalfway = run.value("IMON;");
        QVERIFY2(imonHalfway > 400 && imonHalfway < 600, "current follows the voltage");
        QCOMPARE(run({"@3000 VMON;=2048;", "IMON;=1000;"}), QStringList());
        QVERIFY(run.value("FMON;") > 1815); // above preheat
        run.at = 60000;
        QVERIFY(run.value("TEMP;") >= 345); // warms with load
        QCOMPARE(
            run({"ENBL 0;=;", "@61000 VMON;=1048;", "@63000 VMON;=0;", "IMON;=0;", "FMON;=0;"}),
            QStringList());
        QCOMPARE(model.hvOnMs(), 60000);
    }

    void interlockAndFaultsDropHv() {
        DeviceModel model(quiet(), T0);
        Script run{model};
        model.handle("ENBL 1;", T0);
        model.setInterlockOpen(true, T0 + 10);
        QVERIFY(model.status().interlockOpen);
        QCOMPARE(run({"@10 STAT;=0;", "FLT;=000000010;", "@20 ENBL 1;=1"}), QStringList());
        model.setInterlockOpen(false, T0 + 30);
        QCOMPARE(run({"@30 ENBL 1;=;"}), QStringList());
        model.setFault(Fault::Temperature, true, T0 + 40);
        QVERIFY(model.status().supplyFault);
        QCOMPARE(run({"@40 STAT;=0;", "FLT;=010000000;", "@50 ENBL 1;=1"}), QStringList());
        model.setFault(Fault::Output, true, T0 + 50);
        QCOMPARE(run({"FLT;=010000001;", "@60 CLR;=;", "FLT;=000000000;", "ENBL 1;=;"}),
                 QStringList());
    }

    void watchdogExpires() {
        ModelSettings s = quiet();
        s.watchdogMs = 2000;
        DeviceModel model(s, T0);
        Script run{model};
        QCOMPARE(run({"VREF 4095;=;", "WDTE 1;=;", "ENBL 1;=;", "@1500 WDTT;=;"}), QStringList());
        model.advance(T0 + 3500); // exactly on the deadline is still in time
        QVERIFY(model.hvOn());
        model.advance(T0 + 3501);
        QVERIFY(!model.hvOn());
        // The output has been falling since the deadline, not since we looked.
        QCOMPARE(run({"@3600 FLT;=000000100;", "ENBL 1;=1", "VMON;=3400;", "@4000 CLR;=;",
                      "ENBL 1;=;", "WDTE 0;=;"}),
                 QStringList());
        model.advance(T0 + 60000);
        QVERIFY(model.hvOn());
    }

    void keysUnlockTheirWrites() {
        DeviceModel model(quiet(), T0);
        Script run{model};
        // The serial key unlocks only the serial number.
        QCOMPARE(run({"SLVP 8889;=1", "PASS 2958;=;", "SNUS 101407139-A00041;=;",
                      "SNUR;=101407139-A00041;", "HWVP B01;=1"}),
                 QStringList());
        QCOMPARE(run({"PASS 7061;=;", "HWVP B01;=;", "MODP ZOR60;=;", "SLVP 8888.5;=;",
                      "SLIP 2220;=;", "FILP 2000;=;", "RAMP 50;=;", "ARCP 1;=;", "FTON 1024;=;",
                      "MRMP 200;=;", "FRMP 250;=;", "MAOF 293;=;", "FMAX 1842;=;"}),
                 QStringList());
        QCOMPARE(model.handle("CONF;", T0),
                 "B01,ZOR60,8889,2220,2000,50,1,1024,200,250,293,1842,;"_ba);
        QCOMPARE(run({"SLVR ;=8889;", "HWVR;=B01;", "MODR;=ZOR60;"}), QStringList());
        // Refused values keep what was there; an empty text is a text; a wrong key locks.
        QCOMPARE(run({"FILP 5000;=1", "ARCP 2;=1", "HWVP A,1;=1", "RAMP x;=1", "SLIP ;=1",
                      "HWVP ;=;", "PASS 0000;=1", "MODP X;=1", "SNUS 1;=1"}),
                 QStringList());
        QCOMPARE(model.factory().filamentPreheat, 2000);
    }

    void userOptionsReadBack() {
        DeviceModel model(quiet(), T0);
        Script run{model};
        QCOMPARE(run({"09,1,105,25,0,3,10,20,1,0,=09,$", "27,=27,1,105,25,0,3,10,20,1,0,",
                      "09,0,0,0,0,9,3,0,0,0,=09,1", "27,=27,1,105,25,0,3,10,20,1,0,",
                      "40,C03,=40,$", "HWVR;=C03;", "99,0,=99,$"}),
                 QStringList());
        QVERIFY(!model.remote());
    }

    void arcs() {
        DeviceModel model(quiet(), T0);
        Script run{model};
        QVERIFY(!model.triggerArc(T0)); // nothing to arc without HV
        QCOMPARE(run({"VREF 1000;=;", "ENBL 1;=;"}), QStringList());
        QVERIFY(model.triggerArc(T0 + 2000));
        QVERIFY(model.hvOn()); // rides through, re-ramps; each arc is reported once
        QCOMPARE(run({"@2000 VMON;=0;", "FLT;=100000000;", "@2001 FLT;=000000000;"}),
                 QStringList());
        QVERIFY(!model.status().supplyFault);
        // The default options allow five arcs in ten seconds; the sixth trips.
        for (int i = 1; i <= 4; ++i)
            QVERIFY(model.triggerArc(T0 + 2000 + i * 100));
        QVERIFY(model.hvOn());
        model.triggerArc(T0 + 2600);
        QVERIFY(!model.hvOn());
        // Single-arc mode shuts down on the first one.
        QCOMPARE(run({"@30000 PASS 7061;=;", "ARCP 1;=;", "ENBL 1;=;"}), QStringList());
        model.triggerArc(T0 + 31000);
        QVERIFY(!model.hvOn());
        QCOMPARE(run({"@31000 FLT;=100000000;"}), QStringList());
        // No-arc-detect mode: no flag, no trip.
        QCOMPARE(run({"@32000 ARCP 0;=;", "09,1,105,25,0,0,0,20,1,1,=*", "ENBL 1;=;"}),
                 QStringList());
        for (int i = 0; i < 10; ++i)
            model.triggerArc(T0 + 32000 + i);
        QVERIFY(model.hvOn());
        QCOMPARE(run({"@32100 FLT;=000000000;"}), QStringList());
    }

    void shaper() {
        ReplyShaper shaper(7);
        QByteArray previous;
        const auto plain = shaper.shape("8000;", previous);
        QVERIFY(plain && !plain->split && plain->delayMs == 0);
        QCOMPARE(plain->text, "8000;"_ba);
        shaper.settings().silent = true;
        QVERIFY(!shaper.shape("1;", previous));
        QCOMPARE(previous, "1;"_ba); // a silent supply still ran the command
        shaper.settings() = {};
        shaper.settings().wrongAnswer = true;
        QCOMPARE(shaper.shape("0;", previous)->text, "1;"_ba);
        QCOMPARE(shaper.shape("27,1,", previous)->text, "0;"_ba);
        shaper.settings() = {};
        shaper.settings().delayMs = 250;
        shaper.settings().split = true;
        const auto late = shaper.shape("A01;", previous);
        QVERIFY(late->delayMs == 250 && late->split);
        shaper.settings() = {};
        shaper.settings().corruptFraction = 1.0;
        for (int i = 0; i < 100; ++i) {
            const QByteArray text = shaper.shape("ZOR80HR;", previous)->text;
            QCOMPARE(text.size(), 8);
            int differing = 0;
            for (int k = 0; k < text.size(); ++k) {
                differing += text[k] != "ZOR80HR;"_ba[k];
                QVERIFY(text[k] > 0x20 && text[k] < 0x7F);
            }
            QCOMPARE(differing, 1);
        }
        QCOMPARE(shaper.corrupted(), 100);
    }

    void operatorCommandsReachTheSupply() {
        Simulator sim(ModelSettings{});
        OperatorCommands commands(sim);
        QByteArray previous;
        sim.respond("pty", "ENBL 1;", previous);
        QVERIFY(commands.run("fault ov").ok);
        QVERIFY(sim.model().fault(Fault::OverVoltage) && !sim.model().hvOn());
        QVERIFY(commands.run("clear ov").ok);
        QVERIFY(!sim.model().fault(Fault::OverVoltage));
        QVERIFY(commands.run("interlock open").ok);
        QVERIFY(sim.model().interlockOpen());
        QVERIFY(commands.run("silent on").ok && commands.run("wrong on").ok);
        QVERIFY(sim.shaper().settings().silent && sim.shaper().settings().wrongAnswer);
        QVERIFY(commands.run("quit").quit);
        for (const char *bad : {"fault smoke", "interlock ajar", "delay -1", "corrupt 2",
                                "split maybe", "arc", "reboot"})
            QVERIFY2(!commands.run(bad).ok, bad); // "arc": the interlock dropped HV
        QVERIFY(commands.run("help").text.contains("corrupt FRACTION"));
        QVERIFY(commands.run("state").text.contains("interlock open"));
    }

    void flagsBecomeOperatorCommands() {
        QString error;
        const auto options = parseOptions(
            QStringLiteral("zor-sim --pty /tmp/x --tcp 0 --wdt-ms 300 --rating 60,2.5 --silent "
                           "--delay 40 --split --corrupt 0.5 --wrong --interlock-open --fault "
                           "temp --fault op --arc-every 100")
                .split(' '),
            &error);
        QVERIFY2(options, qPrintable(error));
        QCOMPARE(options->ptyLink.value_or(""), QString("/tmp/x"));
        QCOMPARE(options->tcpPort.value_or(1), quint16(0));
        QCOMPARE(options->model.watchdogMs, 300);
        QCOMPARE(options->model.fullScaleKv, 6000);
        QCOMPARE(options->model.fullScaleMa, 2500);
        QCOMPARE(options->startupCommands,
                 (QStringList{"interlock open", "fault temp", "fault op", "silent on", "delay 40",
                              "split on", "corrupt 0.5", "wrong on", "arc-every 100"}));
        QVERIFY(!parseOptions({"zor-sim", "--ramp-ms", "-5"}, &error));
        QVERIFY(!parseOptions({"zor-sim", "--rating", "80"}, &error));
        QVERIFY(!parseOptions({"zor-sim", "--bogus"}, &error));
    }

    void logEscapesControlCharacters() {
        QCOMPARE(PayloadLog::escape("VSET;"), "VSET;"_ba);
        QCOMPARE(PayloadLog::escape(QByteArray("A\x02\r\n\\\xff", 6)),
                 "A\\x02\\x0D\\x0A\\x5C\\xFF"_ba);
    }
};

QTEST_GUILESS_MAIN(TestSimCore)
#include "tst_simcore.moc"
