#include "audit/auditmenu.h"
#include "control/faultresetframe.h"
#include "control/hvenableframe.h"
#include "control/setpointpanel.h"
#include "diagnostics/commdiagnosticspage.h"
#include "diagnostics/rawdatapage.h"
#include "link/devicelink.h"
#include "monitor/statusframe.h"
#include "platform/lamp.h"
#include "platform/numedit.h"
#include "platform/toggleswitch.h"
#include "runs/runrecord.h"
#include "testconsole.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {
using Payloads = QList<QByteArray>;
const double Kv80 = 80.0 / 4095;
} // namespace

class TestControl : public QObject {
    Q_OBJECT
private slots:
    // Typed text: the value held and how often it was emitted. (That an untouched
    // field keeps its full value is checked by countsFromEditors' halves.)
    void numEdit() {
        const std::tuple<const char *, double, int> rows[] = {{"7.25", 7.25, 1},
                                                              {" 3 ", 3.0, 0},
                                                              {"5000", 4095.0, 1},
                                                              {"-1", 0.0, 1},
                                                              {"abc", 3.0, 0}};
        for (const auto &[typed, held, emitted] : rows) {
            NumEdit edit;
            edit.setRange(0, 4095);
            edit.setValue(3.0);
            QSignalSpy changed(&edit, &NumEdit::valueChanged);
            edit.enterText(QString::fromLatin1(typed));
            QCOMPARE(edit.value(), held);
            QCOMPARE(changed.count(), emitted);
        }
    }

    void countsFromEditors_data() {
        columns<double, bool, double, int, double>("kvPerBit", "typedScaled", "entered", "count",
                                                   "scaled");
        row("2.5 to even", Kv80, false, 2.5, 2, 2.5 * Kv80);
        row("3.5 to even", Kv80, false, 3.5, 4, 3.5 * Kv80);
        row("scale unknown", 0.0, true, 10.0, 0, 0.0);
        row("limit 70000", 1000.0, true, 90000.0, 70, 70000.0);
    }
    void countsFromEditors() {
        const auto [kvPerBit, typedScaled, entered, count, scaled] =
            fetch<double, bool, double, int, double>("kvPerBit", "typedScaled", "entered", "count",
                                                     "scaled");
        Console c;
        c.window.state.setKvPerBit(kvPerBit);
        SetpointPanel &p = *c.window.panels.setpoints;
        (typedScaled ? p.ctrl_SCALVAL : p.ctrl_BITVAL)->setValue(entered);
        QCOMPARE(int(p.dacNewA), count);
        QCOMPARE(p.ctrl_SCALVAL->value(), scaled);
    }

    // Beyond full scale is refused with the limit named; the editor keeps the
    // value it had and nothing is sent.
    void aboveFullScaleRefused() {
        Console c;
        c.window.state.setKvPerBit(Kv80);
        SetpointPanel &p = *c.window.panels.setpoints;
        p.ctrl_SCALVAL->enterText(QStringLiteral("40"));
        p.ctrl_SCALVAL->enterText(QStringLiteral("400"));
        QCOMPARE(c.dialogs.messages(),
                 QStringList{"400 kV is above the unit's full scale of 80 kV."});
        QCOMPARE(p.dacNewA, qint16(2048));
        QCOMPARE(p.ctrl_SCALVAL->value(), 40.0);
        QVERIFY(c.sent().isEmpty());
    }

    // Each channel loads its own accepted count and limits, also when both
    // hold the same count; one arrow step is one count.
    void channelsKeepTheirOwnValues() {
        Console c;
        SetpointPanel &p = *c.window.panels.setpoints;
        c.window.state.setKvPerBit(Kv80);
        p.dacAcceptedA = p.dacAcceptedB = 512;
        QTest::mouseClick(p.opt_DACB, Qt::LeftButton);
        QCOMPARE(p.ctrl_SCALVAL->maximum(), 8.56);
        QCOMPARE(p.ctrl_SCALVAL->value(), 0.174592);
        p.ctrl_SCALVAL->stepBy(1);
        QCOMPARE(p.dacNewB, qint16(513));
        QTest::mouseClick(p.opt_DACA, Qt::LeftButton);
        QCOMPARE(p.ctrl_SCALVAL->maximum(), 70000.0);
        QCOMPARE(p.ctrl_SCALVAL->value(), 512 * Kv80);
    }

