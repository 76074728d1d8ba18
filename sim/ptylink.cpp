#include "sim/ptylink.h"

#include "sim/linksession.h"
#include "sim/simulator.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace zor::sim {

namespace {

// Nobody may be reading the slave; past this we drop replies instead of growing.
constexpr qsizetype MaxOutbox = 64 * 1024;

// Raw, and at the unit's initial rate, so a client that sets no rate is heard.
bool makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

QString errnoText(const char *what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyLink::PtyLink(Simulator &sim, QObject *parent) : QObject(parent), sim_(sim) {}

PtyLink::~PtyLink() {
    if (!linkPath_.isEmpty() && QFileInfo(linkPath_).symLinkTarget() == slavePath_)
        QFile::remove(linkPath_);
    if (master_ >= 0)
        ::close(master_);
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
}

bool PtyLink::open(const QString &linkPath, QString *error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = errnoText("pseudo-terminal");
        return false;
    }
    const char *name = ::ptsname(master_);
    if (!name) {
        *error = errnoText("ptsname");
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slaveHold_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slaveHold_ < 0) {
        *error = errnoText("opening the slave");
        return false;
    }
    // Raw on both sides: no echo, CR and LF pass unchanged.
    if (!makeRaw(slaveHold_) || !makeRaw(master_)) {
        *error = errnoText("raw mode");
        return false;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

    if (!linkPath.isEmpty()) {
        const QFileInfo existing(linkPath);
        if (existing.isSymLink()) {
            QFile::remove(linkPath);
        } else if (existing.exists()) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
            return false;
        }
        if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0) {
            *error = errnoText("creating the link");
            return false;
        }
        linkPath_ = linkPath;
    }

    session_ = new LinkSession(
        sim_, FrameReader::Framing::Serial, "pty",
        [this](const QByteArray &bytes) { write(bytes); }, this);
    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyLink::onReadable);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyLink::onWritable);
    return true;
}

void PtyLink::onReadable() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            if (lineBaud() == sim_.model().unitBaud()) {
                session_->feed(QByteArrayView(buf, n));
            } else {
                // Sampled at the wrong rate every byte is a framing error; what
                // the unit's receiver keeps of them is never a frame.
                sim_.garbled(n);
                session_->feed(QByteArray(n, '\xFF'));
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // EIO (no slave open) should not happen while we hold one; do not spin on it.
        readNotifier_->setEnabled(false);
        QTimer::singleShot(50, this, [this] { readNotifier_->setEnabled(true); });
        return;
    }
}

int PtyLink::lineBaud() const {
    termios tio{};
    if (tcgetattr(master_, &tio) != 0)
        return 0;
    switch (cfgetospeed(&tio)) {
    case B9600:
        return 9600;
    case B115200:
        return 115200;
    default:
        return -1; // a rate the unit never runs at
    }
}

void PtyLink::write(const QByteArray &bytes) {
    if (outbox_.size() + bytes.size() > MaxOutbox)
        return;
    outbox_ += bytes;
    onWritable();
}

void PtyLink::onWritable() {
    while (!outbox_.isEmpty()) {
        const ssize_t n =
            ::write(master_, outbox_.constData(), static_cast<size_t>(outbox_.size()));
        if (n > 0) {
            outbox_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            outbox_.clear(); // the pty is gone; nothing sensible to keep
        break;
    }
    writeNotifier_->setEnabled(!outbox_.isEmpty());
}

} // namespace zor::sim
