#include "sim/framereader.h"
#include "testregistry.h"

#include <QTest>

using zor::sim::FrameReader;
using Framing = FrameReader::Framing;

namespace {

// "ok:PAYLOAD", "bad:PAYLOAD", "malformed" or "oversize", one per frame.
QStringList describe(const QList<FrameReader::Frame> &frames) {
    QStringList out;
    for (const auto &f : frames) {
        switch (f.status) {
        case FrameReader::Frame::Status::Ok:
            out << QStringLiteral("ok:") + QString::fromLatin1(f.payload);
            break;
        case FrameReader::Frame::Status::BadChecksum:
            out << QStringLiteral("bad:") + QString::fromLatin1(f.payload);
            break;
        case FrameReader::Frame::Status::Malformed:
            out << QStringLiteral("malformed");
            break;
        case FrameReader::Frame::Status::Oversize:
            out << QStringLiteral("oversize");
            break;
        }
    }
    return out;
}

} // namespace

class FrameReaderTest : public QObject {
    Q_OBJECT

private slots:
    void cutsFrames_data() {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("frames");

        QTest::newRow("serial VSET")
            << false << QByteArray("\x02VSET;C\r\n") << QStringList{"ok:VSET;"};
        QTest::newRow("serial two in one read")
            << false << QByteArray("\x02VSET;C\r\n\x02STAT;I\r\n")
            << QStringList{"ok:VSET;", "ok:STAT;"};
        QTest::newRow("serial numeric") << false
                                        << QByteArray("\x02"
                                                      "10,0,W\r\n")
                                        << QStringList{"ok:10,0,"};
        QTest::newRow("serial empty payload")
            << false << QByteArray("\x02@\r\n") << QStringList{"ok:"};
        QTest::newRow("garbage before") << false
                                        << QByteArray("zz\r\n\x03\x02"
                                                      "99,1,E\r\n")
                                        << QStringList{"ok:99,1,"};
        QTest::newRow("wrong checksum")
            << false << QByteArray("\x02VSET;D\r\n") << QStringList{"bad:VSET;"};
        QTest::newRow("no CR") << false << QByteArray("\x02VSET;C\n") << QStringList{"malformed"};
        QTest::newRow("LF alone") << false << QByteArray("\x02\n") << QStringList{"malformed"};
        QTest::newRow("new STX restarts")
            << false << QByteArray("\x02VSE\x02STAT;I\r\n") << QStringList{"ok:STAT;"};
        QTest::newRow("unfinished") << false << QByteArray("\x02VSET;C\r") << QStringList{};
        QTest::newRow("network frame is not serial")
            << false << QByteArray("\x02VSET;\x03") << QStringList{};
        QTest::newRow("network VSET")
            << true << QByteArray("\x02VSET;\x03") << QStringList{"ok:VSET;"};
        QTest::newRow("network two") << true
                                     << QByteArray("\x02"
                                                   "27,\x03\x02"
                                                   "96,\x03")
                                     << QStringList{"ok:27,", "ok:96,"};
        QTest::newRow("network empty") << true << QByteArray("\x02\x03") << QStringList{"ok:"};
        QTest::newRow("network garbage and restart")
            << true << QByteArray("ab\x03\x02VS\x02STAT;\x03") << QStringList{"ok:STAT;"};
        QTest::newRow("network keeps CR LF inside") << true
                                                    << QByteArray("\x02"
                                                                  "A\r\nB\x03")
                                                    << QStringList{"ok:A\r\nB"};
    }

    void cutsFrames() {
        QFETCH(bool, network);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, frames);
        const auto framing = network ? Framing::Network : Framing::Serial;

        FrameReader whole(framing);
        QCOMPARE(describe(whole.feed(bytes)), frames);

        // The same bytes one at a time, as a slow line delivers them.
        FrameReader trickle(framing);
        QList<FrameReader::Frame> collected;
        for (const char c : bytes)
            collected += trickle.feed(QByteArrayView(&c, 1));
        QCOMPARE(describe(collected), frames);
    }

    void countsWhatItRejects() {
        FrameReader reader(Framing::Serial);
        reader.feed(QByteArray("xy\x02VSET;D\r\n\x02VSET;C\r\n\x02Q\n"));
        QCOMPARE(reader.counters().good, 1);
        QCOMPARE(reader.counters().badChecksum, 1);
        QCOMPARE(reader.counters().malformed, 1);
        QCOMPARE(reader.counters().skippedBytes, 2);
        QVERIFY(!reader.midFrame());
        reader.feed(QByteArray("\x02VS"));
        QVERIFY(reader.midFrame());
    }

    void dropsOversizeFramesAndRecovers() {
        FrameReader reader(Framing::Serial, 8);
        // Eight characters still fit; the checksum of "12345678" is a backslash.
        QCOMPARE(describe(reader.feed(QByteArray("\x02"
                                                 "12345678\\\r\n"))),
                 QStringList{"ok:12345678"});
        const auto frames = reader.feed(QByteArray("\x02"
                                                   "123456789AB\r\n\x02VSET;C\r\n"));
        QCOMPARE(describe(frames), (QStringList{"oversize", "ok:VSET;"}));
        QCOMPARE(reader.counters().oversize, 1);
    }

    void giantFrameIsDroppedInPieces() {
        for (const auto framing : {Framing::Serial, Framing::Network}) {
            FrameReader reader(framing);
            const QByteArray end = framing == Framing::Serial ? "\r\n" : "\x03";
            QStringList seen = describe(reader.feed(QByteArray("\x02")));
            const QByteArray chunk(64 * 1024, 'A');
            for (int i = 0; i < 16; ++i) // 1 MiB without a terminator
                seen += describe(reader.feed(chunk));
            seen += describe(reader.feed(end));
            seen += describe(reader.feed(framing == Framing::Serial ? QByteArray("\x02VSET;C\r\n")
                                                                    : QByteArray("\x02VSET;\x03")));
            QCOMPARE(seen, (QStringList{"oversize", "ok:VSET;"}));
        }
    }
};

ZOR_SIM_SUITE(FrameReaderTest, "frames")
#include "tst_framereader.moc"
