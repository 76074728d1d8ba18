#include "diagnostics/frm_rawdata.h"
#include "monitor/analogreadbacks.h"
#include "platform/toggleswitch.h"
#include "tst_monitor.h"

#include <QTest>

using namespace zor;
using namespace zor::test;

namespace {

const QList<QByteArray> Monitors = {"VMON;", "IMON;", "FMON;", "LVPS;", "TEMP;"};

QStringList rawCopies(Console &c) {
    QStringList out;
    for (int i = 0; i < 5; ++i)
        out << c.window.rawData().txt_DATA[i]->text();
    return out;
}

QStringList monitorFields(Console &c) {
    QStringList out;
    for (const char *name : {"txt_ADC2", "txt_ADC3", "txt_ADC13", "txt_ADC1", "txt_ADC6"})
        out << c.field(QString::fromLatin1(name))->text();
    return out;
}

} // namespace

class TestReadbacks : public QObject {
    Q_OBJECT
private slots:
    void shownValues_data() {
        QTest::addColumn<QByteArray>("slvr"); // empty: no scaling read first
        QTest::addColumn<QByteArray>("slir");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("shown");
        const QByteArray none;
        QTest::newRow("kV before scaling")
            << none << none << QByteArray("VMON;") << QByteArray("2048;") << "txt_ADC2"
            << "0.000 kV";
        QTest::newRow("mA start factor")
            << none << none << QByteArray("IMON;") << QByteArray("2048;") << "txt_ADC3"
            << "0.698 mA";
        QTest::newRow("kV full scale") << QByteArray("8000;") << QByteArray("1400;")
                                       << QByteArray("VMON;") << QByteArray("4095;") << "txt_ADC2"
                                       << "80.000 kV";
        QTest::newRow("kV half scale") << QByteArray("8000;") << QByteArray("1400;")
                                       << QByteArray("VMON;") << QByteArray("2048;") << "txt_ADC2"
                                       << "40.010 kV";
        QTest::newRow("filament") << none << none << QByteArray("FMON;") << QByteArray("2048;")
                                  << "txt_ADC13"
                                  << "3.001 A";
        QTest::newRow("rail") << none << none << QByteArray("LVPS;") << QByteArray("1562;")
                              << "txt_ADC1"
                              << "-15.00 V";
        QTest::newRow("rail above zero point")
            << none << none << QByteArray("LVPS;") << QByteArray("4000;") << "txt_ADC1"
            << ".17 V";
        QTest::newRow("temperature")
            << none << none << QByteArray("TEMP;") << QByteArray("341;") << "txt_ADC6"
            << "25.0";
        QTest::newRow("temperature below one")
            << none << none << QByteArray("TEMP;") << QByteArray("5;") << "txt_ADC6"
            << ".4";
    }
    void shownValues() {
        QFETCH(QByteArray, slvr);
        QFETCH(QByteArray, slir);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, reply);
        QFETCH(QString, field);
        QFETCH(QString, shown);
        Console c;
        if (!slvr.isEmpty()) {
            c.rig.supply.on("SLVR ;", slvr);
            c.rig.supply.on("SLIR ;", slir);
            c.window.getScaling_Click();
        }
        for (const QByteArray &p : Monitors)
            c.rig.supply.on(p, "1;");
        c.rig.supply.on(payload, reply);
        c.window.ReadMonitors();
        c.window.ReadAuxMonitors();
        QCOMPARE(c.field(field)->text(), shown);
    }

    void scaleFactors_data() {
        QTest::addColumn<QByteArray>("slvr");
        QTest::addColumn<QByteArray>("slir");
        QTest::addColumn<double>("kvPerBit");
        QTest::addColumn<double>("maPerBit");
        QTest::addColumn<QList<QByteArray>>("sent");
        const QList<QByteArray> both{"SLVR ;", "SLIR ;"};
        QTest::newRow("both") << QByteArray("8000;") << QByteArray("1400;") << 0.019536019536019536
                              << 0.00034188034188034188 << both;
        QTest::newRow("three characters")
            << QByteArray("800;") << QByteArray("100;") << 0.0019536019536019536
            << 0.000024420024420024420 << both;
        QTest::newRow("zero") << QByteArray("000;") << QByteArray("0000;") << 0.0 << 0.0 << both;
        QTest::newRow("two characters") << QByteArray("80;") << QByteArray("1400;") << 0.0
                                        << 0.000341 << QList<QByteArray>{"SLVR ;"};
        QTest::newRow("signed voltage") << QByteArray("-8000;") << QByteArray("1400;") << 0.0
                                        << 0.000341 << QList<QByteArray>{"SLVR ;"};
        QTest::newRow("current not a number") << QByteArray("8000;") << QByteArray("14O0;")
                                              << 0.019536019536019536 << 0.000341 << both;
    }
    void scaleFactors() {
        QFETCH(QByteArray, slvr);
        QFETCH(QByteArray, slir);
        QFETCH(double, kvPerBit);
        QFETCH(double, maPerBit);
        QFETCH(QList<QByteArray>, sent);
        Console c;
        c.rig.supply.on("SLVR ;", slvr);
        c.rig.supply.on("SLIR ;", slir);
        c.window.getScaling_Click();
        QCOMPARE(c.window.kvPerBit, kvPerBit);
        QCOMPARE(c.window.maPerBit, maPerBit);
        QCOMPARE(c.sent(), sent);
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
    }

    void badReplyAbandonsTheRest_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("raw");
        QTest::newRow("VMON without ';'")
            << QByteArray("VMON;") << QByteArray("2048")
            << QList<QByteArray>{"VMON;", "LVPS;", "TEMP;"}
            << QStringList{"Channel 2", "Channel 3", "", "-15.00 V", "25.0"}
            << QStringList{"341", "1562", "Channel 2", "Channel 3", "Channel 4"};
        QTest::newRow("VMON not a number")
            << QByteArray("VMON;") << QByteArray("2O48;")
            << QList<QByteArray>{"VMON;", "LVPS;", "TEMP;"}
            << QStringList{"Channel 2", "Channel 3", "", "-15.00 V", "25.0"}
            << QStringList{"341", "1562", "2O48", "Channel 3", "Channel 4"};
        QTest::newRow("LVPS without ';'")
            << QByteArray("LVPS;") << QByteArray("1562")
            << QList<QByteArray>{"VMON;", "IMON;", "FMON;", "LVPS;"}
            << QStringList{"0.000 kV", "0.698 mA", "3.001 A", "Channel 1", "N/A"}
            << QStringList{"Channel 0", "Channel 1", "2048", "2048", "2048"};
    }
    void badReplyAbandonsTheRest() {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, reply);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, raw);
        Console c;
        for (const char *p : {"VMON;", "IMON;", "FMON;"})
            c.rig.supply.on(p, "2048;");
        c.rig.supply.on("LVPS;", "1562;");
        c.rig.supply.on("TEMP;", "341;");
        c.rig.supply.on(payload, reply);
        c.window.btn_UPDATEDATA->setValue(true);
        c.window.ReadMonitors();
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
        QVERIFY(!c.window.btn_UPDATEDATA->value());
        c.window.ReadAuxMonitors();
        QCOMPARE(c.sent(), sent);
        QCOMPARE(monitorFields(c), fields);
        QCOMPARE(rawCopies(c), raw);
    }

    // Waits out the reply limit once.
    void emptyReplySkipsOnlyItsOwnRead() {
        Console c;
        c.rig.supply.silentOn("VMON;");
        c.rig.supply.on("IMON;", "2048;");
        c.rig.supply.on("FMON;", "2048;");
        c.window.btn_UPDATEDATA->setValue(true);
        c.window.ReadMonitors();
        QCOMPARE(c.sent(), (QList<QByteArray>{"VMON;", "IMON;", "FMON;"}));
        QCOMPARE(monitorFields(c).mid(0, 3), (QStringList{"Channel 2", "0.698 mA", "3.001 A"}));
        QVERIFY(c.window.btn_UPDATEDATA->value());
    }
};

int zor::test::runReadbackTests(int argc, char *argv[]) {
    TestReadbacks t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_readbacks.moc"
