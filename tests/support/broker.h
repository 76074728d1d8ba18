#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace zor::test {

// A real mosquitto for one test, on a free port of 127.0.0.1 only, with the
// config file written here. Stopped with the test.
struct Broker {
    QTemporaryDir dir;
    QProcess process;
    quint16 port = 0;

    ~Broker() { kill(); }
    // extraConfig: more lines (say, "allow_anonymous false"); again on the same port
    // after kill().
    bool start(const QString &extraConfig = QStringLiteral("allow_anonymous true")) {
        if (port == 0) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            port = probe.serverPort();
        }
        QFile config(dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(
            QStringLiteral("listener %1 127.0.0.1\n%2\n").arg(port).arg(extraConfig).toUtf8());
        config.close();
        process.setStandardErrorFile(dir.filePath(QStringLiteral("mosquitto.log")),
                                     QIODevice::Append);
        process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config.fileName()});
        return process.waitForStarted(5000) &&
               QTest::qWaitFor(
                   [this] {
                       QTcpSocket s;
                       s.connectToHost(QHostAddress::LocalHost, port);
                       return s.waitForConnected(200);
                   },
                   5000);
    }
    void kill() {
        if (process.state() == QProcess::NotRunning)
            return;
        process.kill();
        process.waitForFinished(5000);
    }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port); }
};

// mosquitto_sub on a topic filter: each message as "topic payload", among its
// debug lines.
struct Subscriber {
    QProcess process;
    QStringList lines;

    Subscriber(const Broker &broker, const QString &filter, const QStringList &extra = {}) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
            while (process.canReadLine())
                lines << QString::fromUtf8(process.readLine()).trimmed();
        });
        process.start(QStringLiteral("mosquitto_sub"),
                      QStringList{"-d", "-h", "127.0.0.1", "-p", QString::number(broker.port), "-v",
                                  "-t", filter} +
                          extra);
        process.waitForStarted(5000);
    }
    ~Subscriber() {
        process.kill();
        process.waitForFinished(5000);
    }
    // Waits for the broker to confirm the subscription (-d prints it).
    bool subscribed() {
        return QTest::qWaitFor([this] { return lines.join(' ').contains("SUBACK"); }, 5000);
    }
    // The payloads on topic so far.
    QStringList on(const QString &topic) const {
        QStringList out;
        for (const QString &l : lines)
            if (l.startsWith(topic + ' '))
                out << l.mid(topic.size() + 1);
        return out;
    }
};

} // namespace zor::test
