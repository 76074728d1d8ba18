#include "link/devicelink.h"
#include "ptysupply.h"
#include "tst_link.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace zor;
using namespace zor::test;

class TestRealTransports : public QObject {
    Q_OBJECT
private slots:
    void serialThroughPseudoTerminal() {
        PtySupply pty;
        QVERIFY(pty.pty.ok());
        pty.supply.on("VSET;", "640;", 20);
        DeviceLink link(PortFactory::real());
        link.linkMode = QStringLiteral("comm1");
        link.MSComm1().setPortName(pty.pty.slavePath());
        QVERIFY(link.MSComm1().setSettings(QStringLiteral("115200,n,8,1")));
        QVERIFY(link.MSComm1().open());
        const QByteArray reply = link.exchange("VSET;");
        QCOMPARE(reply, QByteArray::fromHex("023634303b6b0d0a"));
        QCOMPARE(pty.supply.frames.size(), 1);
        QCOMPARE(pty.supply.frames[0].bytes, QByteArray::fromHex("02565345543b430d0a"));
    }

    void serialSilenceThroughPseudoTerminal() {
        PtySupply pty;
        DeviceLink link(PortFactory::real());
        link.linkMode = QStringLiteral("comm1");
        link.MSComm1().setPortName(pty.pty.slavePath());
        QVERIFY(link.MSComm1().open());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.exchange("STAT;"), QByteArray());
        QVERIFY(clock.elapsed() > 1000 && clock.elapsed() < 1200);
    }

    void networkThroughLoopback() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket *peer = nullptr;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [peer] {
                const QByteArray in = peer->readAll();
                if (in == QByteArray("\x02"
                                     "STAT;\x03")) {
                    peer->write("\x02"
                                "1;");
                    peer->flush();
                    peer->write("\x03");
                }
            });
        });
        DeviceLink link(PortFactory::real());
        link.linkMode = LinkEthernet;
        link.tcpClient().remoteHost = QStringLiteral("127.0.0.1");
        link.tcpClient().remotePort = server.serverPort();
        link.tcpClient().connectToRemote();
        QTRY_COMPARE(link.tcpClient().state(), TcpClientComponent::StateConnected);
        QCOMPARE(link.exchange("STAT;"), QByteArray("\x02"
                                                    "1;\x03"));
    }

    void refusedConnectionReportsError() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        DeviceLink link(PortFactory::real());
        QSignalSpy errors(&link, &DeviceLink::tcpError);
        link.tcpClient().remoteHost = QStringLiteral("127.0.0.1");
        link.tcpClient().remotePort = port;
        link.tcpClient().connectToRemote();
        QTRY_COMPARE(errors.count(), 1);
        QVERIFY(!errors.at(0).at(0).toString().isEmpty());
        QVERIFY(link.tcpClient().state() != TcpClientComponent::StateConnected);
    }
};

int zor::test::runRealTransportTests(int argc, char *argv[]) {
    TestRealTransports t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_realtransports.moc"
