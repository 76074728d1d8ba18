// The high-voltage switch, local/remote, fault reset, arc-count clear and the
// hour-meter reset.
#include "console.h"
#include "control/arcframe.h"
#include "control/faultresetframe.h"
#include "control/localremote.h"
#include "diagnostics/frm_rawdata.h"
#include "monitor/statusframe.h"
#include "platform/lamp.h"
#include "platform/toggleswitch.h"
#include "shell/frm_extras.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

using namespace zor;
using namespace zor::test;

class TestSwitches : public QObject {
    Q_OBJECT
private slots:
    void hvToggle_data() {
        QTest::addColumn<bool>("startOn"); // reached through an acknowledged "on"
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("switchOn");
        QTest::addColumn<bool>("lampOn");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("errors");
        QTest::addColumn<QString>("lastError");
        row("off, acknowledged", false, QByteArray(";"), true, true, "X-RAY ON", " 0", "Text1");
        row("off, no reply", false, QByteArray(), true, false, "X-RAY OFF", " 1", "Text1");
        row("on, no reply", true, QByteArray(), false, true, "X-RAY ON", " 1", "Text1");
        row("on, refused", true, QByteArray("1"), false, true, "X-RAY ON", " 0", "1");
        row("on, acknowledged", true, QByteArray(";"), false, false, "X-RAY OFF", " 0", "Text1");
    }
    void hvToggle() {
        QFETCH(bool, startOn);
        QFETCH(QByteArray, answer);
        QFETCH(bool, switchOn);
        QFETCH(bool, lampOn);
        QFETCH(QString, label);
        QFETCH(QString, errors);
        QFETCH(QString, lastError);
        Console c;
        const QByteArray payload = startOn ? "ENBL 0;" : "ENBL 1;";
        if (startOn) {
            c.rig.supply.on("ENBL 1;", ";");
            c.window.btn_HVONOFF_Click();
        }
        c.answer(payload, answer);
        c.window.btn_HVONOFF_Click();
        QCOMPARE(c.sent().last(), payload);
        QCOMPARE(c.sent().size(), startOn ? 2 : 1);
        QCOMPARE(c.window.btn_HVONOFF->value(), switchOn);
        StatusFrame &status = *c.window.statusFrame;
        QCOMPARE(status.led_HVSTAT->value(), lampOn);
        QCOMPARE(status.lbl_HVSTAT->text(), label);
        QCOMPARE(status.lbl_HVSTAT->palette().color(QPalette::WindowText).name(),
                 lampOn ? "#ff0000" : "#000000");
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), errors);
        QCOMPARE(c.window.extras().txt_LASTERROR->text(), lastError);
        frm_RAWDATA &page = c.window.rawData();
        QCOMPARE(page.lbl_INTRLK1->text(), lampOn ? "Energized" : "De-Energized");
        QCOMPARE(!page.line_NO11->isHidden(), lampOn);
    }

    void hvTwoTogglesInARowGoOnThenOff() {
        Console c;
        c.rig.supply.on("ENBL 1;", "1");
        c.rig.supply.on("ENBL 0;", "X");
        c.window.btn_HVONOFF_Click();
        c.window.btn_HVONOFF_Click();
        QCOMPARE(c.sent(), (QList<QByteArray>{"ENBL 1;", "ENBL 0;"}));
        QVERIFY(!c.window.btn_HVONOFF->value());
    }

    // A toggle asked for while another command waits runs after it, in the
    // direction the switch showed when it was asked for, even when a status
    // read-back moved the switch meanwhile; a click moves the switch once.
    void hvHeldToggleKeepsItsDirection_data() {
        QTest::addColumn<bool>("byClick");
        QTest::addColumn<bool>("statusSaysOn");
        row("click, status off", true, false);
        row("click, status on", true, true);
        row("call, status off", false, false);
    }
    void hvHeldToggleKeepsItsDirection() {
        QFETCH(bool, byClick);
        QFETCH(bool, statusSaysOn);
        Console c;
        c.window.btn_HVONOFF->setValue(true);
        c.rig.supply.on("VSET;", "640;", 300);
        c.rig.supply.on("ENBL 0;", ";");
        QTimer::singleShot(50, &c.window, [&] {
            if (byClick)
                QTest::mouseClick(c.window.btn_HVONOFF, Qt::LeftButton);
            else
                c.window.btn_HVONOFF_Click();
        });
        QTimer::singleShot(100, &c.window, [&] { c.window.btn_HVONOFF->setValue(statusSaysOn); });
        c.window.btn_KVSET_Click();
        QCOMPARE(c.sent(), (QList<QByteArray>{"VSET;", "ENBL 0;"}));
        QVERIFY(!c.window.btn_HVONOFF->value());
    }

    void shutdownHandsBackToLocal_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("remoteAfter");
        row("acknowledged", QByteArray("99,$"), false);
        row("not acknowledged", QByteArray("99,1"), true);
    }
    void shutdownHandsBackToLocal() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, remoteAfter);
        Console c;
        c.rig.supply.on("99,0,", answer);
        c.window.mnu_SHUTDOWN_Click();
        QCOMPARE(c.window.localRemote->btn_local_remote->value(), remoteAfter);
        QTRY_COMPARE(c.ends, 1);
        QCOMPARE(c.sent(), (QList<QByteArray>{"99,0,", "10,0,", "11,0,", "12,0,", "13,0,"}));
        QCOMPARE(c.window.commErrorCount, 0);
    }

    void faultReset_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("face");
        row("semicolon", QByteArray(";"), "RESET");
        row("dollar", QByteArray("$"), "In Process!");
        row("error", QByteArray("1"), "RESET");
    }
    void faultReset() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, face);
        Console c;
        c.rig.supply.on("CLR;", answer);
        ToggleSwitch *sw = c.window.faultReset->btn_RSTTIME;
        QTest::mouseClick(sw, Qt::LeftButton);
        QCOMPARE(c.sent(), QList<QByteArray>{"CLR;"});
        QCOMPARE(sw->text(), face);
        QCOMPARE(c.window.commErrorCount, 0);
    }

    void clearCountRearmsTheArcCounter() {
        Console c;
        c.window.btn_HVONOFF->setValue(true);
        c.window.arcCount = 3;
        c.window.arcArmed = 0;
        QTest::mouseClick(c.window.arcFrame->btn_clrArc, Qt::LeftButton);
        QCOMPARE(c.window.arcFrame->Txt_arcCount->text(), QStringLiteral("0"));
        QCOMPARE(c.window.arcArmed, qint16(1));
        QVERIFY(c.sent().isEmpty());
        c.window.btn_REQSTAT_Click(); // the fake's "1;" to FLT still reports the arc
        QCOMPARE(c.window.arcFrame->Txt_arcCount->text(), QStringLiteral("1"));
    }

    void hourMeterResetSendsAndShowsNothing() {
        Console c;
        c.rig.supply.on("30,", "30,$");
        QAction *entry = c.window.menu.mnu_Reset_total_hrs;
        QVERIFY(!entry->isEnabled());
        entry->setEnabled(true); // only to prove the wiring
        entry->trigger();
        QCOMPARE(c.sent(), QList<QByteArray>{"30,"});
        QCOMPARE(c.window.extras().txt_LASTERROR->text(), QStringLiteral("Text1"));
        QCOMPARE(c.dialogs.messages().size(), 1); // the port prompt only
    }
};

int zor::test::runSwitchTests(int argc, char **argv) {
    TestSwitches t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_switches.moc"
