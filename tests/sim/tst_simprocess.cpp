#include "datarows.h"
#include "link/framecodec.h"
#include "simlauncher.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace zor::tools;
using zor::test::columns;
using zor::test::row;
using namespace Qt::StringLiterals;

namespace {

const auto serial = [](const QByteArray &text) { return zor::ProcessOutputString(text, false); };
const auto network = [](const QByteArray &text) { return zor::ProcessOutputString(text, true); };

// Random bytes, then a frame too long for any supply.
QByteArray hostileBytes() {
    QByteArray bytes(64 * 1024, '\0');
    for (auto &b : bytes)
        b = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return bytes + '\x02' + QByteArray(1 << 20, 'A') + '\x03';
}

bool writeAll(QIODevice &device, const QByteArray &bytes) {
    device.write(bytes);
    while (device.bytesToWrite() > 0 && device.waitForBytesWritten(5000)) {
    }
    return device.bytesToWrite() == 0;
}

// Sends the payload in a serial frame and collects the reply up to its LF.
QByteArray ask(QSerialPort &port, const QByteArray &payload, int timeoutMs = 2000) {
    port.clear();
    return writeAll(port, serial(payload)) ? readUntil(port, "\n", timeoutMs) : QByteArray();
}

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::optional<SimLauncher> sim_;
    QSerialPort port_;

    QString linkPath() const { return dir_.filePath(QStringLiteral("ttyZOR")); }

    // A fresh zor-sim with fast time constants, its pseudo-terminal opened at 115200.
    void start(bool tcp = false) {
        sim_.reset();
        sim_.emplace();
        QStringList args{"--pty",     linkPath(), "--noise",     "0",
                         "--ramp-ms", "50",       "--status-ms", "100"};
        QString error;
        QVERIFY2(
            sim_->start(args + (tcp ? QStringList{"--tcp", "0"} : QStringList()), 1 + tcp, &error),
            qPrintable(error));
        port_.close();
        port_.setPortName(linkPath());
        QVERIFY(port_.open(QIODevice::ReadWrite) && port_.setBaudRate(115200));
    }
    QByteArray state() {
        QByteArray text = sim_->command("state").toLatin1();
        text += sim_->readUntil("arc-every");
        return text + sim_->readUntil("\n");
    }

private slots:
    void servesThePseudoTerminal() {
        start();
        QCOMPARE(QFileInfo(linkPath()).symLinkTarget(), sim_->startupLine(0));
        port_.close(); // nobody holds the port between the opens
        QVERIFY(port_.open(QIODevice::ReadWrite));
        for (const QByteArray step :
             {"HWVR;=A01;", "VREF 2048;=;", "ENBL 1;=;", "STAT;=1;", "55,=1"})
            QCOMPARE(ask(port_, step.split('=')[0]), serial(step.split('=')[1]));
        QTest::qWait(150); // past the 50 ms ramp
        QCOMPARE(ask(port_, "VMON;"), serial("2048;"));
        // A wrong checksum is not answered, but counted.
        QVERIFY(writeAll(port_, "\x02VSET;D\r\n"));
        QCOMPARE(readUntil(port_, "\n", 300), QByteArray());
        const QByteArray counted = state();
        QVERIFY(counted.startsWith("hv on") && counted.contains(" 1 bad checksum"));

        QCOMPARE(sim_->command("delay 200"), "ok");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ask(port_, "SOFT;"), serial("0103;"));
        QVERIFY(clock.elapsed() >= 190);
        QCOMPARE(sim_->command("delay 0"), "ok");
        QCOMPARE(sim_->command("split on"), "ok");
        QVERIFY(writeAll(port_, serial("HWVR;")));
        const QByteArray first = readUntil(port_, "");
        QVERIFY(!first.contains('\n'));
        QCOMPARE(first + readUntil(port_, "\n"), serial("A01;"));
        QCOMPARE(sim_->command("corrupt 1"), "ok");
        const QByteArray garbled = ask(port_, "MODR;");
        QVERIFY(garbled != serial("ZOR80HR;") && garbled.size() == serial("ZOR80HR;").size());
        QVERIFY(garbled.startsWith('\x02') && garbled.endsWith("\r\n"));
    }

    // After BAUD the unit hears only frames sent at its new rate.
    void lineRate_data() {
        columns<QByteArray, int, QByteArray>("code", "consoleBaud", "then");
        row("unit to 9600, console stays", "2"_ba, 115200, ""_ba);
        row("unit to 9600, console follows", "2"_ba, 9600, "0;"_ba);
        row("unit stays, console to 9600", "1"_ba, 9600, ""_ba);
        row("unknown code keeps the rate", "0"_ba, 115200, "0;"_ba);
    }
    void lineRate() {
        auto [code, consoleBaud, then] =
            zor::test::fetch<QByteArray, int, QByteArray>("code", "consoleBaud", "then");
        start();
        QCOMPARE(ask(port_, "BAUD " + code + ';'), serial(code == "0" ? "1" : ";"));
        QVERIFY(port_.setBaudRate(consoleBaud));
        QCOMPARE(ask(port_, "VSET;", 300), then.isEmpty() ? QByteArray() : serial(then));
        QCOMPARE(state().contains(", 0 bytes at a wrong line rate"), !then.isEmpty());
    }

    void tcpAnswersAndSendsStatus() {
        start(true);
        QTcpSocket tcp, hostile;
        for (QTcpSocket *socket : {&tcp, &hostile}) {
            socket->connectToHost(QHostAddress::LocalHost, sim_->tcpPort());
            QVERIFY(socket->waitForConnected(2000));
        }
        QVERIFY(readUntil(tcp, network("ST,0,0,0,")).contains(network("ST,0,0,0,")));
        // The unit's serial rate does not touch the network.
        tcp.write(network("BAUD 2;") + network("VREF 100;") + network("ENBL 1;") +
                  network("SLVR ;"));
        static const QRegularExpression status(QStringLiteral("\x02ST,[^\x03]*\x03"));
        QCOMPARE(QString(readUntil(tcp, network("8000;"))).remove(status),
                 network(";").repeated(3) + network("8000;"));
        // High voltage, interlock and supply fault at characters 5, 7 and 9.
        for (const auto &[change, shown] : {std::pair{"", "ST,1,0,0,"},
                                            {"interlock open", "ST,0,1,0,"},
                                            {"fault temp", "ST,0,1,1,"}}) {
            QVERIFY(!*change || sim_->command(change) == "ok");
            QVERIFY2(readUntil(tcp, network(shown)).contains(network(shown)), shown);
        }
        // Periodic while connected: about one per 100 ms here.
        readUntil(tcp, "", 100);
        const auto periodic = readUntil(tcp, "never", 550).count("\x02ST,");
        QVERIFY2(periodic >= 3 && periodic <= 7, qPrintable(QString::number(periodic)));
        // Garbage and a giant frame on one client; both still answered.
        QVERIFY(writeAll(hostile, hostileBytes() + network("SLVR ;")));
        QVERIFY(readUntil(hostile, network("8000;"), 5000).contains(network("8000;")));
        tcp.write(network("SLIR ;"));
        QVERIFY(readUntil(tcp, network("1400;")).contains(network("1400;")));
        QCOMPARE(sim_->command("silent on"), "ok");
        readUntil(tcp, "", 100);
        QCOMPARE(readUntil(tcp, "never", 300), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
