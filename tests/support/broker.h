#pragma once

#include "localserver.h"

#include <QProcess>
#include <pwd.h>

namespace zor::test {

// A real mosquitto for one test, on 127.0.0.1 only, with the config file
// written in its folder.
struct Broker : LocalServer {
    // extraConfig: more lines (say, "allow_anonymous false"); again on the same port
    // after kill().
    bool start(const QString &extraConfig = QStringLiteral("allow_anonymous true")) {
        // As this user: run as root, mosquitto would drop to one that cannot read
        // the files this test wrote.
        const passwd *self = getpwuid(getuid());
        const QString config = QStringLiteral("user %1\nlistener %2 127.0.0.1\nlog_dest none\n%3\n")
                                   .arg(QString::fromLocal8Bit(self ? self->pw_name : "root"))
                                   .arg(port)
                                   .arg(extraConfig);
        return spawn({"mosquitto", "-c", write("mosquitto.conf", config)});
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
