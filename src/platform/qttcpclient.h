#pragma once

#include "platform/tcpclient.h"

#include <QTcpSocket>

namespace zor {

// TCP client component over QTcpSocket.
class QtTcpClient final : public TcpClientComponent {
    Q_OBJECT
public:
    explicit QtTcpClient(QObject *parent = nullptr);

    void connectToRemote() override;
    int state() const override;
    bool send(const QByteArray &data) override;
    QByteArray getData() override;
    void close() override;
    void drain(int timeoutMs) override;

private:
    // Ends the sending side and waits (at most `timeoutMs`) for the peer to close.
    void awaitPeerClose(int timeoutMs);
    QTcpSocket socket_;
};

} // namespace zor