    // Only an acknowledged count becomes the accepted one (and its raw copy):
    // "field|colour|comm errors|last error|accepted count|raw copy".
    void programOnChannelB_data() {
        columns<QByteArray, QString>("answer", "after");
        row("taken", ";"_ba, "0.100 mA|#ffffff| 0|Text1|293| 293");
        row("refused", "1"_ba, "Invalid|#ffff00| 0|1|0|");
        row("garbled", "X;"_ba, "No Comms|#ff0000| 1|Text1|0|");
        row("no reply", QByteArray(), "No Comms|#ff0000| 1|Text1|0|");
    }
    void programOnChannelB() {
        const auto [answer, after] = fetch<QByteArray, QString>("answer", "after");
        Console c;
        c.answer("IREF 293;", answer);
        SetpointPanel &p = *c.window.panels.setpoints;
        p.opt_DACB_Click();
        p.ctrl_BITVAL->setValue(293);
        p.btn_ACCEPT_Click();
        QCOMPARE(c.sent(), Payloads{"IREF 293;"});
        CommDiagnosticsPage &extras = c.window.extras();
        QCOMPARE(
            QStringList({p.txt_DACB->text(), baseColour(p.txt_DACB), extras.txt_COMMERRORS->text(),
                         extras.txt_LASTERROR->text(), QString::number(p.dacAcceptedB),
                         c.window.rawData().txt_RAWDACB->text()})
                .join('|'),
            after);
    }

    void cancelSendsAcceptedCountWithoutComma() {
        Console c;
        c.window.state.setKvPerBit(Kv80);
        SetpointPanel &p = *c.window.panels.setpoints;
        p.ctrl_SCALVAL->enterText(QStringLiteral("10"));
        QTest::mouseClick(p.btn_CANCEL, Qt::LeftButton);
        QCOMPARE(c.rig.supply.frames.at(0).bytes, QByteArray::fromHex("0231302c30430d0a"));
        QCOMPARE(p.txt_DACA->text(), QStringLiteral("Channel A"));
        QCOMPARE(c.window.StatusBar1->panelText(3), QStringLiteral("RX")); // nothing collected
        QCOMPARE(p.dacNewA, qint16(0));
    }

    void readBack_data() {
        columns<QByteArray, double, QByteArray, QString, QString>("payload", "kvPerBit", "answer",
                                                                  "field", "raw");
        // An empty field: field, raw copy and colour stay as they were.
        const QByteArray vset("VSET;"), iset("ISET;");
        row("kV 640", vset, Kv80, "640;"_ba, "12.503 kV", " 640");
        row("mA full", iset, Kv80, "4095;"_ba, "1.396 mA", " 4095");
        row("cut at first ;", vset, Kv80, "640;77;"_ba, "12.503 kV", " 640");
        row("before scaling", vset, 0.0, "640;"_ba, "Unknown", " 640");
        row("empty value", vset, Kv80, ";"_ba, "", "");
        row("not a number", iset, Kv80, "6a0;"_ba, "", "");
        row("no semicolon", vset, Kv80, "640"_ba, "", "");
        row("no reply", vset, Kv80, QByteArray(), "", "");
    }
    void readBack() {
        const auto [payload, kvPerBit, answer, field, raw] =
            fetch<QByteArray, double, QByteArray, QString, QString>("payload", "kvPerBit", "answer",
                                                                    "field", "raw");
        Console c;
        c.window.state.setKvPerBit(kvPerBit);
        c.answer(payload, answer);
        const bool kv = payload == "VSET;";
        SetpointPanel &p = *c.window.panels.setpoints;
        QLineEdit *target = kv ? p.txt_DACA : p.txt_DACB;
        QLineEdit *rawTarget = kv ? c.window.rawData().txt_RAWDACA : c.window.rawData().txt_RAWDACB;
        QPalette marked = target->palette(); // as a failed transmit left it
        marked.setColor(QPalette::Base, Qt::red);
        target->setPalette(marked);
        const QString before = target->text(), rawBefore = rawTarget->text();
        QTest::mouseClick(kv ? p.btn_KVSET : p.btn_EMI, Qt::LeftButton);
        QCOMPARE(c.sent(), Payloads{payload});
        QVERIFY(target->isReadOnly() && rawTarget->isReadOnly()); // nothing typed stands in
        QCOMPARE(target->text(), field.isEmpty() ? before : field);
        QCOMPARE(rawTarget->text(), field.isEmpty() ? rawBefore : raw);
        QCOMPARE(baseColour(target), field.isEmpty() ? "#ff0000" : "#ffffff");
        QVERIFY(c.window.link.replyTimer().isEnabled());
        QCOMPARE(c.window.state.failedReplies(), 0);
    }

