#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace zor::tools {

// Serves events for `ms`, so the console and the simulator go on meanwhile.
void pause(int ms);

// A zor-sim serving a pseudo-terminal, driven through its operator prompt.
// Commands are written without waiting for their answers, so the console's
// exchanges go on meanwhile; an answer other than "ok" is printed.
class SimChild : public QObject {
    Q_OBJECT
public:
    explicit SimChild(QObject *parent = nullptr);
    ~SimChild() override;

    // zor-sim next to this program, unless --sim PATH is among the arguments.
    static QString defaultProgram(const QStringList &arguments);

    // Starts it with `--pty` in a temporary folder plus `extra`; false with a
    // message on standard error when it does not come up.
    bool start(const QString &program, const QStringList &extra);
    QString ptyPath() const { return ptyPath_; }
    void command(const QString &line);
    bool running() const { return process_.state() == QProcess::Running; }
    // Answers that were not "ok" (a command the simulator refused).
    int refused() const { return refused_; }

private:
    void readAnswers();

    QTemporaryDir dir_;
    QProcess process_;
    QString ptyPath_;
    QByteArray pending_;
    QStringList sent_;
    int refused_ = 0;
};

} // namespace zor::tools
