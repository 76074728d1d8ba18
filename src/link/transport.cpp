#include "link/transport.h"

namespace zor {

SerialTransport::SerialTransport(SerialPortComponent &port, QObject *parent)
    : Transport(parent), port_(port) {
    connect(&port_, &SerialPortComponent::readyRead, this, &Transport::readyRead);
}

bool SerialTransport::write(const QByteArray &frame) {
    return port_.discardInput() && port_.write(frame);
}

void SerialTransport::reopen() {
    if (!port_.isOpen())
        port_.open(); // an unplugged adapter stays closed; the next tick tries again
}

void SerialTransport::close(int drainMs) {
    if (!port_.isOpen())
        return;
    if (drainMs > 0)
        port_.drain(drainMs);
    port_.close();
}

NetworkTransport::NetworkTransport(TcpClientComponent &tcp, QObject *parent)
    : Transport(parent), tcp_(tcp) {
    connect(&tcp_, &TcpClientComponent::readyRead, this, &Transport::readyRead);
    connect(&tcp_, &TcpClientComponent::stateChanged, this, &Transport::stateChanged);
}

void NetworkTransport::close(int drainMs) {
    if (drainMs > 0)
        tcp_.drain(drainMs);
    tcp_.close();
}

} // namespace zor
