#include "control/arcframe.h"
#include "control/setpointpanel.h"
#include "diagnostics/commdiagnosticspage.h"
#include "diagnostics/rawdatapage.h"
#include "monitor/analogreadbacks.h"
#include "monitor/identityframe.h"
#include "monitor/statusframe.h"
#include "platform/lamp.h"
#include "platform/toggleswitch.h"
#include "testconsole.h"
#include "ui/stalemarks.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {

using Payloads = QList<QByteArray>;

// "label text|lit|lamp colour" of one indicator.
QString look(Lamp *led, QLabel *label) {
    return QStringLiteral("%1|%2|%3")
        .arg(label->text())
        .arg(int(led->value()))
        .arg(led->currentColor().name());
}

// Label texts of the FLT positions 2 to 10, each followed by + when its lamp is
// lit; then the ARC lamp, interlock lamp and interlock text colours.
QString faultLooks(StatusFrame &s) {
    QStringList out;
    for (const QString name :
         {"ARC", "TEMP", "OV", "UV", "OC", "UC", "wdtFault", "INTRLKSTAT", "opFault"}) {
        const bool lit = s.findChild<Lamp *>("led_" + name)->value();
        out << s.findChild<QLabel *>("lbl_" + name)->text() + (lit ? "+" : "");
    }
    return out.join(", ") + QStringList{"", s.led_ARC->currentColor().name(),
                                        s.led_INTRLKSTAT->currentColor().name(),
                                        textColour(s.lbl_INTRLKSTAT)}
                                .join(' ');
}

// "text|background" of the named fields.
QStringList fieldLooks(Console &c, const QStringList &names) {
    QStringList out;
    for (const QString &name : names)
        out << c.field(name)->text() + "|" + baseColour(c.field(name));
    return out;
}

// kV, mA, filament, rail and temperature fields, then their raw copies.
QStringList monitorFields(Console &c) {
    QStringList out = c.texts({"txt_ADC2", "txt_ADC3", "txt_ADC13", "txt_ADC1", "txt_ADC6"});
    for (int i = 0; i < 5; ++i)
        out << c.window.rawData().txt_DATA[i]->text();
    return out;
}

} // namespace

