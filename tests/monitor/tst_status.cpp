#include "control/arcframe.h"
#include "monitor/statusframe.h"
#include "platform/lamp.h"
#include "platform/toggleswitch.h"
#include "shell/frm_extras.h"
#include "tst_monitor.h"

#include <QAction>
#include <QLabel>
#include <QTest>

using namespace zor;
using namespace zor::test;

namespace {

// "label text|lit|lamp colour" of one indicator.
QString look(Lamp *led, QLabel *label) {
    return QStringLiteral("%1|%2|%3")
        .arg(label->text())
        .arg(int(led->value()))
        .arg(led->currentColor().name());
}

QString textColour(QLabel *label) {
    return label->palette().color(QPalette::WindowText).name();
}

// Label texts of the FLT positions 2 to 10, each followed by + when its lamp is lit.
QString faultLooks(StatusFrame &s) {
    QStringList out;
    for (const auto &[led, label] : {std::pair{s.led_ARC, s.lbl_ARC},
                                     {s.led_TEMP, s.lbl_TEMP},
                                     {s.led_OV, s.lbl_OV},
                                     {s.led_UV, s.lbl_UV},
                                     {s.led_OC, s.lbl_OC},
                                     {s.led_UC, s.lbl_UC},
                                     {s.led_wdtFault, s.lbl_wdtFault},
                                     {s.led_INTRLKSTAT, s.lbl_INTRLKSTAT},
                                     {s.led_opFault, s.lbl_opFault}})
        out << label->text() + (led->value() ? "+" : "");
    return out.join(QStringLiteral(", "));
}

} // namespace

class TestStatus : public QObject {
    Q_OBJECT
private slots:
    void faultFlags_data() {
        QTest::addColumn<QByteArray>("flt");
        QTest::addColumn<QString>("looks");
        QTest::addColumn<QString>("colours"); // ARC lamp, interlock lamp, interlock text
        QTest::addColumn<bool>("switchAfter");
        QTest::newRow("all healthy")
            << QByteArray("000000000;")
            << "Arc OK+, Temp OK+, Over Voltage OK+, Under Voltage OK+, Over Current OK+, "
               "Under Current OK+, WDT OK+, Interlock Closed, OP OK+"
            << "#ffff00 #ffff00 #000000" << true;
        QTest::newRow("all faulted")
            << QByteArray("111111111;")
            << "Arc Error, Temp Error, Over Voltage Error, Under Voltage Error, "
               "Over Current Error, Under Current Error, WDT Fault, Interlock Open+, OP Fault"
            << "#ff0000 #ff0000 #ff0000" << false;
        QTest::newRow("other characters")
            << QByteArray("x0?1 0-1A;")
            << "ARC, Temp OK+, Over Voltage, Under Voltage Error, Over Current, "
               "Under Current OK+, WDT Fault, Interlock Open+, OP Fault"
            << "#ff0000 #ff0000 #ff0000" << false;
    }
    void faultFlags() {
        QFETCH(QByteArray, flt);
        QFETCH(QString, looks);
        QFETCH(QString, colours);
        QFETCH(bool, switchAfter);
        Console c;
        c.rig.supply.on("STAT;", "1;");
        c.rig.supply.on("FLT;", flt);
        c.window.btn_REQSTAT->click();
        StatusFrame &s = *c.window.statusFrame;
        QCOMPARE(c.sent(), (QList<QByteArray>{"STAT;", "FLT;"}));
        QCOMPARE(faultLooks(s), looks);
        QCOMPARE(
            QStringList({s.led_ARC->currentColor().name(), s.led_INTRLKSTAT->currentColor().name(),
                         textColour(s.lbl_INTRLKSTAT)})
                .join(' '),
            colours);
        QCOMPARE(c.window.btn_HVONOFF->value(), switchAfter);
        // The supply-fault lamp answers to the network message only.
        QCOMPARE(look(s.led_FAULT, s.lbl_FAULT), QStringLiteral("NO PS  FAULT|0|#ffff00"));
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
    }

    void statMovesTheSwitchSilently_data() {
        QTest::addColumn<bool>("before");
        QTest::addColumn<QByteArray>("stat");
        QTest::addColumn<bool>("after");
        QTest::addColumn<QString>("hvLook");
        QTest::newRow("on while off") << false << QByteArray("1;") << true << "X-RAY ON|1|#ffc080";
        QTest::newRow("off while on") << true << QByteArray("0;") << false << "X-RAY OFF|0|#000000";
        QTest::newRow("off while off")
            << false << QByteArray("0;") << false << "X-RAY OFF|0|#000000";
        QTest::newRow("other") << true << QByteArray("7;") << true << "X-RAY OFF|0|#000000";
    }
    void statMovesTheSwitchSilently() {
        QFETCH(bool, before);
        QFETCH(QByteArray, stat);
        QFETCH(bool, after);
        QFETCH(QString, hvLook);
        Console c;
        c.rig.supply.on("STAT;", stat);
        c.rig.supply.on("FLT;", "-;");
        c.window.btn_HVONOFF->setValue(before);
        int handlerRuns = 0;
        connect(c.window.btn_HVONOFF, &ToggleSwitch::valueChanged, [&] { ++handlerRuns; });
        c.window.btn_REQSTAT_Click();
        QCOMPARE(c.window.btn_HVONOFF->value(), after);
        QCOMPARE(look(c.window.statusFrame->led_HVSTAT, c.window.statusFrame->lbl_HVSTAT), hvLook);
        QCOMPARE(handlerRuns, 0);
        QCOMPARE(c.sent(), (QList<QByteArray>{"STAT;", "FLT;"}));
    }

