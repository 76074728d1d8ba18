#include "fakeports.h"
#include "link/devicelink.h"
#include "tst_link.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace zor;
using namespace zor::test;

namespace {

struct LinkRig {
    FakeRig rig;
    DeviceLink link{rig.factory()};
    Timer poll{66};

    explicit LinkRig(bool ethernet = false) {
        link.setPollTimer(&poll);
        rig.supply.ethernet = ethernet;
        if (ethernet) {
            link.linkMode = LinkEthernet;
            link.tcpClient().connectToRemote();
            QTRY_COMPARE(link.tcpClient().state(), TcpClientComponent::StateConnected);
        } else {
            link.linkMode = QStringLiteral("comm1");
            link.MSComm1().open();
        }
    }
};

} // namespace

class TestDeviceLink : public QObject {
    Q_OBJECT
private slots:
    void replyShapes_data() {
        QTest::addColumn<bool>("ethernet");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("splitAt");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("whole") << false
                               << QByteArray("\x02"
                                             "640;C\r\n")
                               << QList<int>{}
                               << QByteArray("\x02"
                                             "640;C\r\n");
        QTest::newRow("LF in second piece") << false
                                            << QByteArray("\x02"
                                                          "640;C\r\n")
                                            << QList<int>{3}
                                            << QByteArray("\x02"
                                                          "640;C\r\n");
        QTest::newRow("trailing bytes kept") << false
                                             << QByteArray("\x02"
                                                           "1;C\r\nXY")
                                             << QList<int>{}
                                             << QByteArray("\x02"
                                                           "1;C\r\nXY");
        QTest::newRow("network whole") << true
                                       << QByteArray("\x02"
                                                     "640;\x03")
                                       << QList<int>{}
                                       << QByteArray("\x02"
                                                     "640;\x03");
        QTest::newRow("network split") << true
                                       << QByteArray("\x02"
                                                     "640;\x03")
                                       << QList<int>{1, 4}
                                       << QByteArray("\x02"
                                                     "640;\x03");
        QTest::newRow("ETX without STX")
            << true << QByteArray("12\x03") << QList<int>{} << QByteArray("12\x03");
    }
    void replyShapes() {
        QFETCH(bool, ethernet);
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, splitAt);
        QFETCH(QByteArray, reply);
        LinkRig r(ethernet);
        ScriptedSupply::Answer a;
        a.text = bytes;
        a.raw = true;
        a.delayMs = 10;
        a.splitAt = splitAt;
        a.pieceGapMs = 30;
        r.rig.supply.on("VSET;", a);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(r.link.exchange("VSET;"), reply);
        QVERIFY2(clock.elapsed() < 500, "a complete reply ends the wait at once");
    }

    void silenceTimesOutAfterOneSecond_data() {
        QTest::addColumn<bool>("ethernet");
        QTest::newRow("serial") << false;
        QTest::newRow("network") << true;
    }
    void silenceTimesOutAfterOneSecond() {
        QFETCH(bool, ethernet);
        LinkRig r(ethernet);
        r.rig.supply.rawOn("VSET;",
                           "\x02"
                           "64",
                           10); // a partial reply, no terminator
        QSignalSpy rx(&r.link, &DeviceLink::received);
        QElapsedTimer clock;
        clock.start();
        const QByteArray reply = r.link.exchange("VSET;");
        const qint64 took = clock.elapsed();
        QCOMPARE(reply, QByteArray("\x02"
                                   "64"));
        QVERIFY2(took > 1000 && took < 1200, qPrintable(QString::number(took)));
        QCOMPARE(rx.count(), 1);
        QVERIFY(r.link.tmr_RCVTIMER.isEnabled());
    }

    void lateReplyIsDiscardedByNextSend() {
        LinkRig r;
        r.rig.supply.on("VSET;", "640;", 1100); // arrives after the wait gave up
        r.rig.supply.on("ISET;", "99;", 200);
        QCOMPARE(r.link.exchange("VSET;"), QByteArray());
        QTest::qWait(150); // the late VSET reply lands in the port's buffer
        const QByteArray reply = r.link.exchange("ISET;");
        QVERIFY2(reply.startsWith("\x02"
                                  "99;"),
                 reply.constData());
    }

    void closedPortEndsAtOnce() {
        LinkRig r;
        r.link.MSComm1().close();
        QSignalSpy rx(&r.link, &DeviceLink::received);
        QSignalSpy tx(&r.link, &DeviceLink::transmitted);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(r.link.exchange("VSET;"), QByteArray());
        QVERIFY(clock.elapsed() < 100);
        QCOMPARE(tx.count(), 1); // the trace shows what was attempted
        QCOMPARE(rx.count(), 0);
        QVERIFY(!r.link.tmr_RCVTIMER.isEnabled());
        QVERIFY(!r.link.tmr_COMMWDT.isEnabled());
    }

    void networkWithoutConnectionEndsQuietly() {
        FakeRig rig;
        DeviceLink link(rig.factory());
        link.linkMode = LinkEthernet;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.exchange("STAT;"), QByteArray());
        QVERIFY(clock.elapsed() < 100);
        QVERIFY(rig.supply.frames.isEmpty());
    }

    void serialReceiveArmsWatchdogAndReportsLeftover() {
        LinkRig r;
        r.rig.supply.on("VSET;", "1;");
        QSignalSpy leftover(&r.link, &DeviceLink::serialLeftover);
        r.link.exchange("VSET;");
        QCOMPARE(leftover.count(), 1);
        QCOMPARE(leftover.at(0).at(0).toByteArray(), QByteArray());
        QVERIFY(r.link.tmr_COMMWDT.isEnabled());
    }

    void noiseNeverHangs() {
        LinkRig r;
        r.rig.supply.rawOn("VSET;", QByteArray(3 << 20, 'x'), 5);
        QElapsedTimer clock;
        clock.start();
        const QByteArray reply = r.link.exchange("VSET;");
        QVERIFY(clock.elapsed() < 1300);
        QCOMPARE(reply.size(), DeviceLink::MaxReplyBytes);
    }

    void bracketRestartsTheRightTimers_data() {
        QTest::addColumn<bool>("ethernet");
        QTest::addColumn<bool>("autoUpdate");
        QTest::addColumn<bool>("failInside");
        QTest::newRow("serial manual") << false << false << false;
        QTest::newRow("serial auto") << false << true << false;
        QTest::newRow("network auto") << true << true << false;
        QTest::newRow("serial auto, handler throws") << false << true << true;
        QTest::newRow("network manual, handler throws") << true << false << true;
    }
    void bracketRestartsTheRightTimers() {
        QFETCH(bool, ethernet);
        QFETCH(bool, autoUpdate);
        QFETCH(bool, failInside);
        LinkRig r(ethernet);
        r.rig.supply.on("VSET;", "1;");
        r.link.autoUpdate = autoUpdate;
        r.poll.setEnabled(autoUpdate);
        r.link.tmr_RCVTIMER.setEnabled(true);
        r.link.tmr_NETRCVTMR.setEnabled(ethernet);
        bool stoppedInside = false;
        r.link.command(nullptr, [&] {
            stoppedInside = !r.poll.isEnabled() && !r.link.tmr_NETRCVTMR.isEnabled() &&
                            !r.link.tmr_RCVTIMER.isEnabled();
            if (failInside)
                throw std::runtime_error("bad reply");
            r.link.exchange("VSET;");
        });
        QVERIFY(stoppedInside);
        QCOMPARE(r.poll.isEnabled(), autoUpdate);
        QCOMPARE(r.link.tmr_NETRCVTMR.isEnabled(), ethernet);
        // The receive arms the serial reply timer on every transport.
        QCOMPARE(r.link.tmr_RCVTIMER.isEnabled(), !ethernet || !failInside);
    }

    void commandStartedDuringWaitIsHeldAndRunsAfter() {
        LinkRig r;
        r.rig.supply.on("VSET;", "640;", 200);
        r.rig.supply.on("ENBL 0;", ";", 0);
        QByteArray first, second;
        QTimer::singleShot(50, [&] {
            r.link.command(nullptr, [&] { second = r.link.exchange("ENBL 0;"); });
            QCOMPARE(r.link.heldCount(), 1);
        });
        r.link.command(nullptr, [&] { first = r.link.exchange("VSET;"); });
        QVERIFY2(first.startsWith("\x02"
                                  "640;"),
                 first.constData());
        QVERIFY2(second.startsWith("\x02;"), second.constData());
        const auto &frames = r.rig.supply.frames;
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0].payload, QByteArray("VSET;"));
        QCOMPARE(frames[1].payload, QByteArray("ENBL 0;"));
        QVERIFY(frames[1].atMs - frames[0].atMs >= 190);
    }

    void heldCommandOfAClosedWindowIsDropped() {
        LinkRig r;
        r.rig.supply.on("VSET;", "640;", 100);
        auto *owner = new QObject;
        bool ran = false;
        QTimer::singleShot(20, [&] {
            r.link.command(owner, [&] { ran = true; });
            delete owner;
        });
        r.link.command(nullptr, [&] { r.link.exchange("VSET;"); });
        QVERIFY(!ran);
    }

    void commandHeldByDeferredWorkStillRuns()
    {
        LinkRig r;
        r.rig.supply.on("A;", "1;", 60);
        r.rig.supply.on("B;", "2;", 60);
        r.rig.supply.on("C;", "3;");
        QTimer::singleShot(10, [&] {
            // Deferred until A is done; its own exchange holds C.
            r.link.whenIdle([&] {
                QTimer::singleShot(10, [&] { r.link.command(nullptr, [&] { r.link.exchange("C;"); }); });
                r.link.command(nullptr, [&] { r.link.exchange("B;"); });
            });
        });
        r.link.command(nullptr, [&] { r.link.exchange("A;"); });
        QCOMPARE(r.rig.supply.payloads(), (QList<QByteArray>{"A;", "B;", "C;"}));
        QCOMPARE(r.link.heldCount(), 0);
    }

    void nestedHandlerRunsInline() {
        LinkRig r;
        r.rig.supply.on("A;", "1;");
        QStringList order;
        r.link.command(nullptr, [&] {
            r.link.exchange("A;");
            r.link.command(nullptr, [&] { order << QStringLiteral("inner"); });
            order << QStringLiteral("outer");
        });
        QCOMPARE(order, (QStringList{"inner", "outer"}));
    }

    void watchdogReopensAndKeepsRunning() {
        LinkRig r;
        r.link.MSComm1().close();
        r.rig.serial->openable = false;
        r.link.tmr_COMMWDT_Timer();
        QVERIFY(!r.link.MSComm1().isOpen());
        QVERIFY(r.link.tmr_COMMWDT.isEnabled());
        r.rig.serial->openable = true;
        r.link.tmr_COMMWDT_Timer();
        QVERIFY(r.link.MSComm1().isOpen());
    }

    void networkStatusIsReassembled() {
        LinkRig r(true);
        QSignalSpy status(&r.link, &DeviceLink::networkStatus);
        r.link.tmr_NETRCVTMR.setEnabled(true);
        r.rig.supply.push("\x02"
                          "ST",
                          0);
        r.rig.supply.push("1,0,1\x03"
                          "\x02"
                          "ST0,1,0\x03",
                          20);
        QTRY_COMPARE(status.count(), 2);
        QCOMPARE(status.at(0).at(0).toByteArray(), QByteArray("\x02"
                                                              "ST1,0,1\x03"));
        QCOMPARE(status.at(1).at(0).toByteArray(), QByteArray("\x02"
                                                              "ST0,1,0\x03"));
    }
};

int zor::test::runDeviceLinkTests(int argc, char *argv[]) {
    TestDeviceLink t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_devicelink.moc"
