#include "datarows.h"
#include "platform/counts.h"
#include "platform/displaymask.h"
#include "platform/readout.h"
#include "platform/timer.h"
#include "platform/toggleswitch.h"

#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QScreen>
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

    // A readout repaints only itself, over the picture it keeps of its frame:
    // on the screen it must look exactly like a read-only line edit beside it,
    // after each new reading and after the frame has been resized.
    void readoutLooksLikeALineEdit() {
        QWidget window;
        auto *row = new QHBoxLayout(&window);
        QLineEdit *fields[] = {new QLineEdit, new Readout({})};
        for (QLineEdit *field : fields) {
            field->setReadOnly(true);
            field->setFocusPolicy(Qt::NoFocus);
            auto *box = new QGroupBox(QStringLiteral("AUXILIARY VOLTAGE"));
            (new QFormLayout(box))->addRow(QStringLiteral("Temperature"), field);
            row->addWidget(box);
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto shown = [&](QLineEdit *field) {
            const QRect box(field->parentWidget()->mapTo(&window, QPoint()),
                            field->parentWidget()->size());
            return window.screen()->grabWindow(window.winId(), box.x(), box.y(), box.width(),
                                               box.height());
        };
        for (const char *text : {"25.1", "-14.99 V", "", "100000001-A00001", "resize", "25.3"}) {
            if (QByteArray(text) == "resize")
                window.resize(window.width() + 40, window.height() + 30);
            for (QLineEdit *field : fields)
                field->setText(QString::fromLatin1(text));
            QApplication::processEvents();
            QCOMPARE(shown(fields[1]).toImage(), shown(fields[0]).toImage());
        }
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
