#include "datarows.h"
#include "fakeports.h"
#include "link/devicelink.h"
#include "link/framecodec.h"
#include "link/replycut.h"
#include "platform/portnames.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

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

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void frames_data() {
        columns<QByteArray, bool, QByteArray>("payload", "ethernet", "wire");
        row("VSET serial", "VSET;"_ba, false, QByteArray::fromHex("02565345543b430d0a"));
        row("99,1, serial", "99,1,"_ba, false, QByteArray::fromHex("0239392c312c450d0a"));
        row("10,0, serial", "10,0,"_ba, false, QByteArray::fromHex("0231302c302c570d0a"));
        row("STAT serial", "STAT;"_ba, false, QByteArray::fromHex("02535441543b490d0a"));
        row("empty serial", QByteArray(), false, QByteArray::fromHex("02400d0a"));
        row("empty network", QByteArray(), true, QByteArray::fromHex("0203"));
        row("VSET network", "VSET;"_ba, true, QByteArray::fromHex("02565345543b03"));
        // A byte above 0x7F sums as unsigned.
        row("high byte", "\xff"_ba, false, QByteArray::fromHex("02ff410d0a"));
        row("sum multiple of 64", "@@"_ba, false, QByteArray::fromHex("024040400d0a"));
    }
    void frames() {
        QFETCH(QByteArray, payload);
        QFETCH(bool, ethernet);
        QFETCH(QByteArray, wire);
        QCOMPARE(ProcessOutputString(payload, ethernet), wire);
    }

    void integers_data() {
        columns<QByteArray, std::optional<long long>>("text", "value");
        row("digits", "4095"_ba, std::optional(4095LL));
        row("zero", "0"_ba, std::optional(0LL));
        row("negative", "-12"_ba, std::optional(-12LL));
        for (const char *bad : {"", "-", " 12", "0x10", "1.5"})
            row(*bad ? bad : "empty", QByteArray(bad), std::optional<long long>());
        row("huge", QByteArray(40, '9'), std::optional<long long>());
    }
    void integers() {
        QFETCH(QByteArray, text);
        QFETCH(std::optional<long long>, value);
        QCOMPARE(reply::toInteger(text), value);
    }

    void portNames_data() {
        columns<QString, bool, QString>("typed", "windows", "device");
        row("1 linux", "1", false, "/dev/ttyS0");
        row("1 windows", "1", true, "COM1");
        row("link path", "/tmp/ttyZOR", false, "/tmp/ttyZOR");
        row("com name", "com7", true, "COM7");
        for (const char *bad : {"dev/ttyS0", "0", "", "abc", "-1", "/dev/../etc/passwd"})
            row(*bad ? bad : "empty", QString(bad), false, QString());
        row("too big", "256", true, "");
        row("linux path on windows", "/dev/ttyS0", true, "");
    }
    void portNames() {
        QFETCH(QString, typed);
        QFETCH(bool, windows);
        QFETCH(QString, device);
        QCOMPARE(serialDeviceFor(typed, windows).value_or(QString()), device);
    }

    void replyShapes_data() {
        columns<bool, QByteArray, QList<int>>("ethernet", "reply", "splitAt");
        row("whole", false, stx("640;C\r\n"), QList<int>{});
        row("LF in second piece", false, stx("640;C\r\n"), QList<int>{3});
        row("trailing bytes kept", false, stx("1;C\r\nXY"), QList<int>{});
        row("network whole", true, stx("640;\x03"), QList<int>{});
        row("network split", true, stx("640;\x03"), QList<int>{1, 4});
        row("ETX without STX", true, "12\x03"_ba, QList<int>{});
    }
    void replyShapes() {
        QFETCH(bool, ethernet);
        QFETCH(QByteArray, reply);
        QFETCH(QList<int>, splitAt);
        LinkRig r(ethernet);
        r.rig.supply.on("VSET;", {reply, 10, splitAt, 30, false, true});
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(r.link.exchange("VSET;"), reply);
        QVERIFY2(clock.elapsed() < 500, "a complete reply ends the wait at once");
        QCOMPARE(r.link.tmr_COMMWDT.isEnabled(), !ethernet);
    }

    void partialReplyTimesOutAfterOneSecond_data() {
        columns<bool>("ethernet");
        row("serial", false);
        row("network", true);
    }
    void partialReplyTimesOutAfterOneSecond() {
        QFETCH(bool, ethernet);
        LinkRig r(ethernet);
        r.rig.supply.rawOn("VSET;", stx("64"), 10);
        QSignalSpy rx(&r.link, &DeviceLink::received);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(r.link.exchange("VSET;"), stx("64"));
        QVERIFY2(clock.elapsed() > 1000 && clock.elapsed() < 1300,
                 qPrintable(QString::number(clock.elapsed())));
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
        QVERIFY2(reply.startsWith(stx("99;")), reply.constData());
    }

    void noTransportEndsAtOnce_data() {
        columns<bool>("ethernet");
        row("closed serial port", false);
        row("network never connected", true);
    }
    void noTransportEndsAtOnce() {
        QFETCH(bool, ethernet);
        FakeRig rig;
        DeviceLink link(rig.factory());
        link.linkMode = ethernet ? LinkEthernet : QStringLiteral("comm1");
        QSignalSpy tx(&link, &DeviceLink::transmitted);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.exchange("STAT;"), QByteArray());
        QVERIFY(clock.elapsed() < 400); // not the reply limit
        QCOMPARE(tx.count(), 1);        // the trace shows what was attempted
        QVERIFY(rig.supply.frames.isEmpty());
        QVERIFY(!link.tmr_RCVTIMER.isEnabled());
        QVERIFY(!link.tmr_COMMWDT.isEnabled());
    }

    void noiseNeverHangs() {
        LinkRig r;
        r.rig.supply.rawOn("VSET;", QByteArray(3 << 20, 'x'), 5);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(r.link.exchange("VSET;").size(), DeviceLink::MaxReplyBytes);
        QVERIFY(clock.elapsed() < 1300);
    }

    void bracketRestartsTheRightTimers_data() {
        columns<bool, bool, bool>("ethernet", "autoUpdate", "failInside");
        row("serial manual", false, false, false);
        row("serial auto", false, true, false);
        row("network auto", true, true, false);
        row("serial auto, handler throws", false, true, true);
        row("network manual, handler throws", true, false, true);
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
        QVERIFY2(first.startsWith(stx("640;")), first.constData());
        QVERIFY2(second.startsWith(stx(";")), second.constData());
        const auto &frames = r.rig.supply.frames;
        QCOMPARE(r.rig.supply.payloads(), (QList<QByteArray>{"VSET;", "ENBL 0;"}));
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

    void commandHeldByDeferredWorkStillRuns() {
        LinkRig r;
        r.rig.supply.on("A;", "1;", 60);
        r.rig.supply.on("B;", "2;", 60);
        r.rig.supply.on("C;", "3;");
        const auto exchange = [&](const char *p) {
            return [&r, p] { r.link.command(nullptr, [&r, p] { r.link.exchange(p); }); };
        };
        QTimer::singleShot(10, [&] {
            // Deferred until A is done; its own exchange holds C.
            r.link.whenIdle([&] {
                QTimer::singleShot(10, exchange("C;"));
                exchange("B;")();
            });
        });
        exchange("A;")();
        QCOMPARE(r.rig.supply.payloads(), (QList<QByteArray>{"A;", "B;", "C;"}));
        QCOMPARE(r.link.heldCount(), 0);
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
