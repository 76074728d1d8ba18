#include "simchild.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

namespace zor::tools {

void pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

SimChild::SimChild(QObject *parent) : QObject(parent) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimChild::~SimChild() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.write("quit\n");
    process_.closeWriteChannel();
    if (!process_.waitForFinished(2000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

QString SimChild::defaultProgram(const QStringList &arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--sim"));
    if (at >= 0 && at + 1 < arguments.size())
        return arguments[at + 1];
    return QFileInfo(arguments.value(0)).dir().filePath(QStringLiteral("zor-sim"));
}

bool SimChild::start(const QString &program, const QStringList &extra) {
    process_.start(program,
                   QStringList{QStringLiteral("--pty"), dir_.filePath(QStringLiteral("ttyZOR"))} +
                       extra);
    if (!process_.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start %s: %s\n", qPrintable(program),
                     qPrintable(process_.errorString()));
        return false;
    }
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(5000)) {
            std::fprintf(stderr, "%s printed no pseudo-terminal path\n", qPrintable(program));
            return false;
        }
    }
    ptyPath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    connect(&process_, &QProcess::readyReadStandardOutput, this, &SimChild::readAnswers);
    return true;
}

void SimChild::command(const QString &line) {
    sent_ << line;
    process_.write(line.toLocal8Bit() + '\n');
}

void SimChild::readAnswers() {
    pending_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = pending_.indexOf('\n')) >= 0) {
        const QByteArray answer = pending_.left(end).trimmed();
        pending_.remove(0, end + 1);
        const QString line = sent_.isEmpty() ? QString() : sent_.takeFirst();
        if (answer != "ok") {
            ++refused_;
            std::fprintf(stderr, "zor-sim answered '%s' to '%s'\n", answer.constData(),
                         qPrintable(line));
        }
    }
}

} // namespace zor::tools
