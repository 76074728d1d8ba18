#include "sim/operatorcommands.h"
#include "sim/options.h"
#include "sim/payloadlog.h"
#include "sim/replyshaper.h"
#include "sim/simulator.h"
#include "testregistry.h"

#include <QTest>

using namespace zor::sim;

class InjectionTest : public QObject {
    Q_OBJECT

private slots:
    void shaperPassesRepliesThrough() {
        ReplyShaper shaper;
        QByteArray previous;
        const auto plan = shaper.shape("8000;", previous);
        QVERIFY(plan);
        QCOMPARE(plan->text, QByteArray("8000;"));
        QCOMPARE(plan->delayMs, 0);
        QVERIFY(!plan->split);
        QCOMPARE(previous, QByteArray("8000;"));
    }

    void shaperFaults() {
        ReplyShaper shaper(7);
        QByteArray previous;
        shaper.settings().silent = true;
        QVERIFY(!shaper.shape("1;", previous));
        QCOMPARE(previous, QByteArray("1;")); // a silent supply still ran the command

        shaper.settings() = {};
        shaper.settings().wrongAnswer = true;
        QCOMPARE(shaper.shape("0;", previous)->text, QByteArray("1;"));
        QCOMPARE(shaper.shape("27,1,", previous)->text, QByteArray("0;"));

        shaper.settings() = {};
        shaper.settings().delayMs = 250;
        shaper.settings().split = true;
        const auto late = shaper.shape("A01;", previous);
        QCOMPARE(late->delayMs, 250);
        QVERIFY(late->split);

        shaper.settings() = {};
        shaper.settings().corruptFraction = 1.0;
        for (int i = 0; i < 100; ++i) {
            const QByteArray text = shaper.shape("ZOR80HR;", previous)->text;
            QCOMPARE(text.size(), 8);
            int differing = 0;
            for (int k = 0; k < text.size(); ++k) {
                differing += text[k] != QByteArray("ZOR80HR;")[k];
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
        QVERIFY(sim.model().fault(Fault::OverVoltage));
        QVERIFY(!sim.model().hvOn());
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
        const auto options = parseOptions({"zor-sim",
                                           "--pty",
                                           "/tmp/x",
                                           "--tcp",
                                           "0",
                                           "--wdt-ms",
                                           "300",
                                           "--rating",
                                           "60,2.5",
                                           "--silent",
                                           "--delay",
                                           "40",
                                           "--split",
                                           "--corrupt",
                                           "0.5",
                                           "--wrong",
                                           "--interlock-open",
                                           "--fault",
                                           "temp",
                                           "--fault",
                                           "op",
                                           "--arc-every",
                                           "100"},
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
        QCOMPARE(PayloadLog::escape("VSET;"), QByteArray("VSET;"));
        QCOMPARE(PayloadLog::escape(QByteArray("A\x02\r\n\\\xff", 6)),
                 QByteArray("A\\x02\\x0D\\x0A\\x5C\\xFF"));
    }
};

ZOR_SIM_SUITE(InjectionTest, "injection")
#include "tst_injection.moc"
