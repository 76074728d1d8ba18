#include "datarows.h"
#include "platform/counts.h"
#include "platform/displaymask.h"
#include "platform/numbertext.h"
#include "platform/readout.h"
#include "platform/timer.h"

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
    // The quantities' own masks are checked in their table; these are the
    // rounding edges: half away from zero on the decimal value, '#' drops a zero.
    void masks_data() {
        columns<double, QString, QString>("value", "mask", "shown");
        row("half kV", 0.5, QString("#0.000"), QString("0.500"));
        row("hundreds", 160.0, QString("#0.00"), QString("160.00"));
        row("fraction", 0.24, QString("#.00"), QString(".24"));
        row("half away from zero", 0.0125, QString("0.000"), QString("0.013"));
        row("decimal half", 1.0005, QString("0.000"), QString("1.001"));
        row("negative half", -0.0125, QString("0.000"), QString("-0.013"));
        row("negative rounds to zero", -0.0001, QString("0.000"), QString("0.000"));
        row("carry into integer", 9.9996, QString("#0.000"), QString("10.000"));
        row("carry below one", 0.96, QString("##.0"), QString("1.0"));
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

    // How typed text becomes a number, whoever reads it: "-" is nothing.
    void numberText_data() {
        columns<QString, QString, QString>("text", "decimal", "wholeTo32767");
        row("plain", QString("30"), QString("30"), QString("30"));
        row("blanks around", QString(" 1.0\t"), QString("1"), QString("-"));
        row("blanks around digits", QString(" 300 "), QString("300"), QString("300"));
        row("leading point", QString(".1"), QString("0.1"), QString("-"));
        row("signs", QString("-3"), QString("-3"), QString("-"));
        row("plus", QString("+5"), QString("5"), QString("-"));
        row("exponent", QString("1e3"), QString("1000"), QString("-"));
        row("empty: a cancelled box", QString(""), QString("-"), QString("-"));
        row("only blanks", QString("  "), QString("-"), QString("-"));
        row("digit groups", QString("1,000"), QString("-"), QString("-"));
        row("decimal comma", QString("4,5"), QString("-"), QString("-"));
        row("trailing garbage", QString("5a"), QString("-"), QString("-"));
        row("blank inside", QString("1 000"), QString("-"), QString("-"));
        row("hexadecimal", QString("0x10"), QString("-"), QString("-"));
        row("infinite", QString("inf"), QString("-"), QString("-"));
        row("not a number", QString("nan"), QString("-"), QString("-"));
        row("beyond a double", QString("1e400"), QString("-"), QString("-"));
        row("largest whole", QString("32767"), QString("32767"), QString("32767"));
        row("above the largest", QString("32768"), QString("32768"), QString("-"));
        row("leading zeros fit", QString("00300"), QString("300"), QString("300"));
        row("more digits than the largest", QString("000300"), QString("300"), QString("-"));
    }
    void numberText() {
        QFETCH(QString, text);
        QFETCH(QString, decimal);
        QFETCH(QString, wholeTo32767);
        const auto shown = [](auto value) { return value ? QString::number(*value) : "-"; };
        QCOMPARE(shown(decimalNumber(text)), decimal);
        QCOMPARE(shown(plainWhole(text, 32767)), wholeTo32767);
    }

    // Counts and argument texts made from typed values.
    void countsFromValues_data() {
        columns<double, QString, QString, QString>("value", "rounded", "floored", "argument");
        row("4.5 A in counts", 4.5 * 4095 / 10, QString("1843"), QString("1842"),
            QString("1842.75"));
        row("halves to even", 2.5, QString("2"), QString("2"), QString("2.5"));
        row("88.89 kV in hundredths", 88.89 * 100, QString("8889"), QString("8889"),
            QString("8889"));
        row("88.885 kV in hundredths", 88.885 * 100, QString("8888"), QString("8888"),
            QString("8888.5"));
        row("negative zero", -0.0, QString("0"), QString("0"), QString("0"));
        row("largest count", 32767.0, QString("32767"), QString("32767"), QString("32767"));
        row("beyond 16 bits", 32768.0, QString("-"), QString("-"), QString("32768"));
        row("below 16 bits", -32769.0, QString("-"), QString("-"), QString("-32769"));
        row("too large for 15 digits", 1e15, QString("-"), QString("-"), QString("-"));
        row("not a number", std::nan(""), QString("-"), QString("-"), QString("-"));
    }
    void countsFromValues() {
        QFETCH(double, value);
        QFETCH(QString, rounded);
        QFETCH(QString, floored);
        QFETCH(QString, argument);
        const auto shown = [](auto value) { return value ? QString::number(*value) : "-"; };
        QCOMPARE(shown(roundedCount(value)), rounded);
        QCOMPARE(shown(flooredCount(value)), floored);
        const auto text = shortestDecimal(value);
        QCOMPARE(text ? QString::fromLatin1(*text) : "-", argument);
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
