#include "datarows.h"
#include "fakeports.h"
#include "link/devicelink.h"
#include "link/framecodec.h"
#include "platform/portnames.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <sys/resource.h>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {

qint64 cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

struct LinkRig {
    FakeRig rig;
    DeviceLink link{rig.factory()};
    Timer poll{66};

    explicit LinkRig(bool ethernet = false, bool open = true) {
        link.setPollTimer(&poll);
        rig.supply.ethernet = ethernet;
        if (!open)
            return;
        link.open(ethernet ? LinkTarget::tcp(QStringLiteral("supply"), 1)
                           : LinkTarget::serial(QStringLiteral("1")));
        QTRY_VERIFY(link.transportOpen());
    }
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT
private slots:
    // A rate the port will not take opens nothing, rather than a port left deaf
    // at the rate it had.
    void refusedRateOpensNothing() {
        LinkRig r(false, false);
        bool opened = true;
        [&]() -> Task<> {
            opened = co_await r.link.open(
                LinkTarget::serial(QStringLiteral("1"), QStringLiteral("115200,n,8,1")));
        }();
        QTRY_VERIFY(!opened);
        QVERIFY(!r.link.transportOpen());
    }

    void frames() {
        const std::tuple<QByteArray, bool, const char *> rows[] = {
            {"VSET;", false, "02565345543b430d0a"},
            {"99,1,", false, "0239392c312c450d0a"},
            {"", false, "02400d0a"},
            {"", true, "0203"},
            {"VSET;", true, "02565345543b03"},
            // A byte above 0x7F sums as unsigned; a sum that is a multiple of 64.
            {"\xff", false, "02ff410d0a"},
            {"@@", false, "024040400d0a"}};
        for (const auto &[payload, ethernet, wire] : rows)
            QCOMPARE(ProcessOutputString(payload, ethernet), QByteArray::fromHex(wire));
    }

    // A typed port: a number, or a device path that cannot climb out of /dev.
    void portNames() {
        const std::tuple<QString, bool, QString> ports[] = {{"1", false, "/dev/ttyS0"},
                                                            {"1", true, "COM1"},
                                                            {"/tmp/ttyZOR", false, "/tmp/ttyZOR"},
                                                            {"com7", true, "COM7"},
                                                            {"256", true, ""},
                                                            {"/dev/ttyS0", true, ""},
                                                            {"0", false, ""},
                                                            {"dev/ttyS0", false, ""},
                                                            {"/dev/../etc/passwd", false, ""},
                                                            {"abc", false, ""},
                                                            {"", false, ""}};
        for (const auto &[typed, windows, device] : ports)
            QCOMPARE(serialDeviceFor(typed, windows).value_or(QString()), device);
    }

