#pragma once

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace zor::test {

// A server program for one test, on a free port of 127.0.0.1 that it keeps
// across restarts, its files in a folder of its own. Killed with the test.
struct LocalServer {
    QTemporaryDir dir;
    pid_t pid = 0;
    quint16 port = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }();

    ~LocalServer() { kill(); }

    // `text` as the file `name` of the folder; its path.
    QString write(const QString &name, const QString &text) const {
        QFile file(dir.filePath(name));
        (void)(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()));
        return file.fileName();
    }
    // Runs the program (found on PATH) and waits until it listens on the port.
    bool spawn(const QStringList &argv) {
        // Started off this thread and awaited in the event loop: on a busy machine a
        // start takes long enough to hold up a console polling meanwhile.
        QByteArrayList bytes;
        std::vector<char *> args;
        for (const QString &a : argv)
            args.push_back((bytes << a.toLocal8Bit()).last().data());
        args.push_back(nullptr);
        std::atomic<pid_t> spawned = 0;
        std::thread spawning([&] {
            pid_t child = 0;
            spawned = posix_spawnp(&child, args[0], nullptr, nullptr, args.data(), environ) == 0
                          ? child
                          : -1;
        });
        (void)QTest::qWaitFor([&] { return spawned != 0; }, 10000);
        spawning.join();
        pid = spawned;
        // Listening is seen without connecting: a terminal server hands whatever
        // waits on its line to the first connection, which is the console's to get.
        const QByteArray line = ':' +
                                QByteArray::number(port, 16).toUpper().rightJustified(4, '0') +
                                " 00000000:0000 0A";
        const auto listening = [&] {
            QFile tcp(QStringLiteral("/proc/net/tcp"));
            return tcp.open(QIODevice::ReadOnly) && tcp.readAll().contains(line);
        };
        return pid > 0 && QTest::qWaitFor(listening, 5000);
    }
    void kill() {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0)
            ::waitpid(pid, nullptr, 0);
        pid = 0;
    }
};

// A real ser2net serving a serial device raw (no telnet) on its port.
struct Ser2net : LocalServer {
    bool start(const QString &device) {
        const QString config = QStringLiteral("connection: &zor\n  accepter: tcp,127.0.0.1,%1\n"
                                              "  connector: serialdev,%2,115200n81,local\n"
                                              "  options:\n    kickolduser: true\n");
        // -u: no lock file outside the test's folder.
        return spawn({"ser2net", "-n", "-u", "-c",
                      write("ser2net.yaml", config.arg(port).arg(device)), "-P",
                      dir.filePath(QStringLiteral("ser2net.pid"))});
    }
};

} // namespace zor::test
