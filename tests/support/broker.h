#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char **environ;

namespace zor::test {

// A real mosquitto for one test, on a free port of 127.0.0.1 only, with the
// config file written here. Stopped with the test.
struct Broker {
    QTemporaryDir dir;
    pid_t pid = 0;
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
        // As this user: run as root, mosquitto would drop to one that cannot read
        // the files this test wrote.
        const passwd *self = getpwuid(getuid());
        config.write(QStringLiteral("user %1\nlistener %2 127.0.0.1\nlog_dest none\n%3\n")
                         .arg(QString::fromLocal8Bit(self ? self->pw_name : "root"))
                         .arg(port)
                         .arg(extraConfig)
                         .toUtf8());
        config.close();
        // Started off this thread and awaited in the event loop: on a busy machine a
        // start takes long enough to hold up a console polling meanwhile.
        const QByteArray path = config.fileName().toLocal8Bit();
        std::atomic<pid_t> spawned = 0;
        std::thread spawning([&] {
            char *argv[] = {const_cast<char *>("mosquitto"), const_cast<char *>("-c"),
                            const_cast<char *>(path.constData()), nullptr};
            pid_t child = 0;
            spawned = posix_spawnp(&child, "mosquitto", nullptr, nullptr, argv, environ) == 0
                          ? child
                          : -1;
        });
        (void)QTest::qWaitFor([&] { return spawned != 0; }, 10000);
        spawning.join();
        pid = spawned;
        QTcpSocket probe;
        return pid > 0 && QTest::qWaitFor(
                              [&] {
                                  if (probe.state() == QAbstractSocket::UnconnectedState)
                                      probe.connectToHost(QHostAddress::LocalHost, port);
                                  return probe.state() == QAbstractSocket::ConnectedState;
                              },
                              5000);
    }
    void kill() {
        if (pid <= 0)
            return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = 0;
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
        // Line-buffered, so its debug lines come before the first message.
        process.start(QStringLiteral("stdbuf"),
                      QStringList{"-oL", "mosquitto_sub", "-d", "-h", "127.0.0.1", "-p",
                                  QString::number(broker.port), "-v", "-t", filter} +
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
