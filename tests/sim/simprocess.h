#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class QTcpSocket;

namespace zor::simtest {

// A running zor-sim, killed when this goes out of scope.
class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;
    ~SimProcess();

    static QString program() { return qEnvironmentVariable("ZOR_SIM"); }

    // Starts and waits for the start-up lines (the pty path, the tcp address).
    bool start(const QStringList &args, int startupLines, QString *error);
    QString startupLine(int i) const { return lines_.value(i); }
    quint16 tcpPort() const;

    // Sends one operator command and returns the first line it printed.
    QString command(const QByteArray &line);
    // Everything printed from now until `needle` appears (or the time is up).
    QByteArray readUntil(const QByteArray &needle, int timeoutMs = 3000);

private:
    QProcess process_;
    QStringList lines_;
    QByteArray stdout_;
};

// The console's end of the pseudo-terminal, opened with plain POSIX calls.
class PtyPort {
public:
    PtyPort() = default;
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;
    ~PtyPort() { close(); }

    bool open(const QString &path);
    void close();
    bool writeAll(const QByteArray &bytes);
    // One read as soon as anything arrives; empty after the timeout.
    QByteArray readSome(int timeoutMs);
    // Reads until the bytes contain `terminator`, or the time is up.
    QByteArray readUntil(char terminator, int timeoutMs);
    // Throws away whatever arrives until the line has been quiet for quietMs.
    void drain(int quietMs = 150);
    // Sends the payload in a serial frame and collects the reply up to its LF.
    QByteArray ask(const QByteArray &payload, int timeoutMs = 2000);

private:
    int fd_ = -1;
};

// Network frames read from a socket until `count` have arrived or the time is up.
QList<QByteArray> readNetworkFrames(QTcpSocket &socket, int count, int timeoutMs,
                                    QByteArray *rest = nullptr);

} // namespace zor::simtest
