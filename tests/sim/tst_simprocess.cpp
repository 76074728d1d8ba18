#include "link/framecodec.h"
#include "sim/clock.h"
#include "simprocess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace zor::simtest;

namespace {

QByteArray serial(const QByteArray &text) {
    return zor::ProcessOutputString(text, false);
}
QByteArray network(const QByteArray &text) {
    return zor::ProcessOutputString(text, true);
}

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray bytes(size, '\0');
    for (auto &b : bytes)
        b = static_cast<char>(rng.bounded(256));
    return bytes;
}

// Reads network frames until `wanted` has come, skipping everything else.
bool waitForFrame(QTcpSocket &socket, const QByteArray &wanted, int timeoutMs, QByteArray &rest) {
    for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();)
        if (readNetworkFrames(socket, 1, 100, &rest).contains(wanted))
            return true;
    return false;
}

bool connectTo(QTcpSocket &socket, const SimProcess &sim) {
    socket.connectToHost(QHostAddress::LocalHost, sim.tcpPort());
    return socket.waitForConnected(2000);
}

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString linkPath() const { return dir_.filePath(QStringLiteral("ttyZOR")); }

    // Starts zor-sim on a pty (and TCP when asked) with fast time constants.
    bool startSim(SimProcess &sim, QStringList extra = {}, bool tcp = false) {
        QStringList args{"--pty",     linkPath(), "--noise",     "0",
                         "--ramp-ms", "50",       "--status-ms", "100"};
        if (tcp)
            args << "--tcp"
                 << "0";
        QString error;
        if (!sim.start(args + extra, tcp ? 2 : 1, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        return true;
    }

private slots:
    void initTestCase() {
        if (SimProcess::program().isEmpty())
            QSKIP("ZOR_SIM is not set");
        QVERIFY(dir_.isValid());
    }

    void servesThePseudoTerminal() {
        SimProcess sim;
        QVERIFY(startSim(sim));
        QCOMPARE(QFileInfo(linkPath()).symLinkTarget(), sim.startupLine(0));
        PtyPort port;
        QVERIFY(port.open(linkPath()));
        const auto ask = [&](const QList<std::pair<const char *, const char *>> &exchanges) {
            for (const auto &[payload, reply] : exchanges)
                QCOMPARE(port.ask(payload), serial(reply));
        };
        ask({{"SLVR ;", "8000;"},
             {"SLIR ;", "1400;"},
             {"VREF 2048;", ";"},
             {"ENBL 1;", ";"},
             {"STAT;", "1;"}});
        QThread::msleep(150); // past the 50 ms ramp
        ask({{"VMON;", "2048;"}, {"99,0,", "99,$"}, {"ENBL 0;", ";"}, {"STAT;", "0;"}});
        // A wrong checksum is not answered, but counted; the next good frame is answered.
        QVERIFY(port.writeAll("\x02VSET;D\r\n"));
        QCOMPARE(port.readSome(300), QByteArray());
        QCOMPARE(port.ask("VSET;"), serial("2048;"));
        QVERIFY(sim.command("state").startsWith("hv off"));
        QVERIFY(sim.readUntil("arc-every 0 ms\n").contains("1 bad checksum"));
        QVERIFY(sim.command("fault smoke").startsWith("error:"));
        sim.command("help");
        QVERIFY(sim.readUntil("quit").contains("interlock open|close"));
    }

    // Nobody holds the port between the opens; random bytes and a giant frame follow.
    void survivesReopeningAndHostileInput() {
        SimProcess sim;
        QVERIFY(startSim(sim));
        PtyPort port;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(port.open(linkPath()));
            QCOMPARE(port.ask("HWVR;"), serial("A01;"));
            port.close();
            QThread::msleep(120);
        }
        QVERIFY(port.open(linkPath()));
        QVERIFY(port.writeAll(randomBytes(64 * 1024, 42)));
        QVERIFY(port.writeAll('\x02' + QByteArray(1024 * 1024, 'A') + "\r\n"));
        QVERIFY(port.writeAll(randomBytes(4096, 7) + "\x02\x02\r\n\n\x03"));
        port.drain();
        QCOMPARE(port.ask("MODR;"), serial("ZOR80HR;"));
        QCOMPARE(sim.command("interlock open"), QStringLiteral("ok"));
    }

    void injectsFaults() {
        SimProcess sim;
        QVERIFY(startSim(sim, {"--delay", "200"}));
        PtyPort port;
        QVERIFY(port.open(linkPath()));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(port.ask("SOFT;"), serial("0103;"));
        QVERIFY(clock.elapsed() >= 190);

        QCOMPARE(sim.command("delay 0"), QStringLiteral("ok"));
        QCOMPARE(sim.command("split on"), QStringLiteral("ok"));
        bool sawSplit = false;
        for (int attempt = 0; attempt < 5 && !sawSplit; ++attempt) {
            QVERIFY(port.writeAll(serial("HWVR;")));
            const QByteArray first = port.readSome(1000);
            sawSplit = !first.contains('\n');
            QCOMPARE(first + (sawSplit ? port.readUntil('\n', 1000) : QByteArray()),
                     serial("A01;"));
        }
        QVERIFY(sawSplit);

        QCOMPARE(sim.command("split off"), QStringLiteral("ok"));
        // A corrupted reply keeps its framing.
        QCOMPARE(sim.command("corrupt 1"), QStringLiteral("ok"));
        const QByteArray garbled = port.ask("MODR;");
        QCOMPARE(garbled.size(), serial("ZOR80HR;").size());
        QVERIFY(garbled != serial("ZOR80HR;"));
        QVERIFY(garbled.startsWith('\x02') && garbled.endsWith("\r\n"));
    }

    void logsEveryPayload() {
        const QString logPath = dir_.filePath(QStringLiteral("payloads.log"));
        SimProcess sim;
        QVERIFY(startSim(sim, {"--log", logPath}, true));
        PtyPort port;
        QVERIFY(port.open(linkPath()));
        const qint64 before = zor::sim::monotonicMs();
        port.ask("VSET;");
        port.ask("10,0,");
        QTcpSocket tcp;
        QVERIFY(connectTo(tcp, sim));
        tcp.write(network("ISET;"));
        QByteArray rest;
        QVERIFY(waitForFrame(tcp, network("0;"), 3000, rest));
        const qint64 after = zor::sim::monotonicMs();

        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QCOMPARE(lines.size(), 4); // three lines and the empty rest after the last newline
        const QList<QByteArray> expected{"pty VSET;", "pty 10,0,", "tcp ISET;"};
        for (int i = 0; i < 3; ++i) {
            const auto space = lines[i].indexOf(' ');
            const qint64 ms = lines[i].left(space).toLongLong();
            QVERIFY(ms >= before && ms <= after);
            QCOMPARE(lines[i].mid(space + 1), expected[i]);
        }
    }

    void tcpAnswersAndSendsStatus() {
        SimProcess sim;
        QVERIFY(startSim(sim, {}, true));
        QTcpSocket tcp;
        QVERIFY(connectTo(tcp, sim));
        QByteArray rest;
        QCOMPARE(readNetworkFrames(tcp, 1, 1000, &rest).value(0), network("ST,0,0,0,"));

        tcp.write(network("VREF 100;") + network("ENBL 1;") + network("SLVR ;"));
        QList<QByteArray> replies;
        for (int i = 0; i < 10 && replies.size() < 3; ++i)
            for (const auto &f : readNetworkFrames(tcp, 1, 500, &rest))
                if (!f.startsWith("\x02ST,"))
                    replies << f;
        QCOMPARE(replies, (QList<QByteArray>{network(";"), network(";"), network("8000;")}));

        // High voltage, interlock and supply fault at characters 5, 7 and 9.
        QVERIFY(waitForFrame(tcp, network("ST,1,0,0,"), 3000, rest));
        QCOMPARE(sim.command("interlock open"), QStringLiteral("ok"));
        QVERIFY(waitForFrame(tcp, network("ST,0,1,0,"), 3000, rest));
        QCOMPARE(sim.command("fault temp"), QStringLiteral("ok"));
        QVERIFY(waitForFrame(tcp, network("ST,0,1,1,"), 3000, rest));

        // Periodic while connected: about one per 100 ms here.
        readNetworkFrames(tcp, 100, 100, &rest);
        rest.clear();
        const auto periodic = readNetworkFrames(tcp, 100, 550, &rest);
        QVERIFY2(periodic.size() >= 3 && periodic.size() <= 7,
                 qPrintable(QString::number(periodic.size())));

        QCOMPARE(sim.command("silent on"), QStringLiteral("ok"));
        readNetworkFrames(tcp, 100, 50, &rest);
        rest.clear();
        QCOMPARE(readNetworkFrames(tcp, 1, 300, &rest).size(), 0);
    }

    void survivesHostileTcpClients() {
        SimProcess sim;
        QVERIFY(startSim(sim, {}, true));
        {
            QTcpSocket quitter; // leaves in the middle of a frame
            QVERIFY(connectTo(quitter, sim));
            quitter.write("\x02VSE");
            QVERIFY(quitter.waitForBytesWritten(1000));
            quitter.abort();
        }
        QTcpSocket bystander, hostile;
        QVERIFY(connectTo(bystander, sim));
        QVERIFY(connectTo(hostile, sim));
        hostile.write(randomBytes(64 * 1024, 3) + '\x02' + QByteArray(1024 * 1024, 'A') + '\x03' +
                      network("SLVR ;"));
        while (hostile.bytesToWrite() > 0)
            QVERIFY(hostile.waitForBytesWritten(5000));
        QByteArray rest;
        QVERIFY(waitForFrame(hostile, network("8000;"), 5000, rest));
        hostile.abort();
        rest.clear();
        bystander.write(network("SLIR ;"));
        QVERIFY(waitForFrame(bystander, network("1400;"), 3000, rest));
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
