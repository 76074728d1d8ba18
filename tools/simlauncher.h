#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QProcess>
#include <QString>
#include <QStringList>

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
    QString link_;
    QByteArray stdout_;
};

// The simulator's --log as (ms, payload) pairs, in order; a payload may hold blanks.
QList<std::pair<qint64, QByteArray>> readLog(const QString &path);

// What arrives until `wanted` is found in `before` plus it (with none wanted:
// the first read), or the time is up.
QByteArray readUntil(QIODevice &device, const QByteArray &wanted, int timeoutMs = 3000,
                     const QByteArray &before = {});

} // namespace zor::simtest