    // "switch|lamp label|comm errors|last error" after the toggle. The label is
    // red, its lamp lit and interlock 1 drawn energized exactly with "X-RAY ON".
    void hvToggle_data() {
        columns<bool, QByteArray, QString>("startOn", "answer", "after");
        // startOn: reached through an acknowledged "on"
        row("off, acknowledged", false, ";"_ba, "on|X-RAY ON| 0|Text1");
        row("off, no reply", false, QByteArray(), "on|X-RAY UNKNOWN| 1|Text1");
        row("on, no reply", true, QByteArray(), "off|X-RAY ON| 1|Text1");
        row("on, refused", true, "1"_ba, "off|X-RAY ON| 0|1");
        row("on, acknowledged", true, ";"_ba, "off|X-RAY OFF| 0|Text1");
    }
    void hvToggle() {
        const auto [startOn, answer, after] =
            fetch<bool, QByteArray, QString>("startOn", "answer", "after");
        Console c;
        const QByteArray payload = startOn ? "ENBL 0;" : "ENBL 1;";
        if (startOn) {
            c.answer("ENBL 1;", ";");
            c.window.btn_HVONOFF_Click();
        }
        c.answer(payload, answer);
        c.window.btn_HVONOFF_Click();
        QCOMPARE(c.sent(), (startOn ? Payloads{"ENBL 1;", payload} : Payloads{payload}));
        StatusFrame &status = *c.window.panels.statusFrame;
        CommDiagnosticsPage &extras = c.window.extras();
        QCOMPARE(
            QStringList({c.window.btn_HVONOFF->value() ? "on" : "off", status.lbl_HVSTAT->text(),
                         extras.txt_COMMERRORS->text(), extras.txt_LASTERROR->text()})
                .join('|'),
            after);
        const bool lit = status.lbl_HVSTAT->text() == "X-RAY ON";
        QCOMPARE(status.led_HVSTAT->value(), lit);
        QCOMPARE(textColour(status.lbl_HVSTAT), lit ? "#ff0000" : "#000000");
        QCOMPARE(c.window.rawData().lbl_INTRLK1->text(), lit ? "Energized" : "De-Energized");
        QCOMPARE(!c.window.rawData().line_NO11->isHidden(), lit);
    }

    // A toggle asked for while another command waits runs after it, in the
    // direction the switch showed when it was asked for, even when a status
    // read-back moved the switch meanwhile; a click moves the switch once.
    void hvHeldToggleKeepsItsDirection() {
        for (bool statusSaysOn : {false, true}) {
            Console c;
            c.window.state.setHvEnabled(true);
            c.answer("VSET;", "640;", 300);
            c.answer("ENBL 0;", ";");
            QTimer::singleShot(50, &c.window,
                               [&] { QTest::mouseClick(c.window.btn_HVONOFF, Qt::LeftButton); });
            QTimer::singleShot(100, &c.window, [&] { c.window.state.setHvEnabled(statusSaysOn); });
            c.window.btn_KVSET_Click();
            QCOMPARE(c.sent(), (Payloads{"VSET;", "ENBL 0;"}));
            QVERIFY(!c.window.btn_HVONOFF->value());
        }
    }

    // With no transport the switch is refused and stays as it was.
    void switchRefusedWithoutPort() {
        Console c(false);
        QTest::mouseClick(c.window.btn_HVONOFF, Qt::LeftButton);
        QCOMPARE(c.shown("message"), QStringList{u"Please Select Port!"_s});
        QVERIFY(!c.window.btn_HVONOFF->value() && !c.window.state.hvEnabled());
        QVERIFY(c.sent().isEmpty());
    }