class TestMonitor : public QObject {
    Q_OBJECT
private slots:
    // STAT moves the switch without running its handler (which would send
    // ENBL); an open interlock in FLT drops it. Only an empty STAT is an error
    // (the empty rows wait out the reply limit). Fault looks are the texts of FLT
    // positions 2 to 10 (+ when lit), then the ARC lamp, interlock lamp and text colours.
    void statusRead_data() {
        columns<QByteArray, QByteArray, bool, QString, QString, bool, int>(
            "stat", "flt", "before", "hvLook", "faults", "after", "errors");
        const QByteArray clear("000000000;");
        const QString on = "X-RAY ON|1|#ffc080", off = "X-RAY OFF|0|#000000",
                      unknown = "X-RAY UNKNOWN|0|#000000";
        const QString healthy = "Arc OK+, Temp OK+, Over Voltage OK+, Under Voltage OK+, "
                                "Over Current OK+, Under Current OK+, WDT OK+, Interlock Closed, "
                                "OP OK+ #ffff00 #ffff00 #000000";
        row("on while off", "1;"_ba, clear, false, on, healthy, true, 0);
        row("off while on", "0;"_ba, clear, true, off, healthy, false, 0);
        row("other STAT", "7;"_ba, clear, true, unknown, healthy, true, 0);
        row("all faulted", "1;"_ba, "111111111;"_ba, true, on,
            "Arc Error, Temp Error, Over Voltage Error, Under Voltage Error, Over Current Error, "
            "Under Current Error, WDT Fault, Interlock Open+, OP Fault #ff0000 #ff0000 #ff0000",
            false, 0);
        row("other characters", "1;"_ba, "x0?1 0-1A;"_ba, true, on,
            "ARC, Temp OK+, Over Voltage, Under Voltage Error, Over Current, Under Current OK+, "
            "WDT Fault, Interlock Open+, OP Fault #ff0000 #ff0000 #ff0000",
            false, 0);
        row("empty STAT", QByteArray(), clear, false, unknown, healthy, false, 1);
        row("empty FLT", "1;"_ba, QByteArray(), false, on,
            "ARC, TEMP, Over Voltage, Under Voltage, Over Current, Under Current, WDT Fault, "
            "INTERLOCK, OP Fault #ff0000 #ffff00 #000000",
            true, 0);
    }
    void statusRead() {
        const auto [stat, flt, before, hvLook, faults, after, errors] =
            fetch<QByteArray, QByteArray, bool, QString, QString, bool, int>(
                "stat", "flt", "before", "hvLook", "faults", "after", "errors");
        Console c;
        c.answer("STAT;", stat);
        c.answer("FLT;", flt);
        c.window.state.setHvEnabled(before);
        c.window.panels.statusFrame->btn_REQSTAT->click();
        StatusFrame &s = *c.window.panels.statusFrame;
        QCOMPARE(c.sent(), (Payloads{"STAT;", "FLT;"}));
        QCOMPARE(look(s.led_HVSTAT, s.lbl_HVSTAT), hvLook);
        QCOMPARE(faultLooks(s), faults);
        QCOMPARE(c.window.btn_HVONOFF->value(), after);
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), errors ? " 1" : "");
        // The supply-fault lamp answers to the network message only.
        QCOMPARE(look(s.led_FAULT, s.lbl_FAULT), QStringLiteral("NO PS  FAULT|0|#ffff00"));
        QVERIFY(c.window.link.replyTimer().isEnabled());
    }

    // Counted once per arc while the switch is on (the model's table has it
    // off), re-armed when FLT reports the arc gone, up to the 16-bit ceiling.
    // Clear Count zeroes and re-arms without a command, so an arc still
    // reported counts again.
    void arcCounting_data() {
        columns<int, QList<int>, QList<int>, QString>("startCount", "counts", "armed", "shown");
        row("from zero", 0, QList<int>{0, 1, 1, 1, 2}, QList<int>{1, 0, 0, 1, 0}, "2");
        row("16-bit ceiling", 32766, QList<int>{32766, 32767, 32767, 32767, 32767},
            QList<int>{1, 0, 0, 1, 0}, "32767");
    }
    void arcCounting() {
        const auto [startCount, counts, armed, shown] =
            fetch<int, QList<int>, QList<int>, QString>("startCount", "counts", "armed", "shown");
        Console c;
        c.answer("STAT;", "1;");
        c.window.state.setHvEnabled(true);
        c.window.state.setArcCount(qint16(startCount));
        QList<int> seenCounts, seenArmed;
        for (const char *arc : {"0", "1", "1", "0", "1"}) {
            c.answer("FLT;", QByteArray(arc) + "00000000;");
            c.window.btn_REQSTAT_Click();
            c.settle();
            seenCounts << c.window.state.arcCount();
            seenArmed << c.window.state.arcArmed();
        }
        QCOMPARE(seenCounts, counts);
        QCOMPARE(seenArmed, armed);
        ArcFrame &arcs = *c.window.panels.arcFrame;
        QCOMPARE(arcs.Txt_arcCount->text(), shown);
        const qsizetype sent = c.sent().size();
        QTest::mouseClick(arcs.btn_clrArc, Qt::LeftButton);
        QCOMPARE(arcs.Txt_arcCount->text(), QStringLiteral("0"));
        QCOMPARE(c.sent().size(), sent);
        c.window.btn_REQSTAT_Click();
        c.settle();
        QCOMPARE(arcs.Txt_arcCount->text(), QStringLiteral("1"));
    }

    // Messages the supply sends on its own over the network (how pieces join is
    // the link's test).
    void networkStatus_data() {
        // HV, interlock and supply-fault looks, then their text colours
        columns<QByteArrayList, QStringList, bool>("pieces", "looks", "switchAfter");
        const QStringList clear{"X-RAY OFF|0|#000000",
                                "Interlock Closed|0|#ffff00",
                                "NO P.S. FAULT|0|#ffff00",
                                "#000000",
                                "#000000",
                                "#000000"};
        row("all set", QByteArrayList{"\x02xxx1x1x1\x03"},
            QStringList{"X-RAY ON|1|#ffc080", "Interlock Open|1|#ff0000", "P.S. FAULT|1|#ff0000",
                        "#ff0000", "#ff0000", "#ff0000"},
            true);
        row("all clear", QByteArrayList{"\x02xxx0x0x0\x03"}, clear, false);
        row("other characters", QByteArrayList{"\x02xxxAxBxC\x03"},
            QStringList{"X-RAY UNKNOWN|0|#000000", "INTERLOCK|0|#ffff00", "NO PS  FAULT|0|#ffff00",
                        "#000000", "#000000", "#000000"},
            true);
    }
    void networkStatus() {
        const auto [pieces, looks, switchAfter] =
            fetch<QByteArrayList, QStringList, bool>("pieces", "looks", "switchAfter");
        Console c(false);
        c.connectNetwork();
        c.window.state.setHvEnabled(true);
        for (qsizetype i = 0; i < pieces.size(); ++i)
            c.rig.supply.push(pieces[i], int(i) * 40);
        QTRY_COMPARE(c.window.StatusBar1->panelText(3), QString::fromLatin1(pieces.join()));
        StatusFrame &s = *c.window.panels.statusFrame;
        QCOMPARE(
            (QStringList{look(s.led_HVSTAT, s.lbl_HVSTAT), look(s.led_INTRLKSTAT, s.lbl_INTRLKSTAT),
                         look(s.led_FAULT, s.lbl_FAULT), textColour(s.lbl_HVSTAT),
                         textColour(s.lbl_INTRLKSTAT), textColour(s.lbl_FAULT)}),
            looks);
        QCOMPARE(c.window.btn_HVONOFF->value(), switchAfter);
        QVERIFY(c.sent().isEmpty());
    }

    void watchdogToggleAlternates() {
        Console c;
        c.answer("WDTE 1;", "1;"); // refused: the console changes state all the same
        c.answer("WDTE 0;", ";");
        StatusFrame &s = *c.window.panels.statusFrame;
        QAction *entry = c.window.menu.enableWdt;
        QStringList seen{entry->text() + "|" + look(s.led_wdt, s.lbl_wdt)};
        for (int i = 0; i < 3; ++i) {
            entry->trigger();
            c.settle();
            seen << entry->text() + "|" + look(s.led_wdt, s.lbl_wdt);
        }
        QCOMPARE(seen, (QStringList{"Enable WatchDog Timer|WDT Off|0|#000000",
                                    "Disable Watchdog Timer|WDT On|1|#ffff00",
                                    "Enable Watchdog Timer|WDT Off|0|#000000",
                                    "Disable Watchdog Timer|WDT On|1|#ffff00"}));
        QCOMPARE(c.sent(), (Payloads{"WDTE 1;", "WDTE 0;", "WDTE 1;"}));
    }

    // A bad reply abandons the rest of its read (as the model's table shows for
    // VMON) and stops the update switch; an empty one (waiting out the reply
    // limit) skips only itself.
    void badReplyAbandonsTheRest_data() {
        columns<QByteArray, QByteArray, Payloads, QStringList>("payload", "reply", "sent",
                                                               "fields");
        row("LVPS without ';'", "LVPS;"_ba, "1562"_ba, Payloads{"VMON;", "IMON;", "FMON;", "LVPS;"},
            QStringList{"Unknown", "0.698 mA", "3.001 A", "Channel 1", "N/A", "Channel 0",
                        "Channel 1", "2048", "2048", "2048"});
        row("VMON silent", "VMON;"_ba, QByteArray(),
            Payloads{"VMON;", "IMON;", "FMON;", "LVPS;", "TEMP;"},
            QStringList{"Channel 2", "0.698 mA", "3.001 A", "-15.00 V", "25.0", "341", "1562",
                        "Channel 2", "2048", "2048"});
    }
    void badReplyAbandonsTheRest() {
        const auto [payload, reply, sent, fields] =
            fetch<QByteArray, QByteArray, Payloads, QStringList>("payload", "reply", "sent",
                                                                 "fields");
        Console c;
        c.answerAll({"VMON;", "IMON;", "FMON;"}, "2048;");
        c.answer("LVPS;", "1562;");
        c.answer("TEMP;", "341;");
        c.answer(payload, reply);
        c.window.btn_UPDATEDATA->setValue(true);
        c.window.ops.readMonitors();
        c.settle();
        QVERIFY(c.window.link.replyTimer().isEnabled());
        QCOMPARE(c.window.btn_UPDATEDATA->value(), reply.isEmpty());
        c.window.ops.readAuxMonitors();
        QCOMPARE(c.sent(), sent);
        QCOMPARE(monitorFields(c), fields);
    }

    // Each read first fails on a closed port (no reply at once), then reads
    // again: the value replaces "Unknown" on red, or a bad reply leaves it.
    // From a failed exchange until a good reply every value and lamp from the
    // supply is greyed, its tip telling since when; the reply makes it live again.
    void staleUntilAReply_data() {
        columns<QString>("widget");
        for (const char *name : {"txt_ADC2", "led_HVSTAT", "lbl_opFault", "txt_DACA", "txt_DATA_0"})
            row(name, QString::fromLatin1(name));
    }
    void staleUntilAReply() {
        QFETCH(QString, widget);
        Console c;
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);
        StaleMarks::setClock([now] { return now.addSecs(12); });
        c.window.ops.setClocks([] { return qint64(0); }, [now] { return now; });
        QWidget *w = widget == u"txt_DACA"     ? c.window.panels.setpoints->txt_DACA
                     : widget == u"txt_DATA_0" ? c.window.rawData().findChild<QWidget *>(widget)
                                               : c.window.findChild<QWidget *>(widget);
        const QString live = w->toolTip();
        c.rig.serial->close(); // the exchange fails at once
        c.window.ops.readMonitors();
        c.settle();
        QVERIFY(w->property("stale").toBool() && w->graphicsEffect());
        QCOMPARE(w->toolTip().split('\n').last(), StaleMarks::ageText(now, now.addSecs(12)));
        QVERIFY(w->toolTip().contains(u"for 12 s"_s));
        c.rig.serial->open();
        c.answerAll({"VMON;", "IMON;", "FMON;"}, "2048;");
        c.window.ops.readMonitors();
        c.settle();
        QVERIFY(!w->property("stale").toBool() && !w->graphicsEffect());
        QCOMPARE(w->toolTip(), live);
    }

    // Another unit: what was read from the one before is no longer shown as known.
    void forgottenUnitShowsUnknown() {
        Console c;
        c.window.state.setKvPerBit(80.0 / 4095);
        c.answer("STAT;", "1;");
        c.answer("FLT;", "000000000;");
        c.answerAll({"VMON;", "IMON;", "FMON;"}, "2048;");
        c.window.panels.statusFrame->btn_REQSTAT->click();
        c.window.ops.readMonitors();
        QCOMPARE(c.field("txt_ADC2")->text(), u"40.010 kV"_s);
        c.window.state.forgetUnit();
        QCOMPARE(c.field("txt_ADC2")->text(), u"Unknown"_s);
        QCOMPARE(c.window.panels.statusFrame->lbl_HVSTAT->text(), u"X-RAY UNKNOWN"_s);
    }

    void identity_data() {
        columns<QString, QByteArray, QByteArray, QStringList, QStringList>(
            "button", "payload", "reply", "fields", "looks");
        row("hardware", "btn_HWREV", "HWVR;"_ba, "B02;"_ba, QStringList{"txt_HWREV"},
            QStringList{"B02|#ffffff"});
        row("hardware two characters", "btn_HWREV", "HWVR;"_ba, "B2;"_ba, QStringList{"txt_HWREV"},
            QStringList{"B2;|#ffffff"});
        row("model without ';'", "btn_MODNUM", "MODR;"_ba, "ZOR80HR"_ba, QStringList{"txt_MODNUM"},
            QStringList{"Unknown|#ff0000"});
        row("software revision and build", "btn_SWREV", "FREV;"_ba, "V1.02.03-AB....B0147,x;"_ba,
            QStringList{"txt_SWREV", "txt_SWBUILD"},
            QStringList{"V1.02.03-AB|#ffffff", "B0147|#ffffff"});
        row("software revision too short for its build", "btn_SWREV", "FREV;"_ba, "V1.02.03-AB;"_ba,
            QStringList{"txt_SWREV", "txt_SWBUILD"},
            QStringList{"V1.02.03-AB|#ffffff", "Unknown|#ff0000"});
        row("software build", "btn_SWBuild", "SOFT;"_ba, "2.7;"_ba, QStringList{"txt_SWBUILD"},
            QStringList{"2.7|#ffffff"});
        row("serial number", "btn_serialNum_rqst", "SNUR;"_ba, "ZR12345;"_ba,
            QStringList{"txt_serialNum_rqst"}, QStringList{"ZR12345|#ffffff"});
    }
    void identity() {
        const auto [button, payload, reply, fields, looks] =
            fetch<QString, QByteArray, QByteArray, QStringList, QStringList>(
                "button", "payload", "reply", "fields", "looks");
        Console c;
        auto *press = c.window.findChild<QPushButton *>(button);
        c.rig.serial->close();
        press->click();
        QCOMPARE(fieldLooks(c, fields),
                 QStringList(fields.size(), QStringLiteral("Unknown|#ff0000")));
        c.rig.serial->open();
        c.answer(payload, reply);
        press->click();
        QCOMPARE(fieldLooks(c, fields), looks);
        QCOMPARE(c.sent(), Payloads{payload});
    }

    void hardwareRevisionPrompt_data() {
        columns<bool, QString, QByteArray, Payloads, QString>("confirmed", "typed", "answer",
                                                              "sent", "shown");
        const QByteArray ok("40,$");
        row("confirmation cancelled", false, "A02", ok, Payloads{}, "Rev. ??");
        row("input cancelled", true, "", ok, Payloads{}, "Change Failed");
        row("two characters", true, "A0", ok, Payloads{}, "Change Failed");
        row("five characters", true, "A0201", ok, Payloads{}, "Change Failed");
        row("three characters accepted", true, "A02", ok, Payloads{"40,A02,", "HWVR;"}, "A02");
        row("three characters refused", true, "A02", "40,1"_ba, Payloads{"40,A02,"},
            "Change Failed");
        row("field separator typed", true, "A,2", ok, Payloads{}, "Change Failed");
    }
    void hardwareRevisionPrompt() {
        const auto [confirmed, typed, answer, sent, shown] =
            fetch<bool, QString, QByteArray, Payloads, QString>("confirmed", "typed", "answer",
                                                                "sent", "shown");
        Console c;
        c.answer("40,A02,", answer);
        c.answer("HWVR;", "A02;");
        c.dialogs.confirms.push_back(confirmed);
        if (confirmed)
            c.dialogs.inputs.push_back(typed);
        c.window.panels.identity->mnu_HWREV_Click();
        QCOMPARE(c.sent(), sent);
        QCOMPARE(c.window.panels.identity->txt_HWREV->text(), shown);
        QStringList boxes, expected{"Are you sure you want to change the Rev Number?|Decide Now!"};
        for (const auto &box : c.dialogs.shown)
            boxes << box.text + '|' + box.title;
        if (confirmed)
            expected << "Enter the new HW Rev Number|Change Hardware Revision Number";
        QCOMPARE(boxes, expected);
        QCOMPARE(c.window.state.failedReplies(), 0);
    }
};

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
