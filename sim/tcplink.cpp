#include "sim/tcplink.h"

#include "link/framecodec.h"
#include "sim/clock.h"
#include "sim/linksession.h"
#include "sim/simulator.h"

#include <QTcpSocket>

namespace zor::sim {

TcpLink::TcpLink(Simulator &sim, int statusPeriodMs, QObject *parent) : QObject(parent), sim_(sim) {
    connect(&server_, &QTcpServer::newConnection, this, &TcpLink::accept);
    period_.setInterval(std::max(1, statusPeriodMs));
    connect(&period_, &QTimer::timeout, this, &TcpLink::markAllDue);
    connect(&sim_, &Simulator::ticked, this, &TcpLink::check);
}

TcpLink::~TcpLink() {
    for (auto &client : clients_) {
        if (client.socket)
            client.socket->disconnect(this);
    }
}

bool TcpLink::listen(quint16 port, QString *error) {
    if (!server_.listen(QHostAddress::LocalHost, port)) {
        *error = server_.errorString();
        return false;
    }
    period_.start();
    return true;
}

QByteArray TcpLink::statusText(const DeviceModel::Status &status) {
    const auto flag = [](bool b) { return b ? '1' : '0'; };
    return QByteArray("ST,") + flag(status.hvOn) + ',' + flag(status.interlockOpen) + ',' +
           flag(status.supplyFault) + ',';
}

void TcpLink::accept() {
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        if (static_cast<int>(clients_.size()) >= MaxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *session = new LinkSession(
            sim_, FrameReader::Framing::Network, "tcp",
            [socket = QPointer<QTcpSocket>(socket)](const QByteArray &bytes) {
                // A client that never reads does not get to grow our memory.
                if (socket && socket->state() == QAbstractSocket::ConnectedState &&
                    socket->bytesToWrite() < MaxUnsent)
                    socket->write(bytes);
            },
            socket);
        session->setTrailer([this, socket = QPointer<QTcpSocket>(socket)] {
            for (auto &client : clients_) {
                if (client.socket == socket)
                    return takeStatus(client);
            }
            return QByteArray();
        });
        // Qt keeps at most this much unread; a flood then waits in the kernel.
        socket->setReadBufferSize(64 * 1024);
        clients_.push_back(Client{socket, session, {}, true, sim_.now()});
        connect(socket, &QTcpSocket::readyRead, session,
                [socket, session] { session->feed(socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            std::erase_if(clients_, [socket](const Client &c) { return c.socket == socket; });
            socket->deleteLater();
        });
    }
}

void TcpLink::markAllDue() {
    const qint64 now = sim_.now();
    for (auto &client : clients_) {
        if (!client.due) {
            client.due = true;
            client.dueSinceMs = now;
        }
    }
}

// Empty unless the status message is overdue enough to ride along with a reply.
QByteArray TcpLink::takeStatus(Client &client) {
    if (!client.due || sim_.shaper().settings().silent ||
        sim_.now() - client.dueSinceMs < MaxStatusDelayMs)
        return {};
    client.due = false;
    client.lastSent = sim_.model().status();
    return ProcessOutputString(statusText(client.lastSent), true);
}

void TcpLink::check() {
    const qint64 now = sim_.now();
    const auto status = sim_.model().status();
    for (auto &client : clients_) {
        if (!client.socket || client.socket->state() != QAbstractSocket::ConnectedState)
            continue;
        if (!client.due && status != client.lastSent) {
            client.due = true;
            client.dueSinceMs = now;
        }
        // A hung supply sends nothing at all.
        if (!client.due || sim_.shaper().settings().silent)
            continue;
        const LinkSession &session = *client.session;
        const bool quiet = !session.replyPending() && !session.midFrame() &&
                           client.socket->bytesAvailable() == 0 &&
                           now - session.lastActivityMs() >= QuietMs;
        if (!quiet)
            continue;
        client.due = false;
        client.lastSent = status;
        client.session->sendUnsolicited(ProcessOutputString(statusText(status), true));
    }
}

} // namespace zor::sim