    void arcCounting_data() {
        QTest::addColumn<bool>("hvOn");
        QTest::addColumn<int>("startCount");
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QList<int>>("armed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("switch on")
            << true << 0 << QList<int>{0, 1, 1, 1, 2} << QList<int>{1, 0, 0, 1, 0} << "2";
        QTest::newRow("switch off")
            << false << 0 << QList<int>{0, 0, 0, 0, 0} << QList<int>{1, 1, 1, 1, 1} << "0";
        QTest::newRow("16-bit ceiling")
            << true << 32766 << QList<int>{32766, 32767, 32767, 32767, 32767}
            << QList<int>{1, 0, 0, 1, 0} << "32767";
    }
    void arcCounting() {
        QFETCH(bool, hvOn);
        QFETCH(int, startCount);
        QFETCH(QList<int>, counts);
        QFETCH(QList<int>, armed);
        QFETCH(QString, shown);
        Console c;
        c.rig.supply.on("STAT;", hvOn ? "1;" : "0;");
        c.window.btn_HVONOFF->setValue(hvOn);
        c.window.arcCount = qint16(startCount);
        QList<int> seenCounts, seenArmed;
        for (const char *arc : {"0", "1", "1", "0", "1"}) {
            c.rig.supply.on("FLT;", QByteArray(arc) + "00000000;");
            c.window.btn_REQSTAT_Click();
            seenCounts << c.window.arcCount;
            seenArmed << c.window.arcArmed;
        }
        QCOMPARE(seenCounts, counts);
        QCOMPARE(seenArmed, armed);
        QCOMPARE(c.window.arcFrame->Txt_arcCount->text(), shown);
    }

    // Waits out the reply limit once per row.
    void emptyStatIsCountedEmptyFltIsNot_data() {
        QTest::addColumn<bool>("statSilent");
        QTest::addColumn<int>("errors");
        QTest::addColumn<QString>("hv");
        QTest::addColumn<QString>("arc");
        QTest::newRow("empty STAT") << true << 1 << "X-RAY OFF"
                                    << "Arc OK";
        QTest::newRow("empty FLT") << false << 0 << "X-RAY ON"
                                   << "ARC";
    }
    void emptyStatIsCountedEmptyFltIsNot() {
        QFETCH(bool, statSilent);
        QFETCH(int, errors);
        QFETCH(QString, hv);
        QFETCH(QString, arc);
        Console c;
        if (statSilent) {
            c.rig.supply.silentOn("STAT;");
            c.rig.supply.on("FLT;", "000000000;");
        } else {
            c.rig.supply.on("STAT;", "1;");
            c.rig.supply.silentOn("FLT;");
        }
        c.window.btn_REQSTAT_Click();
        QCOMPARE(c.sent(), (QList<QByteArray>{"STAT;", "FLT;"}));
        QCOMPARE(c.window.commErrorCount, errors);
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(),
                 errors ? QStringLiteral(" 1") : QString());
        QCOMPARE(c.window.statusFrame->lbl_HVSTAT->text(), hv);
        QCOMPARE(c.window.statusFrame->lbl_ARC->text(), arc);
    }

    void interlockInFltVersusNetwork_data() {
        QTest::addColumn<bool>("network");
        QTest::addColumn<bool>("switchAfter");
        QTest::newRow("FLT") << false << false;
        QTest::newRow("network") << true << true;
    }
    void interlockInFltVersusNetwork() {
        QFETCH(bool, network);
        QFETCH(bool, switchAfter);
        Console c;
        c.rig.supply.on("STAT;", "1;");
        c.rig.supply.on("FLT;", "000000010;");
        c.window.btn_HVONOFF->setValue(true);
        if (network)
            c.window.statusFrame->decodeNetworkStatus("\x02xxx-x1x-\x03");
        else
            c.window.btn_REQSTAT_Click();
        StatusFrame &s = *c.window.statusFrame;
        QCOMPARE(look(s.led_INTRLKSTAT, s.lbl_INTRLKSTAT),
                 QStringLiteral("Interlock Open|1|#ff0000"));
        QCOMPARE(textColour(s.lbl_INTRLKSTAT), QStringLiteral("#ff0000"));
        QCOMPARE(c.window.btn_HVONOFF->value(), switchAfter);
    }

