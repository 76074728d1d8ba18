// The setpoint panel, its coupled editors, the setpoint read-backs and the
// numeric editor they are built on.
#include "console.h"
#include "control/setpointpanel.h"
#include "diagnostics/frm_rawdata.h"
#include "platform/numedit.h"
#include "shell/frm_extras.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>

using namespace zor;
using namespace zor::test;

namespace {
const double Kv80 = 80.0 / 4095;
} // namespace

class TestSetpoints : public QObject {
    Q_OBJECT
private slots:
    void numEdit_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("held");
        QTest::addColumn<int>("emitted");
        row("number", "7.25", 7.25, 1);
        row("same value", " 3 ", 3.0, 0);
        row("above", "5000", 4095.0, 1);
        row("below", "-1", 0.0, 1);
        row("letters", "abc", 3.0, 0);
    }
    void numEdit() {
        QFETCH(QString, typed);
        QFETCH(double, held);
        QFETCH(int, emitted);
        NumEdit edit;
        edit.setRange(0, 4095);
        edit.setValue(3.0);
        QSignalSpy changed(&edit, &NumEdit::valueChanged);
        edit.enterText(typed);
        QCOMPARE(edit.value(), held);
        QCOMPARE(changed.count(), emitted);
    }

    void numEditLeftUntouchedKeepsFullValue() {
        NumEdit edit;
        edit.setRange(0, 100);
        edit.setValue(10.0024420024);
        QCOMPARE(edit.text(), QStringLiteral("10.002"));
        QSignalSpy changed(&edit, &NumEdit::valueChanged);
        emit edit.editingFinished(); // leaving the field must not re-read the rounded text
        QCOMPARE(changed.count(), 0);
        QCOMPARE(edit.value(), 10.0024420024);
    }

    void tenKilovoltsProgramsCount512() {
        Console c;
        c.window.kvPerBit = Kv80;
        c.rig.supply.on("VREF 512;", ";");
        SetpointPanel &p = *c.window.setpoints;
        p.ctrl_SCALVAL->enterText(QStringLiteral("10"));
        QCOMPARE(p.ctrl_BITVAL->value(), 511.875);
        QCOMPARE(c.window.dacNewA, qint16(512));
        QTest::mouseClick(p.btn_ACCEPT, Qt::LeftButton);
        QCOMPARE(c.sent(), QList<QByteArray>{"VREF 512;"});
        QCOMPARE(p.txt_DACA->text(), QStringLiteral("10.002 kV"));
        QCOMPARE(c.window.dacAcceptedA, qint16(512));
        QCOMPARE(c.window.rawData().txt_RAWDACA->text(), QStringLiteral(" 512"));
    }

    void countsFromEditors_data() {
        QTest::addColumn<double>("kvPerBit");
        QTest::addColumn<bool>("typedScaled"); // else the bit editor is set
        QTest::addColumn<double>("entered");
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("scaled");
        row("2.5 to even", Kv80, false, 2.5, 2, 2.5 * Kv80);
        row("3.5 to even", Kv80, false, 3.5, 4, 3.5 * Kv80);
        row("512.5 to even", Kv80, false, 512.5, 512, 512.5 * Kv80);
        row("beyond 4095", Kv80, true, 100.0, 4095, 80.0);
        row("scale unknown", 0.0, true, 10.0, 0, 0.0);
        row("limit 70000", 1000.0, true, 90000.0, 70, 70000.0);
    }
    void countsFromEditors() {
        QFETCH(double, kvPerBit);
        QFETCH(bool, typedScaled);
        QFETCH(double, entered);
        QFETCH(int, count);
        QFETCH(double, scaled);
        Console c;
        c.window.kvPerBit = kvPerBit;
        SetpointPanel &p = *c.window.setpoints;
        (typedScaled ? p.ctrl_SCALVAL : p.ctrl_BITVAL)->setValue(entered);
        QCOMPARE(int(c.window.dacNewA), count);
        QCOMPARE(p.ctrl_SCALVAL->value(), scaled);
    }

    void selectingMaProgLoadsAcceptedValueAndLimits() {
        Console c;
        SetpointPanel &p = *c.window.setpoints;
        c.window.dacAcceptedB = 293;
        QTest::mouseClick(p.opt_DACB, Qt::LeftButton);
        QCOMPARE(p.lbl_CHMOD->text(), QStringLiteral("Now Modifying MA_PROG"));
        QCOMPARE(p.ctrl_SCALVAL->maximum(), 8.56);
        QCOMPARE(p.ctrl_SCALVAL->increment(), 0.000341);
        QCOMPARE(p.ctrl_SCALVAL->value(), 0.099913);
        p.ctrl_SCALVAL->stepBy(1); // one arrow step is one count
        QCOMPARE(c.window.dacNewB, qint16(294));
        QTest::mouseClick(p.opt_DACA, Qt::LeftButton);
        QCOMPARE(p.lbl_CHMOD->text(), QStringLiteral("Now Modifying KV_PROG"));
        QCOMPARE(p.ctrl_SCALVAL->maximum(), 70000.0);
    }

    void switchingChannelsWithEqualCountsKeepsEachValue() {
        Console c;
        c.window.kvPerBit = Kv80;
        c.window.dacAcceptedA = c.window.dacAcceptedB = 512;
        SetpointPanel &p = *c.window.setpoints;
        p.opt_DACA_Click();
        p.opt_DACB_Click();
        QCOMPARE(p.ctrl_SCALVAL->value(), 0.174592);
        QCOMPARE(c.window.dacNewB, qint16(512));
    }

    void programOnChannelB_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<QString>("errors");
        QTest::addColumn<QString>("lastError");
        QTest::addColumn<int>("accepted");
        row("taken", QByteArray(";"), "0.100 mA", "#ffffff", " 0", "Text1", 293);
        row("refused", QByteArray("1"), "Invalid", "#ffff00", " 0", "1", 0);
        row("garbled", QByteArray("X;"), "No Comms", "#ff0000", " 1", "Text1", 0);
        row("no reply", QByteArray(), "No Comms", "#ff0000", " 1", "Text1", 0);
    }
    void programOnChannelB() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, field);
        QFETCH(QString, colour);
        QFETCH(QString, errors);
        QFETCH(QString, lastError);
        QFETCH(int, accepted);
        Console c;
        c.answer("IREF 293;", answer);
        SetpointPanel &p = *c.window.setpoints;
        p.opt_DACB_Click();
        p.ctrl_BITVAL->setValue(293);
        const QString rawBefore = c.window.rawData().txt_RAWDACB->text();
        p.btn_ACCEPT_Click();
        QCOMPARE(c.sent(), QList<QByteArray>{"IREF 293;"});
        QCOMPARE(p.txt_DACB->text(), field);
        QCOMPARE(baseColour(p.txt_DACB), colour);
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), errors);
        QCOMPARE(c.window.extras().txt_LASTERROR->text(), lastError);
        QCOMPARE(int(c.window.dacAcceptedB), accepted);
        QCOMPARE(c.window.rawData().txt_RAWDACB->text(), accepted ? " 293" : rawBefore);
    }

    void cancelSendsAcceptedCountWithoutComma() {
        Console c;
        c.window.kvPerBit = Kv80;
        SetpointPanel &p = *c.window.setpoints;
        p.ctrl_SCALVAL->enterText(QStringLiteral("10"));
        QTest::mouseClick(p.btn_CANCEL, Qt::LeftButton);
        QCOMPARE(c.rig.supply.frames.at(0).bytes.left(5), QByteArray("\x02"
                                                                     "10,0"));
        QCOMPARE(c.sent(), QList<QByteArray>{"10,0"});
        QCOMPARE(p.txt_DACA->text(), QStringLiteral("Channel A"));
        QCOMPARE(c.window.StatusBar1->panelText(3), QStringLiteral("RX")); // nothing collected
        QCOMPARE(c.window.dacNewA, qint16(0));
    }

    void channelSwitchDuringProgramWaitAcceptsTheSentChannel() {
        Console c;
        c.window.kvPerBit = Kv80;
        c.rig.supply.on("VREF 512;", ";", 200);
        SetpointPanel &p = *c.window.setpoints;
        p.ctrl_SCALVAL->enterText(QStringLiteral("10"));
        QTimer::singleShot(50, &c.window, [&] { QTest::mouseClick(p.opt_DACB, Qt::LeftButton); });
        p.btn_ACCEPT_Click();
        QCOMPARE(c.window.dacAcceptedA, qint16(512));
        QCOMPARE(c.window.dacAcceptedB, qint16(0));
        QCOMPARE(p.txt_DACA->text(), QStringLiteral("10.002 kV"));
    }

    void readBack_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<double>("kvPerBit");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("field"); // empty: unchanged
        QTest::addColumn<QString>("raw");
        row("kV 640", QByteArray("VSET;"), Kv80, QByteArray("640;"), "12.503 kV", " 640");
        row("kV zero", QByteArray("VSET;"), Kv80, QByteArray("0;"), "0.000 kV", " 0");
        row("mA full", QByteArray("ISET;"), Kv80, QByteArray("4095;"), "1.396 mA", " 4095");
        row("cut at first ;", QByteArray("VSET;"), Kv80, QByteArray("640;77;"), "12.503 kV",
            " 640");
        row("half kV", QByteArray("VSET;"), 0.001, QByteArray("500;"), "0.500 kV", " 500");
        row("before scaling", QByteArray("VSET;"), 0.0, QByteArray("640;"), "0.000 kV", " 640");
        row("empty value", QByteArray("VSET;"), Kv80, QByteArray(";"), "", "");
        row("not a number", QByteArray("ISET;"), Kv80, QByteArray("6a0;"), "", "");
        row("no semicolon", QByteArray("VSET;"), Kv80, QByteArray("640"), "", "");
        row("no reply", QByteArray("VSET;"), Kv80, QByteArray(), "", "");
    }
    void readBack() {
        QFETCH(QByteArray, payload);
        QFETCH(double, kvPerBit);
        QFETCH(QByteArray, answer);
        QFETCH(QString, field);
        QFETCH(QString, raw);
        Console c;
        c.window.kvPerBit = kvPerBit;
        c.answer(payload, answer);
        const bool kv = payload == "VSET;";
        QLineEdit *target = kv ? c.window.setpoints->txt_DACA : c.window.setpoints->txt_DACB;
        QLineEdit *rawTarget = kv ? c.window.rawData().txt_RAWDACA : c.window.rawData().txt_RAWDACB;
        QPalette marked = target->palette(); // as a failed transmit left it
        marked.setColor(QPalette::Base, Qt::red);
        target->setPalette(marked);
        const QString before = target->text(), rawBefore = rawTarget->text();
        QTest::mouseClick(kv ? c.window.btn_KVSET : c.window.btn_EMI, Qt::LeftButton);
        QCOMPARE(c.sent(), QList<QByteArray>{payload});
        QCOMPARE(target->text(), field.isEmpty() ? before : field);
        QCOMPARE(rawTarget->text(), field.isEmpty() ? rawBefore : raw);
        QCOMPARE(baseColour(target), field.isEmpty() ? "#ff0000" : "#ffffff");
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
        QCOMPARE(c.window.commErrorCount, 0);
    }
};

int zor::test::runSetpointTests(int argc, char **argv) {
    TestSetpoints t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_setpoints.moc"
