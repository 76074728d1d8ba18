#include "platform/qtserialport.h"

#include "platform/portnames.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <termios.h>
#include <unistd.h>
#endif

namespace zor {

namespace {

struct LineSettings {
    qint32 baud;
    QSerialPort::Parity parity;
    QSerialPort::DataBits dataBits;
    QSerialPort::StopBits stopBits;
};

std::optional<LineSettings> parseSettings(const QString &text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0)
        return std::nullopt;
    LineSettings s{baud, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop};
    const QString parity = parts[1].trimmed().toLower();
    if (parity == QLatin1String("n"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("m"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("s"))
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return std::nullopt;
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

} // namespace

QtSerialPort::QtSerialPort(QObject *parent) : SerialPortComponent(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialPortComponent::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() {
    close();
}

bool QtSerialPort::setSettings(const QString &settings) {
    if (!parseSettings(settings))
        return false;
    settings_ = settings;
    if (port_.isOpen())
        applySettings();
    return true;
}

bool QtSerialPort::applySettings() {
    const auto s = parseSettings(settings_);
    if (!s)
        return false;
    return port_.setBaudRate(s->baud) && port_.setParity(s->parity) &&
           port_.setDataBits(s->dataBits) && port_.setStopBits(s->stopBits) &&
           port_.setFlowControl(QSerialPort::NoFlowControl);
}

bool QtSerialPort::open() {
    if (port_.isOpen())
        return true;
    failure_.clear();
    const auto device = serialDeviceFor(name_);
    if (!device) {
        failure_ = QStringLiteral("\"%1\" is neither a port number from 1 to %2 nor a serial "
                                  "device.")
                       .arg(name_)
                       .arg(MaxPortNumber);
        return false;
    }
    port_.setPortName(*device);
    port_.clearError();
    if (!port_.open(QIODevice::ReadWrite)) {
        failure_ = describeOpenFailure(*device);
        port_.clearError();
        return false;
    }
    ++generation_;
    // Pseudo-terminals refuse some line settings; the link works without them.
    applySettings();
#ifdef Q_OS_UNIX
    // Raw bytes both ways: CR and LF are framing, not line endings.
    termios tio{};
    if (::tcgetattr(static_cast<int>(port_.handle()), &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(static_cast<int>(port_.handle()), TCSANOW, &tio);
    }
    if (const auto s = parseSettings(settings_))
        port_.setBaudRate(s->baud);
#endif
    // Whatever the device buffered while nobody listened is not a reply.
    port_.clear(QSerialPort::AllDirections);
    port_.readAll();
    return true;
}

QString QtSerialPort::describeOpenFailure(const QString &device) const {
#ifdef Q_OS_UNIX
    if (!QFileInfo::exists(device))
        return QStringLiteral("There is no serial port %1 on this computer.").arg(device);
    if (port_.error() == QSerialPort::PermissionError) {
        if (::access(device.toLocal8Bit().constData(), R_OK | W_OK) != 0 && errno == EACCES)
            return QStringLiteral("Permission denied for %1. Add your user to the dialout group "
                                  "(sudo usermod -aG dialout $USER), then log in again.")
                .arg(device);
        return QStringLiteral("%1 is in use by another program.").arg(device);
    }
#else
    // Windows answers "access denied" when another program holds the port.
    if (port_.error() == QSerialPort::PermissionError)
        return QStringLiteral("%1 is in use by another program.").arg(device);
#endif
    if (port_.error() == QSerialPort::DeviceNotFoundError)
        return QStringLiteral("There is no serial port %1 on this computer.").arg(device);
    return QStringLiteral("%1: %2").arg(device, port_.errorString());
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::OpenError:
    case QSerialPort::NotOpenError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnsupportedOperationError:
        // Not a sign that the device went away.
        return;
    default:
        break;
    }
    if (!port_.isOpen())
        return;
    // A pulled adapter shows up as a resource error, a read or write error, or
    // reads of nothing. Close the port (outside Qt's own notifier) so the
    // watchdog re-opens it once the device is back.
    const quint64 failedOpen = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, failedOpen] {
            if (generation_ != failedOpen || !port_.isOpen())
                return;
            port_.close();
            port_.clearError();
            // A receive waiting on this port finds it closed now, not after its limit.
            emit readyRead();
        },
        Qt::QueuedConnection);
}

void QtSerialPort::close() {
    if (!port_.isOpen())
        return;
    drain(500);
    port_.close();
}

bool QtSerialPort::discardInput() {
    if (!port_.isOpen())
        return false;
    port_.readAll();
    port_.clear(QSerialPort::Input);
    return true;
}

bool QtSerialPort::write(const QByteArray &data) {
    if (!port_.isOpen())
        return false;
    if (port_.write(data) != data.size())
        return false;
    // Hand the frame to the driver now rather than on the next event loop pass.
    port_.flush();
    return true;
}

std::optional<QByteArray> QtSerialPort::readAll() {
    if (!port_.isOpen())
        return std::nullopt;
    return port_.readAll();
}

void QtSerialPort::drain(int timeoutMs) {
    if (!port_.isOpen())
        return;
    const QDeadlineTimer deadline(timeoutMs);
    while (port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }
    // What the driver holds is sent by the kernel even after close.
}

} // namespace zor