    void networkStatus_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("looks"); // HV, interlock, supply fault
        QTest::addColumn<QStringList>("colours");
        QTest::addColumn<bool>("switchAfter");
        QTest::newRow("all set") << QByteArray("\x02xxx1x1x1\x03")
                                 << QStringList{"X-RAY ON|1|#ffc080", "Interlock Open|1|#ff0000",
                                                "P.S. FAULT|1|#ff0000"}
                                 << QStringList{"#ff0000", "#ff0000", "#ff0000"} << true;
        QTest::newRow("all clear")
            << QByteArray("\x02xxx0x0x0\x03")
            << QStringList{"X-RAY OFF|0|#000000", "Interlock Closed|0|#ffff00",
                           "NO P.S. FAULT|0|#ffff00"}
            << QStringList{"#000000", "#000000", "#000000"} << false;
        QTest::newRow("other characters")
            << QByteArray("\x02xxxAxBxC\x03")
            << QStringList{"X-RAY OFF|0|#000000", "INTERLOCK|0|#ffff00", "NO PS  FAULT|0|#ffff00"}
            << QStringList{"#000000", "#000000", "#000000"} << true;
    }
    void networkStatus() {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, looks);
        QFETCH(QStringList, colours);
        QFETCH(bool, switchAfter);
        Console c;
        c.window.btn_HVONOFF->setValue(true);
        StatusFrame &s = *c.window.statusFrame;
        s.decodeNetworkStatus(text);
        QCOMPARE(
            (QStringList{look(s.led_HVSTAT, s.lbl_HVSTAT), look(s.led_INTRLKSTAT, s.lbl_INTRLKSTAT),
                         look(s.led_FAULT, s.lbl_FAULT)}),
            looks);
        QCOMPARE((QStringList{textColour(s.lbl_HVSTAT), textColour(s.lbl_INTRLKSTAT),
                              textColour(s.lbl_FAULT)}),
                 colours);
        QCOMPARE(c.window.btn_HVONOFF->value(), switchAfter);
        QVERIFY(c.sent().isEmpty());
    }

    // Decoded alone, the second piece would read high voltage on and the
    // interlock open; the whole message says off, closed, no fault.
    void networkMessageInPiecesIsDecodedWhole() {
        Console c;
        c.rig.supply.ethernet = true;
        c.window.tcpClient().connectToRemote();
        QTRY_COMPARE(c.window.tcpClient().state(), int(TcpClientComponent::StateConnected));
        c.window.linkMode = QStringLiteral("ethernet");
        c.window.btn_HVONOFF->setValue(true);
        c.window.tmr_NETRCVTMR.setEnabled(true);
        c.rig.supply.push("\x02", 0);
        c.rig.supply.push("11101010\x03", 40);
        StatusFrame &s = *c.window.statusFrame;
        QTRY_COMPARE(s.lbl_FAULT->text(), QStringLiteral("NO P.S. FAULT"));
        QCOMPARE(look(s.led_HVSTAT, s.lbl_HVSTAT), QStringLiteral("X-RAY OFF|0|#000000"));
        QCOMPARE(look(s.led_INTRLKSTAT, s.lbl_INTRLKSTAT),
                 QStringLiteral("Interlock Closed|0|#ffff00"));
        QVERIFY(!c.window.btn_HVONOFF->value());
        QCOMPARE(c.window.StatusBar1->panelText(3), QStringLiteral("\x02"
                                                                   "11101010\x03"));
    }

    void watchdogToggleAlternates() {
        Console c;
        c.rig.supply.on("WDTE 1;", "1;"); // refused: the console changes state all the same
        c.rig.supply.on("WDTE 0;", ";");
        StatusFrame &s = *c.window.statusFrame;
        QAction *entry = c.window.menu.enableWdt;
        QStringList seen{entry->text() + "|" + look(s.led_wdt, s.lbl_wdt)};
        for (int i = 0; i < 3; ++i) {
            entry->trigger();
            seen << entry->text() + "|" + look(s.led_wdt, s.lbl_wdt);
        }
        QCOMPARE(seen, (QStringList{"Enable WatchDog Timer|WDT Off|0|#000000",
                                    "Disable Watchdog Timer|WDT On|1|#ffff00",
                                    "Enable Watchdog Timer|WDT Off|0|#000000",
                                    "Disable Watchdog Timer|WDT On|1|#ffff00"}));
        QCOMPARE(c.sent(), (QList<QByteArray>{"WDTE 1;", "WDTE 0;", "WDTE 1;"}));
    }
};

int zor::test::runStatusTests(int argc, char *argv[]) {
    TestStatus t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_status.moc"
