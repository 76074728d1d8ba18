#include "link/transport.h"

#include <algorithm>
#include <utility>

namespace zor {

SerialTransport::SerialTransport(LinkTarget target, std::unique_ptr<SerialPortComponent> port,
                                 QObject *parent)
    : Transport(std::move(target), parent), port_(std::move(port)) {
    connect(port_.get(), &SerialPortComponent::readyRead, this, &Transport::readyRead);
}

bool SerialTransport::open() {
    port_->setPortName(target_.port);
    // A rate the port will not take must not leave it at another one, deaf to
    // a supply that talks at the rate asked for.
    rateRefused_ =
        !target_.baud.isEmpty() && !port_->setSettings(target_.baud + QStringLiteral(",n,8,1"));
    if (rateRefused_ || !port_->open())
        return false;
    target_.baud = port_->settings().section(u',', 0, 0);
    return true;
}

bool SerialTransport::write(const QByteArray &frame) {
    return port_->discardInput() && port_->write(frame);
}

void SerialTransport::reopen() {
    if (port_->isOpen())
        return;
    // The unit at the end of a port that came back may be another one.
    if (!std::exchange(lost_, true))
        emit lost();
    if (port_->open()) // an unplugged adapter stays closed; the next tick tries again
        lost_ = false, emit back();
}

void SerialTransport::close(int drainMs) {
    if (!port_->isOpen())
        return;
    if (drainMs > 0)
        port_->drain(drainMs);
    port_->close();
}

QString SerialTransport::description() const {
    return QStringLiteral("%1 at %2").arg(port_->portName(), port_->settings().section(u',', 0, 0));
}

QString SerialTransport::failureReason() const {
    if (rateRefused_)
        return QStringLiteral("The port does not take the rate %1.").arg(target_.baud);
    return port_->openFailureReason();
}

QString SerialTransport::failureText() const {
    return QStringLiteral("cannot open %1: %2").arg(target_.port, failureReason());
}

TcpTransport::TcpTransport(LinkTarget target, std::unique_ptr<TcpClientComponent> tcp,
                           QObject *parent)
    : Transport(std::move(target), parent), tcp_(std::move(tcp)) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &TcpTransport::tryAgain);
    connect(tcp_.get(), &TcpClientComponent::readyRead, this, &Transport::readyRead);
    connect(tcp_.get(), &TcpClientComponent::stateChanged, this, &TcpTransport::connectionChanged);
    connect(tcp_.get(), &TcpClientComponent::error, this, [this](int, const QString &description) {
        lastError_ = description;
        // A try that fails while the line is being brought back is expected.
        if (!retrying())
            emit error(description);
    });
}

bool TcpTransport::open() {
    closing_ = false;
    tcp_->remoteHost = target_.host;
    tcp_->remotePort = target_.tcpPort;
    tcp_->connectToRemote();
    return true;
}

void TcpTransport::connectionChanged() {
    if (ready()) {
        pauseMs_ = FirstRetryMs;
        const bool cameBack = std::exchange(retrying_, false);
        wasUp_ = true;
        emit stateChanged();
        if (cameBack)
            emit back();
        return;
    }
    emit stateChanged();
    if (!wasUp_ || closing_ || retry_.isActive())
        return;
    // Components report every step (closing, closed, error); one pause follows them all.
    const int state = tcp_->state();
    if (state != TcpClientComponent::StateClosed && state != 8 && state != 9)
        return;
    if (!std::exchange(retrying_, true))
        emit lost();
    retry_.start(pauseMs_);
    pauseMs_ = std::min(pauseMs_ * 2, LastRetryMs);
}

void TcpTransport::tryAgain() {
    if (closing_)
        return;
    tcp_->close();
    tcp_->connectToRemote();
}

void TcpTransport::close(int drainMs) {
    closing_ = true;
    retry_.stop();
    retrying_ = false;
    if (drainMs > 0)
        tcp_->drain(drainMs);
    tcp_->close();
}

QString TcpTransport::description() const {
    return QStringLiteral("%1:%2").arg(target_.host).arg(target_.tcpPort);
}

QString TcpTransport::failureReason() const {
    return lastError_.isEmpty() ? QStringLiteral("no answer") : lastError_;
}

QString TcpTransport::failureText() const {
    return QStringLiteral("cannot connect to %1:%2: %3")
        .arg(target_.host)
        .arg(target_.tcpPort)
        .arg(failureReason());
}

} // namespace zor
