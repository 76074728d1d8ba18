#include "datarows.h"
#include "platform/counts.h"
#include "platform/displaymask.h"
#include "platform/timer.h"

#include <QSignalSpy>
#include <QTest>

using namespace zor;
using namespace zor::test;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    // The readings' own masks are checked on the monitor fields; these are the
    // rounding edges: half away from zero on the decimal value, '#' drops a zero.
    void masks_data() {
        columns<double, QString, QString>("value", "mask", "shown");
        row("zero kV", 0.0, QString("#0.000"), QString("0.000"));
        row("half kV", 0.5, QString("#0.000"), QString("0.500"));
        row("hundreds", 160.0, QString("#0.00"), QString("160.00"));
        row("fraction", 0.24, QString("#.00"), QString(".24"));
        row("half away from zero", 0.0125, QString("0.000"), QString("0.013"));
        row("decimal half", 1.0005, QString("0.000"), QString("1.001"));
        row("negative half", -0.0125, QString("0.000"), QString("-0.013"));
        row("negative rounds to zero", -0.0001, QString("0.000"), QString("0.000"));
        row("carry into integer", 9.9996, QString("#0.000"), QString("10.000"));
        row("carry below one", 0.96, QString("##.0"), QString("1.0"));
        row("zero under hashes", 0.0, QString("##.0"), QString(".0"));
    }
    void masks() {
        QFETCH(double, value);
        QFETCH(QString, mask);
        QFETCH(QString, shown);
        QCOMPARE(formatMask(value, mask), shown);
    }

    // Half to even; a DAC count stays within twelve bits.
    void counts_data() {
        columns<double, qint64, int>("value", "count", "dac");
        row("10 kV at 80/4095", 10 / (80.0 / 4095), qint64(512), 512);
        row("512.5 to even", 512.5, qint64(512), 512);
        row("513.5 to even", 513.5, qint64(514), 514);
        row("2.5", 2.5, qint64(2), 2);
        row("3.5", 3.5, qint64(4), 4);
        row("just above half", 2.5000001, qint64(3), 3);
        row("negative half", -2.5, qint64(-2), 0);
        row("not a number", std::nan(""), qint64(0), 0);
        row("above twelve bits", 5000.0, qint64(5000), 4095);
    }
    void counts() {
        QFETCH(double, value);
        QFETCH(qint64, count);
        QFETCH(int, dac);
        QCOMPARE(countFrom(value), count);
        QCOMPARE(dacCountFrom(value), dac);
        QCOMPARE(dacCountFrom(1e300), 4095);
    }

    void timerEnableRestartsInterval() {
        Timer t(700);
        QSignalSpy ticks(&t, &Timer::tick);
        t.setEnabled(true);
        QTest::qWait(400);
        t.setEnabled(true); // restarts: no tick 700 ms after the first enable
        QTest::qWait(400);
        QCOMPARE(ticks.count(), 0);
        QTRY_COMPARE(ticks.count(), 1);
        t.setEnabled(false);
        QVERIFY(!t.isEnabled());
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
