#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace zor::tools {

// Points remembered settings at a folder that lives as long as the program, so
// a tool's run neither reads nor changes the operator's remembered port.
void useScratchSettings();

// A zor-sim child for tests, tools and the benchmark: started on a
// pseudo-terminal and/or TCP, its start-up lines (the pty path, the tcp
// address) read, then driven through its operator prompt. When this goes it is
// asked to quit, and killed if it does not.
class SimLauncher {
public:
    SimLauncher() = default;
    SimLauncher(const SimLauncher &) = delete;
    SimLauncher &operator=(const SimLauncher &) = delete;
    ~SimLauncher();

    // The one the test runner names in ZOR_SIM.
    static QString program() { return qEnvironmentVariable("ZOR_SIM"); }
    // The one named by --sim PATH among the arguments, else zor-sim next to this program.
    static QString defaultProgram(const QStringList &arguments);

    // Starts it and waits for `startupLines` lines; false with `error` set.
    bool start(const QString &program, const QStringList &args, int startupLines, QString *error);
    bool start(const QStringList &args, int startupLines, QString *error) {
        return start(program(), args, startupLines, error);
    }
    // Starts it on a pseudo-terminal linked in a folder of its own, plus
    // `extra`; false with a message on standard error.
    bool startOnPty(const QString &program, const QStringList &extra);

    QString startupLine(int i) const { return lines_.value(i); }
    QString ptyPath() const { return startupLine(0); }
    quint16 tcpPort() const;
    bool running() const { return process_.state() == QProcess::Running; }

    // Sends one operator command and returns the first line it printed.
    QString command(const QByteArray &line);
    // Everything printed from now until `needle` appears (or the time is up).
    QByteArray readUntil(const QByteArray &needle, int timeoutMs = 3000);

    // Sends one operator command without waiting for its answer, so the
    // console's exchanges go on meanwhile. From the first such command on,
    // answers are read from the event loop; one other than "ok" is printed.
    void send(const QString &line);
    // Answers that were not "ok" (a command the simulator refused).
    int refused() const { return refused_; }

private:
    void readAnswers();

    QProcess process_;
    std::unique_ptr<QTemporaryDir> dir_;
    QStringList lines_;
    QString link_;
    QByteArray stdout_;
    QStringList sent_;
    bool answersFromLoop_ = false;
    int refused_ = 0;
};

// The simulator's --log as (ms, payload) pairs, in order; a payload may hold blanks.
QList<std::pair<qint64, QByteArray>> readLog(const QString &path);

// What arrives until `wanted` is found in `before` plus it (with none wanted:
// the first read), or the time is up.
QByteArray readUntil(QIODevice &device, const QByteArray &wanted, int timeoutMs = 3000,
                     const QByteArray &before = {});

} // namespace zor::tools
