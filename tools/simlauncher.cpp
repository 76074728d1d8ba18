#include "simlauncher.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

namespace zor::tools {

void useScratchSettings() {
    static QTemporaryDir folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
}

SimLauncher::~SimLauncher() {
    if (process_.state() != QProcess::NotRunning) {
        process_.write("quit\n");
        process_.closeWriteChannel();
        if (!process_.waitForFinished(2000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    // Killed, it leaves its link behind, pointing at a pseudo-terminal number
    // that another process may get next.
    if (!link_.isEmpty() && QFileInfo(link_).isSymLink())
        QFile::remove(link_);
}

QString SimLauncher::defaultProgram(const QStringList &arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--sim"));
    if (at >= 0 && at + 1 < arguments.size())
        return arguments[at + 1];
    return QFileInfo(arguments.value(0)).dir().filePath(QStringLiteral("zor-sim"));
}

bool SimLauncher::start(const QString &program, const QStringList &args, int startupLines,
                        QString *error) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A program that ends without its destructors (std::_Exit, a kill) must
    // not leave its simulator running: a thousand shutdown runs would leave a
    // thousand simulators ticking.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start(program, args);
    if (const auto at = args.indexOf(QStringLiteral("--pty")); at >= 0)
        link_ = args.value(at + 1);
    if (!process_.waitForStarted(5000)) {
        *error = process_.errorString();
        return false;
    }
    while (lines_.size() < startupLines) {
        const QByteArray line = readUntil("\n", 5000);
        if (!line.endsWith('\n')) {
            *error = QStringLiteral("zor-sim printed %1 of %2 start-up lines")
                         .arg(lines_.size())
                         .arg(startupLines);
            return false;
        }
        lines_ << QString::fromLocal8Bit(line).trimmed();
    }
    return true;
}

bool SimLauncher::startOnPty(const QString &program, const QStringList &extra) {
    dir_ = std::make_unique<QTemporaryDir>();
    QString error;
    if (start(program,
              QStringList{QStringLiteral("--pty"), dir_->filePath(QStringLiteral("ttyZOR"))} +
                  extra,
              1, &error))
        return true;
    std::fprintf(stderr, "cannot start %s: %s\n", qPrintable(program), qPrintable(error));
    return false;
}

quint16 SimLauncher::tcpPort() const {
    for (const QString &line : lines_) {
        if (line.startsWith(QLatin1String("tcp 127.0.0.1:")))
            return static_cast<quint16>(line.section(':', 1).toUInt());
    }
    return 0;
}

QByteArray SimLauncher::readUntil(const QByteArray &needle, int timeoutMs) {
    stdout_ += process_.readAll();
    const bool running = process_.state() == QProcess::Running;
    stdout_ += tools::readUntil(process_, needle, running ? timeoutMs : 0, stdout_);
    const auto at = stdout_.indexOf(needle);
    const QByteArray out = at < 0 ? stdout_ : stdout_.left(at + needle.size());
    stdout_.remove(0, out.size());
    return out;
}

QString SimLauncher::command(const QByteArray &line) {
    process_.write(line + '\n');
    process_.waitForBytesWritten(1000);
    return QString::fromLocal8Bit(readUntil("\n")).trimmed();
}

void SimLauncher::send(const QString &line) {
    if (!answersFromLoop_) {
        answersFromLoop_ = true;
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_,
                         [this] { readAnswers(); });
    }
    sent_ << line;
    process_.write(line.toLocal8Bit() + '\n');
}

void SimLauncher::readAnswers() {
    stdout_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = stdout_.indexOf('\n')) >= 0) {
        const QByteArray answer = stdout_.left(end).trimmed();
        stdout_.remove(0, end + 1);
        const QString line = sent_.isEmpty() ? QString() : sent_.takeFirst();
        if (answer != "ok") {
            ++refused_;
            std::fprintf(stderr, "zor-sim answered '%s' to '%s'\n", answer.constData(),
                         qPrintable(line));
        }
    }
}

QList<std::pair<qint64, QByteArray>> readLog(const QString &path) {
    QFile file(path);
    QList<std::pair<qint64, QByteArray>> out;
    if (file.open(QIODevice::ReadOnly)) // "<ms> <link> <payload>"
        for (const QByteArray &line : file.readAll().split('\n'))
            if (const QByteArrayList parts = line.split(' '); parts.size() > 2)
                out.append({parts[0].toLongLong(), parts.mid(2).join(' ')});
    return out;
}

QByteArray readUntil(QIODevice &device, const QByteArray &wanted, int timeoutMs,
                     const QByteArray &before) {
    QByteArray got;
    for (QDeadlineTimer deadline(timeoutMs);
         !(before + got).contains(wanted) || (wanted.isEmpty() && got.isEmpty());) {
        if (deadline.hasExpired())
            break;
        if (device.bytesAvailable() || device.waitForReadyRead(static_cast<int>(
                                           std::max<qint64>(1, deadline.remainingTime()))))
            got += device.readAll();
    }
    return got;
}

} // namespace zor::tools
