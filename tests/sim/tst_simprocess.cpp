#include "link/framecodec.h"
#include "sim/clock.h"
#include "simprocess.h"
#include "testregistry.h"

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

bool isStatus(const QByteArray &frame) {
    return frame.startsWith("\x02ST,");
}

// Reads network frames until `wanted` has come, skipping everything else.
bool waitForFrame(QTcpSocket &socket, const QByteArray &wanted, int timeoutMs, QByteArray &rest) {
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (readNetworkFrames(socket, 1, 100, &rest).contains(wanted))
            return true;
    }
    return false;
}

} // namespace

class SimProcessTest : public QObject {
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
        QCOMPARE(port.ask("SLVR ;"), serial("8000;"));
        QCOMPARE(port.ask("SLIR ;"), serial("1400;"));
        QCOMPARE(port.ask("VREF 2048;"), serial(";"));
        QCOMPARE(port.ask("ENBL 1;"), serial(";"));
        QCOMPARE(port.ask("STAT;"), serial("1;"));
        QThread::msleep(150); // past the 50 ms ramp
        QCOMPARE(port.ask("VMON;"), serial("2048;"));
        QCOMPARE(port.ask("99,0,"), serial("99,$"));
        QCOMPARE(port.ask("ENBL 0;"), serial(";"));
        QCOMPARE(port.ask("STAT;"), serial("0;"));

        // A wrong checksum is not answered; the next good frame is.
        QVERIFY(port.writeAll("\x02VSET;D\r\n"));
        QCOMPARE(port.readSome(300), QByteArray());
        QCOMPARE(port.ask("VSET;"), serial("2048;"));
        QVERIFY(sim.command("state").startsWith("hv off"));
        QVERIFY(sim.readUntil("arc-every 0 ms\n").contains("1 bad checksum"));
        QVERIFY(sim.command("fault smoke").startsWith("error:"));
        sim.command("help");
        QVERIFY(sim.readUntil("quit").contains("interlock open|close"));
    }

    void portCanBeClosedAndReopened() {
        SimProcess sim;
        QVERIFY(startSim(sim));
        PtyPort port;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(port.open(linkPath()));
            QCOMPARE(port.ask("HWVR;"), serial("A01;"));
            port.close();
            QThread::msleep(120); // nobody holds the port now
        }
        QCOMPARE(sim.command("interlock open"), QStringLiteral("ok"));
    }

    void survivesHostilePtyInput() {
        SimProcess sim;
        QVERIFY(startSim(sim));
        PtyPort port;
        QVERIFY(port.open(linkPath()));
        QVERIFY(port.writeAll(randomBytes(64 * 1024, 42)));
        QVERIFY(port.writeAll('\x02' + QByteArray(1024 * 1024, 'A') + "\r\n"));
        QVERIFY(port.writeAll(randomBytes(4096, 7) + "\x02\x02\r\n\n\x03"));
        port.drain();
        QCOMPARE(port.ask("MODR;"), serial("ZOR80HR;"));
        QVERIFY(sim.command("state").startsWith("hv"));
    }

    void watchdogDropsHvOverTheLink() {
        SimProcess sim;
        QVERIFY(startSim(sim, {"--wdt-ms", "150"}));
        PtyPort port;
        QVERIFY(port.open(linkPath()));
        QCOMPARE(port.ask("WDTE 1;"), serial(";"));
        QCOMPARE(port.ask("ENBL 1;"), serial(";"));
        QCOMPARE(port.ask("WDTT;"), serial(";"));
        QThread::msleep(400);
        QCOMPARE(port.ask("FLT;"), serial("000000100;"));
        QCOMPARE(port.ask("STAT;"), serial("0;"));
        QCOMPARE(port.ask("CLR;"), serial(";"));
        QCOMPARE(port.ask("WDTE 0;"), serial(";"));
        QCOMPARE(port.ask("ENBL 1;"), serial(";"));
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
            const QByteArray whole =
                first + (first.contains('\n') ? QByteArray() : port.readUntil('\n', 1000));
            QCOMPARE(whole, serial("A01;"));
            sawSplit = !first.contains('\n');
        }
        QVERIFY(sawSplit);

        QCOMPARE(sim.command("split off"), QStringLiteral("ok"));
        QCOMPARE(sim.command("silent on"), QStringLiteral("ok"));
        QCOMPARE(port.ask("HWVR;", 300), QByteArray());
        QCOMPARE(sim.command("silent off"), QStringLiteral("ok"));
        QCOMPARE(port.ask("HWVR;"), serial("A01;"));

        QCOMPARE(sim.command("wrong on"), QStringLiteral("ok"));
        port.ask("SLIR ;");
        QCOMPARE(port.ask("SLVR ;"), serial("1400;"));
        QCOMPARE(sim.command("wrong off"), QStringLiteral("ok"));

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
        tcp.connectToHost(QHostAddress::LocalHost, sim.tcpPort());
        QVERIFY(tcp.waitForConnected(2000));
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
        QVERIFY(sim.tcpPort() != 0);
        QTcpSocket tcp;
        tcp.connectToHost(QHostAddress::LocalHost, sim.tcpPort());
        QVERIFY(tcp.waitForConnected(2000));

        QByteArray rest;
        auto frames = readNetworkFrames(tcp, 1, 1000, &rest);
        QCOMPARE(frames.value(0), network("ST,0,0,0,"));
        QCOMPARE(frames.value(0).at(4), '0'); // character 5: high voltage

        tcp.write(network("VREF 100;") + network("ENBL 1;") + network("SLVR ;"));
        QList<QByteArray> replies;
        for (int i = 0; i < 10 && replies.size() < 3; ++i) {
            for (const auto &f : readNetworkFrames(tcp, 1, 500, &rest)) {
                if (!isStatus(f))
                    replies << f;
            }
        }
        QCOMPARE(replies, (QList<QByteArray>{network(";"), network(";"), network("8000;")}));

        const auto waitForStatus = [&](const QByteArray &text) {
            return waitForFrame(tcp, network(text), 3000, rest);
        };
        QVERIFY(waitForStatus("ST,1,0,0,"));
        QCOMPARE(sim.command("interlock open"), QStringLiteral("ok"));
        QVERIFY(waitForStatus("ST,0,1,0,")); // characters 5, 7, 9
        QCOMPARE(sim.command("fault temp"), QStringLiteral("ok"));
        QVERIFY(waitForStatus("ST,0,1,1,"));

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
        const auto connectClient = [&](QTcpSocket &s) {
            s.connectToHost(QHostAddress::LocalHost, sim.tcpPort());
            return s.waitForConnected(2000);
        };
        {
            QTcpSocket quitter; // leaves in the middle of a frame
            QVERIFY(connectClient(quitter));
            quitter.write("\x02VSE");
            QVERIFY(quitter.waitForBytesWritten(1000));
            quitter.abort();
        }
        QTcpSocket bystander;
        QVERIFY(connectClient(bystander));
        QTcpSocket hostile;
        QVERIFY(connectClient(hostile));
        const QByteArray flood = randomBytes(64 * 1024, 3) + '\x02' + QByteArray(1024 * 1024, 'A') +
                                 '\x03' + network("SLVR ;");
        hostile.write(flood);
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

ZOR_SIM_SUITE(SimProcessTest, "process")
#include "tst_simprocess.moc"