    // The warning before X-rays, 3 s: "ENBL 1;" goes out when it ends, counted
    // on the switch and the status bar; the off key or a second click at 1 s
    // cancels it and no "ENBL 1;" goes out.
    void xrayWarning_data() {
        columns<QString, Payloads>("cancel", "wire");
        row("counted down", u""_s, Payloads{"ENBL 1;"});
        row("off key", u"off key"_s, Payloads{"ENBL 0;"});
        row("second click", u"click"_s, Payloads{});
    }
    void xrayWarning() {
        const auto [cancel, wire] = fetch<QString, Payloads>("cancel", "wire");
        Console c;
        c.answerAll({"ENBL 1;", "ENBL 0;"}, ";");
        c.window.ops.xrayWarning().setSeconds(3);
        QElapsedTimer clock;
        qint64 onAt = -1;
        connect(&c.window.link, &DeviceLink::transmitted, this, [&](const QByteArray &frame) {
            if (frame.contains("ENBL 1;"))
                onAt = clock.elapsed();
        });
        clock.start();
        QTest::mouseClick(c.window.btn_HVONOFF, Qt::LeftButton);
        QCOMPARE(c.window.btn_HVONOFF->text(), u"ON IN 3"_s);
        QCOMPARE(c.window.StatusBar1->currentMessage(), u"X-rays on in 3 s"_s);
        QVERIFY(!c.window.btn_HVONOFF->value() && c.sent().isEmpty());
        QTest::qWait(1000);
        if (cancel == u"off key")
            c.window.menu.mnu_XRAYOFF->trigger();
        else if (cancel == u"click")
            QTest::mouseClick(c.window.btn_HVONOFF, Qt::LeftButton);
        QTest::qWait(2300);
        QCOMPARE(c.sent(), wire);
        if (cancel.isEmpty())
            QVERIFY2(qAbs(onAt - 3000) <= 100, qPrintable(QString::number(onAt)));
        QCOMPARE(c.window.btn_HVONOFF->text(), cancel.isEmpty() ? u"ON"_s : u"OFF"_s);
        QVERIFY(c.window.StatusBar1->currentMessage().isEmpty());
    }

    // A trail that cannot be written (a file where its folder should be): the
    // write goes out all the same, and the status bar and the event log say so.
    void unwritableTrailIsTold() {
        Console c;
        QTemporaryDir dir;
        QFile blocked(dir.filePath(u"audit"_s));
        QVERIFY(blocked.open(QIODevice::WriteOnly));
        AuditMenu menu(c.window.context(), c.window.StatusBar1, &c.window, blocked.fileName());
        c.answer("ENBL 1;", ";");
        QTest::mouseClick(c.window.btn_HVONOFF, Qt::LeftButton);
        QCOMPARE(c.sent(), Payloads{"ENBL 1;"});
        const QString told = c.window.StatusBar1->currentMessage();
        QVERIFY2(told.startsWith(u"Audit trail not writable: "_s), qPrintable(told));
        const auto entries = c.window.records.events.entries();
        QVERIFY(
            std::any_of(entries.begin(), entries.end(), [&](auto &e) { return e.text == told; }));
    }

    // A tube last at high voltage longer ago than the set days (records dated
    // so) asks once before the on: Cancel sends nothing; Switch On Anyway
    // switches on and is not asked again; a recent tube is not asked.
    void idleTubeAsksFirst_data() {
        columns<int, int, int, Payloads>("daysAgo", "pick", "asked", "sent");
        row("100 days, Cancel", 100, 2, 1, Payloads{});
        row("100 days, Switch On Anyway", 100, 1, 1, Payloads{"ENBL 1;", "ENBL 0;", "ENBL 1;"});
        row("80 days", 80, -1, 0, Payloads{"ENBL 1;", "ENBL 0;", "ENBL 1;"});
    }
    void idleTubeAsksFirst() {
        const auto [daysAgo, pick, asked, sent] =
            fetch<int, int, int, Payloads>("daysAgo", "pick", "asked", "sent");
        Console c;
        c.rig.supply.fallback = {";", 0, {}, 5, false, false};
        c.window.state.setIdentity(IdentityField::SerialNumber, u"SN-42"_s);
        const QString folder = runs::defaultRunFolder();
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QFile record(folder + u"/old.jsonl"_s);
        QVERIFY(record.open(QIODevice::WriteOnly));
        const QDateTime started = QDateTime::currentDateTimeUtc().addDays(-daysAgo).addSecs(-60);
        record.write(u"{\"record\":\"run\",\"kind\":\"seasoning\",\"tube\":\"SN-42\","
                     u"\"started\":\"%1\"}\n"
                     "{\"record\":\"step\",\"step\":1,\"seconds\":60,\"points\":[[1,30,0.2]]}\n"
                     "{\"record\":\"end\",\"end\":\"completed\",\"seconds\":60}\n"_s
                         .arg(started.toString(Qt::ISODate))
                         .toUtf8());
        record.close();
        if (pick >= 0)
            c.dialogs.picks.push_back(pick);
        for (int click = 0; click < (pick == 2 ? 1 : 3); ++click) {
            QTest::mouseClick(c.window.btn_HVONOFF, Qt::LeftButton);
            c.settle();
        }
        QCOMPARE(c.shown("ask"),
                 QStringList(asked, u"Tube SN-42 idle for 100 days: season before use?"_s));
        QCOMPARE(c.sent(), sent);
        QCOMPARE(c.window.btn_HVONOFF->value(), !sent.isEmpty());
        QDir(folder).removeRecursively();
    }

