#include "platform/qttcpclient.h"

#include <QDeadlineTimer>
#include <poll.h>
#include <sys/socket.h>

namespace zor {

QtTcpClient::QtTcpClient(QObject *parent) : TcpClientComponent(parent) {
    connect(&socket_, &QTcpSocket::readyRead, this, &TcpClientComponent::readyRead);
    connect(&socket_, &QTcpSocket::stateChanged, this, &TcpClientComponent::stateChanged);
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        emit error(static_cast<int>(e), socket_.errorString());
    });
}

void QtTcpClient::connectToRemote() {
    socket_.abort();
    socket_.connectToHost(remoteHost, static_cast<quint16>(remotePort));
}

int QtTcpClient::state() const {
    switch (socket_.state()) {
    case QAbstractSocket::UnconnectedState:
        return socket_.error() == QAbstractSocket::UnknownSocketError ? 0 : 9;
    case QAbstractSocket::HostLookupState:
        return 4;
    case QAbstractSocket::ConnectingState:
        return 6;
    case QAbstractSocket::ConnectedState:
        return StateConnected;
    case QAbstractSocket::BoundState:
        return 1;
    case QAbstractSocket::ListeningState:
        return 2;
    case QAbstractSocket::ClosingState:
        return 8;
    }
    return 9;
}

bool QtTcpClient::send(const QByteArray &data) {
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return false;
    if (socket_.write(data) != data.size())
        return false;
    socket_.flush();
    return true;
}

QByteArray QtTcpClient::getData() {
    return socket_.readAll();
}

void QtTcpClient::close() {
    if (socket_.state() == QAbstractSocket::ConnectedState) {
        drain(500);
        awaitPeerClose(200);
    }
    socket_.close();
}

void QtTcpClient::awaitPeerClose(int timeoutMs) {
    // Closing with bytes unread resets the connection, and a terminal server
    // then drops what it has not yet passed on to its serial line, such as
    // the last command. So this end stops sending first and reads (and drops)
    // until the other end has closed too.
    const int fd = static_cast<int>(socket_.socketDescriptor());
    if (fd < 0 || ::shutdown(fd, SHUT_WR) != 0)
        return;
    const QDeadlineTimer deadline(timeoutMs);
    char buf[4096];
    pollfd readable{fd, POLLIN, 0};
    while (::poll(&readable, 1, static_cast<int>(deadline.remainingTime())) > 0 &&
           ::recv(fd, buf, sizeof buf, 0) > 0) {
    }
}

void QtTcpClient::drain(int timeoutMs) {
    if (socket_.state() == QAbstractSocket::ConnectedState && socket_.bytesToWrite() > 0)
        socket_.waitForBytesWritten(timeoutMs);
}

} // namespace zor
