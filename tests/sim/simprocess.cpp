#include "simprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "link/framecodec.h"

namespace zor::simtest {

SimProcess::~SimProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool SimProcess::start(const QStringList &args, int startupLines, QString *error) {
    if (program().isEmpty()) {
        *error = QStringLiteral("ZOR_SIM is not set");
        return false;
    }
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program(), args);
    if (!process_.waitForStarted(5000)) {
        *error = process_.errorString();
        return false;
    }
    QDeadlineTimer deadline(5000);
    while (lines_.size() < startupLines) {
        if (process_.canReadLine()) {
            lines_ << QString::fromLocal8Bit(process_.readLine()).trimmed();
            continue;
        }
        if (deadline.hasExpired() || !process_.waitForReadyRead(deadline.remainingTime())) {
            *error = QStringLiteral("zor-sim printed %1 of %2 start-up lines")
                         .arg(lines_.size())
                         .arg(startupLines);
            return false;
        }
    }
    return true;
}

quint16 SimProcess::tcpPort() const {
    for (const QString &line : lines_) {
        if (line.startsWith(QLatin1String("tcp 127.0.0.1:")))
            return static_cast<quint16>(line.section(':', 1).toUInt());
    }
    return 0;
}

QByteArray SimProcess::readUntil(const QByteArray &needle, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        stdout_ += process_.readAllStandardOutput();
        const auto at = stdout_.indexOf(needle);
        if (at >= 0) {
            const QByteArray out = stdout_.left(at + needle.size());
            stdout_.remove(0, out.size());
            return out;
        }
        if (deadline.hasExpired() || process_.state() != QProcess::Running)
            return std::exchange(stdout_, {});
        process_.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
}

QString SimProcess::command(const QByteArray &line) {
    process_.write(line + '\n');
    process_.waitForBytesWritten(1000);
    return QString::fromLocal8Bit(readUntil("\n")).trimmed();
}

bool PtyPort::open(const QString &path) {
    close();
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0)
        return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
    return true;
}

void PtyPort::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool PtyPort::writeAll(const QByteArray &bytes) {
    qsizetype done = 0;
    QDeadlineTimer deadline(10000);
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
    return true;
}

QByteArray PtyPort::readSome(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return {};
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    return n > 0 ? QByteArray(buf, n) : QByteArray();
}

QByteArray PtyPort::readUntil(char terminator, int timeoutMs) {
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (!got.contains(terminator) && !deadline.hasExpired())
        got += readSome(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    return got;
}

void PtyPort::drain(int quietMs) {
    while (!readSome(quietMs).isEmpty()) {
    }
}

QByteArray PtyPort::ask(const QByteArray &payload, int timeoutMs) {
    if (!writeAll(zor::ProcessOutputString(payload, false)))
        return {};
    return readUntil(zor::LF, timeoutMs);
}

QList<QByteArray> readNetworkFrames(QTcpSocket &socket, int count, int timeoutMs,
                                    QByteArray *rest) {
    QList<QByteArray> frames;
    QByteArray buffer = rest ? std::exchange(*rest, {}) : QByteArray();
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        qsizetype end;
        while (frames.size() < count && (end = buffer.indexOf(zor::ETX)) >= 0) {
            frames << buffer.left(end + 1);
            buffer.remove(0, end + 1);
        }
        if (frames.size() >= count || deadline.hasExpired())
            break;
        if (socket.bytesAvailable() == 0)
            socket.waitForReadyRead(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        buffer += socket.readAll();
    }
    if (rest)
        *rest = buffer;
    return frames;
}

} // namespace zor::simtest
