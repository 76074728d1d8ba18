#include "platform/counts.h"
#include "platform/displaymask.h"
#include "platform/timer.h"
#include "platform/toggleswitch.h"

#include <QSignalSpy>
#include <QTest>

using namespace zor;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void masks_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("shown");
        QTest::newRow("mA before scaling") << 2048 * 0.000341 << "0.000"
                                           << "0.698";
        QTest::newRow("kV half scale") << 2048 * (8000.0 / 100 / 4095) << "#0.000"
                                       << "40.010";
        QTest::newRow("kV full scale") << 4095 * (8000.0 / 100 / 4095) << "#0.000"
                                       << "80.000";
        QTest::newRow("kV setpoint") << 640 * (80.0 / 4095) << "#0.000"
                                     << "12.503";
        QTest::newRow("zero kV") << 0.0 << "#0.000"
                                 << "0.000";
        QTest::newRow("half kV") << 0.5 << "#0.000"
                                 << "0.500";
        QTest::newRow("mA full") << 4095 * 0.000341 << "0.000"
                                 << "1.396";
        QTest::newRow("filament") << 2048 * 0.0014652 << "0.##0"
                                  << "3.001";
        QTest::newRow("lvps") << (3972 - 1562) * 0.006224 << "##.#0"
                              << "15.00";
        QTest::newRow("temperature") << 341 / 13.65 << "##.0"
                                     << "25.0";
        QTest::newRow("below one, no leading zero") << 5 / 13.65 << "##.0"
                                                    << ".4";
        QTest::newRow("hundreds") << 160.0 << "#0.00"
                                  << "160.00";
        QTest::newRow("fraction") << 0.24 << "#.00"
                                  << ".24";
        QTest::newRow("half away from zero") << 0.0125 << "0.000"
                                             << "0.013";
        QTest::newRow("decimal half") << 1.0005 << "0.000"
                                      << "1.001";
        QTest::newRow("negative half") << -0.0125 << "0.000"
                                       << "-0.013";
        QTest::newRow("negative rounds to zero") << -0.0001 << "0.000"
                                                 << "0.000";
        QTest::newRow("carry into integer") << 9.9996 << "#0.000"
                                            << "10.000";
        QTest::newRow("carry below one") << 0.96 << "##.0"
                                         << "1.0";
        QTest::newRow("zero under hashes") << 0.0 << "##.0"
                                           << ".0";
    }
    void masks() {
        QFETCH(double, value);
        QFETCH(QString, mask);
        QFETCH(QString, shown);
        QCOMPARE(formatMask(value, mask), shown);
    }

    void counts_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("count");
        QTest::newRow("10 kV at 80/4095") << 10 / (80.0 / 4095) << qint64(512);
        QTest::newRow("512.5 to even") << 512.5 << qint64(512);
        QTest::newRow("513.5 to even") << 513.5 << qint64(514);
        QTest::newRow("2.5") << 2.5 << qint64(2);
        QTest::newRow("3.5") << 3.5 << qint64(4);
        QTest::newRow("just above half") << 2.5000001 << qint64(3);
        QTest::newRow("negative half") << -2.5 << qint64(-2);
        QTest::newRow("not a number") << std::nan("") << qint64(0);
    }
    void counts() {
        QFETCH(double, value);
        QFETCH(qint64, count);
        QCOMPARE(countFrom(value), count);
    }

    void dacCountsStayInTwelveBits() {
        QCOMPARE(dacCountFrom(5000.0), 4095);
        QCOMPARE(dacCountFrom(-3.0), 0);
        QCOMPARE(dacCountFrom(1e300), 4095);
    }

    void timerEnableRestartsInterval() {
        Timer t(200);
        QSignalSpy ticks(&t, &Timer::tick);
        t.setEnabled(true);
        QTest::qWait(120);
        t.setEnabled(true); // restarts: no tick 200 ms after the first enable
        QTest::qWait(120);
        QCOMPARE(ticks.count(), 0);
        QTRY_COMPARE(ticks.count(), 1);
        t.setEnabled(false);
        QVERIFY(!t.isEnabled());
    }

    void switchRaisesValueChangedOnlyForClicks() {
        ToggleSwitch sw(QStringLiteral("UPDATE"), QStringLiteral("WAITING!"));
        QSignalSpy changed(&sw, &ToggleSwitch::valueChanged);
        sw.setValue(true);
        QCOMPARE(sw.text(), QStringLiteral("WAITING!"));
        QCOMPARE(changed.count(), 0);
        QTest::mouseClick(&sw, Qt::LeftButton);
        QCOMPARE(changed.count(), 1);
        QVERIFY(!sw.value());
        QCOMPARE(sw.text(), QStringLiteral("UPDATE"));
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