    // A whole reply ends the wait at once, split or not, trailing bytes kept; a
    // partial one, or endless noise cut to the most a reply may hold, comes back
    // after the reply limit. Waiting sleeps: it costs little processor time.
    // Without a transport (no reply given) the exchange ends at once, the trace
    // still showing what was attempted.
    void replies_data() {
        columns<bool, QByteArray, QList<int>, int>("ethernet", "reply", "splitAt", "waitsMs");
        row("whole", false, stx("640;C\r\n"), QList<int>{}, 0);
        row("LF in second piece", false, stx("640;C\r\n"), QList<int>{3}, 0);
        row("trailing bytes kept", false, stx("1;C\r\nXY"), QList<int>{}, 0);
        row("network split", true, stx("640;\x03"), QList<int>{1, 4}, 0);
        row("ETX without STX", true, "12\x03"_ba, QList<int>{}, 0);
        row("partial", false, stx("64"), QList<int>{}, 1000);
        row("network partial", true, stx("64"), QList<int>{}, 1000);
        row("noise", false, QByteArray(3 << 20, 'x'), QList<int>{}, 1000);
        row("no serial port", false, QByteArray(), QList<int>{}, 0);
        row("no network link", true, QByteArray(), QList<int>{}, 0);
    }
    void replies() {
        const auto [ethernet, reply, splitAt, waitsMs] =
            fetch<bool, QByteArray, QList<int>, int>("ethernet", "reply", "splitAt", "waitsMs");
        const bool open = !reply.isEmpty();
        LinkRig r(ethernet, open);
        r.rig.supply.on("VSET;", {reply, 10, splitAt, 30, false, true});
        QSignalSpy rx(&r.link, &DeviceLink::received), tx(&r.link, &DeviceLink::transmitted);
        QElapsedTimer clock;
        clock.start();
        const qint64 cpu = cpuMs();
        QCOMPARE(QCoro::waitFor(r.link.exchange("VSET;")), reply.left(DeviceLink::MaxReplyBytes));
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= waitsMs && took < waitsMs + 300, qPrintable(QString::number(took)));
        if (waitsMs > 0)
            QVERIFY2(cpuMs() - cpu < 250, qPrintable(QString::number(cpuMs() - cpu)));
        QCOMPARE(tx.count(), 1);
        QCOMPARE(rx.count(), int(open));
        QCOMPARE(r.rig.supply.frames.size(), int(open));
        QCOMPARE(r.link.replyTimer().isEnabled(), open);
        QCOMPARE(r.link.watchdog().isEnabled(), open && !ethernet);
    }

    void bracketRestartsTheRightTimers_data() {
        columns<bool, bool, bool>("ethernet", "autoUpdate", "failInside");
        row("serial manual", false, false, false);
        row("network auto", true, true, false);
        row("serial auto, handler throws", false, true, true);
        row("network manual, handler throws", true, false, true);
    }
    void bracketRestartsTheRightTimers() {
        const auto [ethernet, autoUpdate, failInside] =
            fetch<bool, bool, bool>("ethernet", "autoUpdate", "failInside");
        LinkRig r(ethernet);
        r.rig.supply.on("VSET;", "1;");
        r.link.autoUpdate = autoUpdate;
        r.poll.setEnabled(autoUpdate);
        r.link.replyTimer().setEnabled(true);
        r.link.statusTimer().setEnabled(ethernet);
        bool stoppedInside = false;
        r.link.command(nullptr, [&]() -> Task<> {
            stoppedInside = !r.poll.isEnabled() && !r.link.statusTimer().isEnabled() &&
                            !r.link.replyTimer().isEnabled();
            if (failInside)
                throw std::runtime_error("bad reply");
            co_await r.link.exchange("VSET;");
        });
        QTRY_VERIFY(r.link.idle());
        QVERIFY(stoppedInside);
        QCOMPARE(r.poll.isEnabled(), autoUpdate);
        QCOMPARE(r.link.statusTimer().isEnabled(), ethernet);
        // The receive arms the serial reply timer on every transport.
        QCOMPARE(r.link.replyTimer().isEnabled(), !ethernet || !failInside);
    }

    // Queued commands run after the one waiting, in order; one of a closed
    // window is dropped; ticks of one timer are queued once.
    void queuedCommands() {
        LinkRig r;
        r.rig.supply.on("VSET;", "640;", 200);
        r.rig.supply.fallback = {";", 0, {}, 5, false, false};
        auto *gone = new QObject;
        int ticks = 0;
        QTimer::singleShot(50, &r.link, [&] {
            r.link.command(nullptr, [&]() -> Task<> { co_await r.link.exchange("ENBL 0;"); });
            r.link.command(gone, [&]() -> Task<> { co_await r.link.exchange("CLR;"); });
            delete gone;
            for (int i = 0; i < 3; ++i)
                r.link.command(
                    nullptr,
                    [&]() -> Task<> {
                        ++ticks;
                        co_return;
                    },
                    &r.poll);
            QCOMPARE(r.link.queuedCount(), 3);
        });
        QByteArray first;
        r.link.command(nullptr, [&]() -> Task<> { first = co_await r.link.exchange("VSET;"); });
        QTRY_VERIFY(r.link.idle());
        QVERIFY2(first.startsWith(stx("640;")), first.constData());
        QCOMPARE(r.rig.supply.payloads(), (QList<QByteArray>{"VSET;", "ENBL 0;"}));
        QVERIFY(r.rig.supply.frames[1].atMs - r.rig.supply.frames[0].atMs >= 190);
        QCOMPARE(ticks, 1);
    }

    // Status messages the supply sends on its own: decoded only whole, every
    // STX starting a new one, a piece cut off by a command dropped.
    void networkStatusMessages_data() {
        columns<QList<QByteArray>, bool, QList<QByteArray>>("pieces", "commandBetween", "decoded");
        using L = QList<QByteArray>;
        row("in pieces", L{stx("1,0"), ",1\x03"}, false, L{stx("1,0,1\x03")});
        row("stray fragment before", L{"0\x03"_ba + stx("1,0"), ",1\x03"}, false,
            L{stx("1,0,1\x03")});
        row("cut by a new STX", L{stx("1,") + stx("0,0,0\x03")}, false, L{stx("0,0,0\x03")});
        row("cut by a command", L{stx("1,0"), "0\x03"}, true, L{});
    }
    void networkStatusMessages() {
        const auto [pieces, commandBetween, decoded] =
            fetch<QList<QByteArray>, bool, QList<QByteArray>>("pieces", "commandBetween",
                                                              "decoded");
        LinkRig r(true);
        r.rig.supply.on("VSET;", "1;");
        QSignalSpy status(&r.link, &DeviceLink::networkStatus);
        for (int i = 0; i < pieces.size(); ++i) {
            if (i > 0 && commandBetween)
                QCoro::waitFor(r.link.exchange("VSET;"));
            r.rig.supply.push(pieces[i]);
            QTest::qWait(20);
            r.link.tmr_NETRCVTMR_Timer();
        }
        QList<QByteArray> got;
        for (const auto &args : status)
            got << args.at(0).toByteArray();
        QCOMPARE(got, decoded);
    }

    // A status message riding along with a reply is told, not lost in the reply.
    void statusRidingAlongAReply() {
        LinkRig r(true);
        r.rig.supply.on("VSET;", "1;\x03\x02"
                                 "1,0,1");
        QSignalSpy status(&r.link, &DeviceLink::networkStatus);
        QCOMPARE(QCoro::waitFor(r.link.exchange("VSET;")), stx("1;\x03"));
        QTRY_COMPARE(status.size(), 1);
        QCOMPARE(status[0][0].toByteArray(), stx("1,0,1\x03"));
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
