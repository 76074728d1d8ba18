#include "link/replycut.h"
#include "sim/devicemodel.h"
#include "testregistry.h"

#include <QSet>
#include <QTest>

using zor::sim::DeviceModel;
using zor::sim::Fault;
using zor::sim::ModelSettings;

namespace {

constexpr qint64 T0 = 100000;

ModelSettings quiet() {
    ModelSettings s;
    s.noiseCounts = 0;
    s.kvRampMs = 4095; // one count per millisecond
    return s;
}

// The reply as the console holds it: position 1 is the STX.
QByteArray asReceived(const QByteArray &text) {
    return '\x02' + text;
}

} // namespace

class DeviceModelTest : public QObject {
    Q_OBJECT

private slots:
    void repliesPerCommand_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("reply");
        const auto row = [](const char *payload, const char *reply) {
            QTest::newRow(payload) << QByteArray(payload) << QByteArray(reply);
        };
        // Queries answer the value and ';'.
        row("VSET;", "0;");
        row("VMON;", "0;");
        row("LVPS;", "1562;");
        row("TEMP;", "341;");
        row("SLVR ;", "8000;");
        row("SLIR ;", "1400;");
        row("STAT;", "0;");
        row("FLT;", "000000000;");
        row("HWVR;", "A01;");
        row("MODR;", "ZOR80HR;");
        row("FREV;", "ZORSIM 1.00 bld0103,;");
        row("SOFT;", "0103;");
        row("SNUR;", "100000001-A00001;");
        row("CONF;", "A01,ZOR80HR,8000,1400,2660,4095,0,512,100,150,0,1500,;");
        // Writes answer ';' or, refused, "1".
        row("VREF 2048;", ";");
        row("IREF 4095;", ";");
        row("VREF 4096;", "1");
        row("VREF 12a;", "1");
        row("VREF;", "1");
        row("ENBL 1;", ";");
        row("ENBL 2;", "1");
        row("WDTE 1;", ";");
        row("WDTE 5;", "1");
        row("WDTT;", ";");
        row("CLR;", ";");
        row("BAUD 1;", ";");
        row("BAUD 0;", "1");
        row("PASS 1234;", "1");
        row("PASS 7061;", ";");
        row("HWVP A02;", "1"); // locked
        row("SNUS 1-2;", "1"); // locked
        // Numeric commands answer code, comma, then '$' or "1".
        row("10,0,", "10,$");
        row("11,293", "11,$");
        row("12,4096,", "12,1");
        row("13,", "13,1");
        row("99,0,", "99,$");
        row("30,", "30,$");
        row("96,", "96,$");
        row("40,A02,", "40,$");
        row("40,A2,", "40,1");
        row("27,", "27,1,105,20,0,5,10,20,1,0,");
        row("09,1,105,25,0,3,10,20,1,0,", "09,$");
        row("09,0,0,0,0,3,2,0,0,0,", "09,1"); // 1.5 arcs per second
        row("09,0,0,0,0,3,2,0,0,1,", "09,2"); // no arc detect: accepted, with a warning
        row("09,0,0,0,0,0,0,0,0,0,", "09,$");
        row("09,1,111,25,0,3,10,20,1,0,", "09,1");
        row("55,", "55,1");
        // Anything else is an error.
        row("vset;", "1");
        row("", "1");
        row("XYZW;", "1");
        row("VSET 5;", "1");
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
        const auto rx = [&](const char *payload) { return asReceived(model.handle(payload, T0)); };
        QCOMPARE(fieldUntil(rx("27,"), 5, ',').value_or("?"), QByteArray("1"));
        QCOMPARE(charAt(rx("99,0,"), 5).value_or('?'), '$');
        QCOMPARE(charAt(rx("VREF 5000;"), 2).value_or('?'), '1');
        const QByteArray frev = rx("FREV;");
        QCOMPARE(frev.mid(1, 11), QByteArray("ZORSIM 1.00"));
        QCOMPARE(fieldUntil(frev, 17, ',').value_or("?"), QByteArray("0103"));
        // The scale values are searched for from position 5, so they need 3+ digits.
        QCOMPARE(fieldUntil(rx("SLVR ;"), 5, ';').value_or("?"), QByteArray("0"));
        QCOMPARE(rx("CONF;").mid(1).split(',').size(), 13); // twelve fields, then ";"
    }

    void rampsAndFalls() {
        DeviceModel model(quiet(), T0);
        model.handle("VREF 2048;", T0);
        model.handle("IREF 1000;", T0);
        QCOMPARE(model.handle("ENBL 1;", T0), QByteArray(";"));
        QCOMPARE(model.handle("STAT;", T0), QByteArray("1;"));
        QCOMPARE(model.handle("VMON;", T0 + 1000), QByteArray("1000;"));
        const int imonHalfway = model.handle("IMON;", T0 + 1000).chopped(1).toInt();
        QVERIFY2(imonHalfway > 400 && imonHalfway < 600, "current follows the voltage");
        QCOMPARE(model.handle("VMON;", T0 + 3000), QByteArray("2048;"));
        QCOMPARE(model.handle("IMON;", T0 + 3000), QByteArray("1000;"));
        QVERIFY(model.handle("FMON;", T0 + 3000).chopped(1).toInt() > 1815);  // above preheat
        QVERIFY(model.handle("TEMP;", T0 + 60000).chopped(1).toInt() >= 345); // warms with load

        QCOMPARE(model.handle("ENBL 0;", T0 + 60000), QByteArray(";"));
        QCOMPARE(model.handle("VMON;", T0 + 61000), QByteArray("1048;"));
        QCOMPARE(model.handle("VMON;", T0 + 63000), QByteArray("0;"));
        QCOMPARE(model.handle("IMON;", T0 + 63000), QByteArray("0;"));
        QCOMPARE(model.handle("FMON;", T0 + 63000), QByteArray("0;"));
        QCOMPARE(model.hvOnMs(), 60000);
    }

    void noiseStaysSmall() {
        ModelSettings s = quiet();
        s.noiseCounts = 2;
        DeviceModel model(s, T0);
        model.handle("VREF 3000;", T0);
        model.handle("ENBL 1;", T0);
        QSet<int> seen;
        for (int i = 0; i < 50; ++i)
            seen << model.handle("VMON;", T0 + 5000 + i).chopped(1).toInt() - 3000;
        QVERIFY(seen.size() > 1);
        for (const int d : seen)
            QVERIFY(qAbs(d) <= 2);
    }

    void interlockAndFaultsDropHv() {
        DeviceModel model(quiet(), T0);
        model.handle("ENBL 1;", T0);
        model.setInterlockOpen(true, T0 + 10);
        QCOMPARE(model.handle("STAT;", T0 + 10), QByteArray("0;"));
        QCOMPARE(model.handle("FLT;", T0 + 10), QByteArray("000000010;"));
        QVERIFY(model.status().interlockOpen);
        QCOMPARE(model.handle("ENBL 1;", T0 + 20), QByteArray("1"));
        model.setInterlockOpen(false, T0 + 30);
        QCOMPARE(model.handle("ENBL 1;", T0 + 30), QByteArray(";"));

        model.setFault(Fault::Temperature, true, T0 + 40);
        QCOMPARE(model.handle("STAT;", T0 + 40), QByteArray("0;"));
        QCOMPARE(model.handle("FLT;", T0 + 40), QByteArray("010000000;"));
        QVERIFY(model.status().supplyFault);
        QCOMPARE(model.handle("ENBL 1;", T0 + 50), QByteArray("1"));
        model.setFault(Fault::Output, true, T0 + 50);
        QCOMPARE(model.handle("FLT;", T0 + 50), QByteArray("010000001;"));
        QCOMPARE(model.handle("CLR;", T0 + 60), QByteArray(";"));
        QCOMPARE(model.handle("FLT;", T0 + 60), QByteArray("000000000;"));
        QCOMPARE(model.handle("ENBL 1;", T0 + 60), QByteArray(";"));
    }

    void watchdogExpires() {
        ModelSettings s = quiet();
        s.watchdogMs = 2000;
        DeviceModel model(s, T0);
        model.handle("VREF 4095;", T0);
        model.handle("WDTE 1;", T0);
        model.handle("ENBL 1;", T0);
        QCOMPARE(model.handle("WDTT;", T0 + 1500), QByteArray(";"));
        model.advance(T0 + 3500); // exactly on the deadline is still in time
        QVERIFY(model.hvOn());
        model.advance(T0 + 3501);
        QVERIFY(!model.hvOn());
        QCOMPARE(model.handle("FLT;", T0 + 3600), QByteArray("000000100;"));
        QCOMPARE(model.handle("ENBL 1;", T0 + 3600), QByteArray("1"));
        // The output has been falling since the deadline, not since we looked.
        QCOMPARE(model.handle("VMON;", T0 + 3600), QByteArray("3400;"));

        model.handle("CLR;", T0 + 4000);
        QCOMPARE(model.handle("ENBL 1;", T0 + 4000), QByteArray(";"));
        model.handle("WDTE 0;", T0 + 4000);
        model.advance(T0 + 60000);
        QVERIFY(model.hvOn());
    }

    void keysUnlockTheirWrites() {
        DeviceModel model(quiet(), T0);
        QCOMPARE(model.handle("SLVP 8889;", T0), QByteArray("1"));
        QCOMPARE(model.handle("PASS 2958;", T0), QByteArray(";"));
        QCOMPARE(model.handle("SNUS 101407139-A00041;", T0), QByteArray(";"));
        QCOMPARE(model.handle("SNUR;", T0), QByteArray("101407139-A00041;"));
        QCOMPARE(model.handle("HWVP B01;", T0), QByteArray("1")); // serial key only

        QCOMPARE(model.handle("PASS 7061;", T0), QByteArray(";"));
        for (const char *write :
             {"HWVP B01;", "MODP ZOR60;", "SLVP 8888.5;", "SLIP 2220;", "FILP 2000;", "RAMP 50;",
              "ARCP 1;", "FTON 1024;", "MRMP 200;", "FRMP 250;", "MAOF 293;", "FMAX 1842;"})
            QCOMPARE(model.handle(write, T0), QByteArray(";"));
        QCOMPARE(model.handle("CONF;", T0),
                 QByteArray("B01,ZOR60,8889,2220,2000,50,1,1024,200,250,293,1842,;"));
        QCOMPARE(model.handle("SLVR ;", T0), QByteArray("8889;"));
        QCOMPARE(model.handle("HWVR;", T0), QByteArray("B01;"));
        QCOMPARE(model.handle("MODR;", T0), QByteArray("ZOR60;"));
        // Refused values keep what was there.
        for (const char *write : {"FILP 5000;", "ARCP 2;", "HWVP A,1;", "RAMP x;", "SLIP ;"})
            QCOMPARE(model.handle(write, T0), QByteArray("1"));
        QCOMPARE(model.handle("HWVP ;", T0), QByteArray(";")); // an empty text is a text
        QCOMPARE(model.factory().filamentPreheat, 2000);

        QCOMPARE(model.handle("PASS 0000;", T0), QByteArray("1"));
        QCOMPARE(model.handle("MODP X;", T0), QByteArray("1"));
        QCOMPARE(model.handle("SNUS 1;", T0), QByteArray("1"));
    }

    void userOptionsReadBack() {
        DeviceModel model(quiet(), T0);
        QCOMPARE(model.handle("09,1,105,25,0,3,10,20,1,0,", T0), QByteArray("09,$"));
        QCOMPARE(model.handle("27,", T0), QByteArray("27,1,105,25,0,3,10,20,1,0,"));
        QCOMPARE(model.handle("09,0,0,0,0,9,3,0,0,0,", T0), QByteArray("09,1"));
        QCOMPARE(model.handle("27,", T0), QByteArray("27,1,105,25,0,3,10,20,1,0,"));
        QCOMPARE(model.handle("40,C03,", T0), QByteArray("40,$"));
        QCOMPARE(model.handle("HWVR;", T0), QByteArray("C03;"));
        QCOMPARE(model.handle("99,0,", T0), QByteArray("99,$"));
        QVERIFY(!model.remote());
    }

    void arcs() {
        DeviceModel model(quiet(), T0);
        QVERIFY(!model.triggerArc(T0)); // nothing to arc without HV
        model.handle("VREF 1000;", T0);
        model.handle("ENBL 1;", T0);
        QVERIFY(model.triggerArc(T0 + 2000));
        QVERIFY(model.hvOn()); // rides through, re-ramps
        QCOMPARE(model.handle("VMON;", T0 + 2000), QByteArray("0;"));
        // Each arc is reported once.
        QCOMPARE(model.handle("FLT;", T0 + 2000), QByteArray("100000000;"));
        QCOMPARE(model.handle("FLT;", T0 + 2001), QByteArray("000000000;"));
        QVERIFY(!model.status().supplyFault);

        // The default options allow five arcs in ten seconds; the sixth trips.
        for (int i = 1; i <= 4; ++i)
            QVERIFY(model.triggerArc(T0 + 2000 + i * 100));
        QVERIFY(model.hvOn());
        model.triggerArc(T0 + 2600);
        QVERIFY(!model.hvOn());

        // Single-arc mode shuts down on the first one.
        model.handle("PASS 7061;", T0 + 30000);
        model.handle("ARCP 1;", T0 + 30000);
        model.handle("ENBL 1;", T0 + 30000);
        model.triggerArc(T0 + 31000);
        QVERIFY(!model.hvOn());
        QCOMPARE(model.handle("FLT;", T0 + 31000), QByteArray("100000000;"));

        // No-arc-detect mode: no flag, no trip.
        model.handle("ARCP 0;", T0 + 32000);
        model.handle("09,1,105,25,0,0,0,20,1,1,", T0 + 32000);
        model.handle("ENBL 1;", T0 + 32000);
        for (int i = 0; i < 10; ++i)
            model.triggerArc(T0 + 32000 + i);
        QVERIFY(model.hvOn());
        QCOMPARE(model.handle("FLT;", T0 + 32100), QByteArray("000000000;"));
    }
};

ZOR_SIM_SUITE(DeviceModelTest, "model")
#include "tst_devicemodel.moc"
