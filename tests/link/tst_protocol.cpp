#include "link/framecodec.h"
#include "link/replycut.h"
#include "platform/portnames.h"
#include "tst_link.h"

#include <QTest>

using namespace zor;

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void frames_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("ethernet");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("VSET serial")
            << QByteArray("VSET;") << false << QByteArray::fromHex("02565345543b430d0a");
        QTest::newRow("99,1, serial")
            << QByteArray("99,1,") << false << QByteArray::fromHex("0239392c312c450d0a");
        QTest::newRow("10,0, serial")
            << QByteArray("10,0,") << false << QByteArray::fromHex("0231302c302c570d0a");
        QTest::newRow("STAT serial")
            << QByteArray("STAT;") << false << QByteArray::fromHex("02535441543b490d0a");
        QTest::newRow("empty serial") << QByteArray() << false << QByteArray::fromHex("02400d0a");
        QTest::newRow("empty network") << QByteArray() << true << QByteArray::fromHex("0203");
        QTest::newRow("VSET network")
            << QByteArray("VSET;") << true << QByteArray::fromHex("02565345543b03");
        // Sum 0x7F*3 = 381 like VSET; a payload above 0x7F sums its unsigned byte.
        QTest::newRow("high byte")
            << QByteArray("\xff") << false << QByteArray::fromHex("02ff410d0a");
        QTest::newRow("sum multiple of 64")
            << QByteArray("@@") << false << QByteArray::fromHex("024040400d0a");
    }
    void frames() {
        QFETCH(QByteArray, payload);
        QFETCH(bool, ethernet);
        QFETCH(QByteArray, wire);
        QCOMPARE(ProcessOutputString(payload, ethernet), wire);
    }

    void checksumAlwaysPrintable() {
        QByteArray payload;
        for (int i = 0; i < 600; ++i) {
            payload.append(static_cast<char>(i * 37));
            const auto c = static_cast<unsigned char>(serialChecksum(payload));
            QVERIFY(c >= 0x40 && c <= 0x7F);
        }
    }

    void cutting_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("position");
        QTest::addColumn<char>("stop");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<bool>("found");
        QTest::newRow("value") << QByteArray("\x02"
                                             "640;C\r\n")
                               << 2 << ';' << QByteArray("640") << true;
        QTest::newRow("empty value") << QByteArray("\x02;") << 2 << ';' << QByteArray() << true;
        QTest::newRow("no semicolon") << QByteArray("\x02"
                                                    "640")
                                      << 2 << ';' << QByteArray() << false;
        QTest::newRow("empty reply") << QByteArray() << 2 << ';' << QByteArray() << false;
        QTest::newRow("first only") << QByteArray("\x02"
                                                  "1;2;")
                                    << 2 << ';' << QByteArray("1") << true;
        QTest::newRow("from 17") << QByteArray("\x02"
                                               "REV 1.00.01 BLD1234,x")
                                 << 17 << ',' << QByteArray("1234") << true;
        QTest::newRow("past end") << QByteArray("\x02"
                                                "ab")
                                  << 17 << ',' << QByteArray() << false;
    }
    void cutting() {
        QFETCH(QByteArray, reply);
        QFETCH(int, position);
        QFETCH(char, stop);
        QFETCH(QByteArray, field);
        QFETCH(bool, found);
        const auto cut = reply::fieldUntil(reply, position, stop);
        QCOMPARE(cut.has_value(), found);
        if (found)
            QCOMPARE(*cut, field);
    }

    void characters() {
        const QByteArray r("\x02"
                           "99,$");
        QCOMPARE(reply::charAt(r, 5), std::optional<char>('$'));
        QCOMPARE(reply::charAt(r, 6), std::nullopt);
        QCOMPARE(reply::charAt(r, 0), std::nullopt);
        QCOMPARE(reply::charAt(QByteArray(), 1), std::nullopt);
    }

    void integers_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<long long>("value");
        QTest::newRow("digits") << QByteArray("4095") << true << 4095LL;
        QTest::newRow("zero") << QByteArray("0") << true << 0LL;
        QTest::newRow("negative") << QByteArray("-12") << true << -12LL;
        QTest::newRow("empty") << QByteArray() << false << 0LL;
        QTest::newRow("minus only") << QByteArray("-") << false << 0LL;
        QTest::newRow("blank") << QByteArray(" 12") << false << 0LL;
        QTest::newRow("hex") << QByteArray("0x10") << false << 0LL;
        QTest::newRow("decimal point") << QByteArray("1.5") << false << 0LL;
        QTest::newRow("huge") << QByteArray(40, '9') << false << 0LL;
    }
    void integers() {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(long long, value);
        const auto n = reply::toInteger(text);
        QCOMPARE(n.has_value(), ok);
        if (ok)
            QCOMPARE(*n, value);
    }

    void portNames_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("device");
        QTest::newRow("1 linux") << "1" << false << "/dev/ttyS0";
        QTest::newRow("2 linux") << "2" << false << "/dev/ttyS1";
        QTest::newRow("1 windows") << "1" << true << "COM1";
        QTest::newRow("12 windows") << "12" << true << "COM12";
        QTest::newRow("usb path") << "/dev/ttyUSB0" << false << "/dev/ttyUSB0";
        QTest::newRow("pts path") << "/dev/pts/3" << false << "/dev/pts/3";
        QTest::newRow("link path") << "/tmp/ttyZOR" << false << "/tmp/ttyZOR";
        QTest::newRow("relative path") << "dev/ttyS0" << false << "";
        QTest::newRow("com name") << "com7" << true << "COM7";
        QTest::newRow("zero") << "0" << false << "";
        QTest::newRow("too big") << "256" << true << "";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("words") << "abc" << false << "";
        QTest::newRow("negative") << "-1" << false << "";
        QTest::newRow("escape") << "/dev/../etc/passwd" << false << "";
        QTest::newRow("linux path on windows") << "/dev/ttyS0" << true << "";
    }
    void portNames() {
        QFETCH(QString, typed);
        QFETCH(bool, windows);
        QFETCH(QString, device);
        QCOMPARE(serialDeviceFor(typed, windows).value_or(QString()), device);
    }
};

int zor::test::runProtocolTests(int argc, char *argv[]) {
    TestProtocol t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_protocol.moc"