    // What the event log says of an operation, as the supply answered it.
    void eventWording_data() {
        columns<QString, QByteArray, QString>("action", "answer", "logged");
        row("fault cleared", u"reset"_s, ";"_ba, u"fault_reset Fault reset"_s);
        row("fault still clearing", u"reset"_s, "$"_ba, u"fault_reset Fault reset"_s);
        row("fault reset refused", u"reset"_s, "1"_ba, u"fault_reset Fault reset refused"_s);
        row("on confirmed", u"on"_s, ";"_ba,
            u"hv_on_asked HV on asked|hv_on_confirmed HV on confirmed"_s);
        row("on refused, interlock open", u"on, interlock"_s, "1"_ba,
            u"hv_on_asked HV on asked|hv_on_refused HV on refused: interlock open"_s);
        row("on refused, no lamp", u"on"_s, "1"_ba,
            u"hv_on_asked HV on asked|hv_on_refused HV on refused"_s);
        row("status read: nothing asked", u"status"_s, "1;"_ba,
            u"hv_on_confirmed HV on confirmed"_s);
        row("CANCEL", u"cancel"_s, QByteArray(),
            u"setpoint_reverted kV setpoint reverted: 0 counts"_s);
        row("watchdog", u"watchdog"_s, ";"_ba, u"watchdog Watchdog enabled"_s);
        row("port change", u"port"_s, QByteArray(), u"port_changed Port changed: COMM2 at 9600"_s);
        row("X-ray off key", u"off key"_s, ";"_ba,
            u"hv_off_asked HV off asked|xray_off_key X-ray off key"_s);
    }
    void eventWording() {
        const auto [action, answer, logged] =
            fetch<QString, QByteArray, QString>("action", "answer", "logged");
        Console c;
        StatusBits interlock = c.window.state.status();
        interlock.faults.interlockOpen = action == u"on, interlock";
        c.window.state.setStatus(interlock);
        const qsizetype before = c.window.records.events.entries().size();
        const QHash<QString, std::function<void()>> act{
            {u"reset"_s,
             [&] {
                 c.answer("CLR;", answer),
                     QTest::mouseClick(c.window.panels.faultReset->btn_RSTTIME, Qt::LeftButton);
             }},
            {u"on"_s, [&] { c.answer("ENBL 1;", answer), c.window.btn_HVONOFF_Click(); }},
            {u"status"_s,
             [&] {
                 c.answer("STAT;", answer), c.answer("FLT;", "000000000;");
                 c.window.panels.statusFrame->btn_REQSTAT->click();
             }},
            {u"cancel"_s, [&] { c.window.panels.setpoints->btn_CANCEL->click(); }},
            {u"watchdog"_s,
             [&] { c.answer("WDTE 1;", answer), c.window.menu.enableWdt->trigger(); }},
            {u"port"_s, [&] { c.window.state.noteTransportChange(u"COMM2 at 9600"_s); }},
            {u"off key"_s,
             [&] { c.answer("ENBL 0;", answer), c.window.menu.mnu_XRAYOFF->trigger(); }}};
        act.value(action, act[u"on"_s])();
        c.settle();
        QStringList texts;
        for (const EventLog::Entry &e : c.window.records.events.entries().mid(before))
            texts << eventKey(e.type) + ' ' + e.text;
        QCOMPARE(texts.join('|'), logged);
        // A refused on says why beside the switch and in the status bar.
        const QString refusal = logged.contains("hv_on_refused")
                                    ? (action == u"on" ? u"ON refused by the supply"_s
                                                       : u"ON refused: interlock open"_s)
                                    : QString();
        QCOMPARE(c.window.panels.hvEnable->lbl_HVREFUSED->text(), refusal);
        QCOMPARE(c.window.statusBar()->currentMessage(), refusal);
    }

    void faultReset_data() {
        columns<QByteArray, QString>("answer", "face");
        row("semicolon", ";"_ba, "RESET");
        row("dollar", "$"_ba, "In Process!");
        row("error", "1"_ba, "RESET");
    }
    void faultReset() {
        const auto [answer, face] = fetch<QByteArray, QString>("answer", "face");
        Console c;
        c.answer("CLR;", answer);
        ToggleSwitch *sw = c.window.panels.faultReset->btn_RSTTIME;
        QTest::mouseClick(sw, Qt::LeftButton);
        QCOMPARE(c.sent(), Payloads{"CLR;"});
        QCOMPARE(sw->text(), face);
        QCOMPARE(c.window.state.failedReplies(), 0);
    }
};

QTEST_MAIN(TestControl)
#include "tst_control.moc"
