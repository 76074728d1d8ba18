#pragma once

#include "sim/devicemodel.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <vector>

class QTcpSocket;

namespace zor::sim {

class LinkSession;
class Simulator;

// The network side: a TCP server on 127.0.0.1 only. Besides answering, it sends
// each client the status message "ST,h,i,f," in a network frame: character 5
// (counting the STX as 1) is the high voltage, 7 the interlock, 9 a supply
// fault. It goes out once per status period and whenever one of them changes.
class TcpLink : public QObject {
    Q_OBJECT

public:
    static constexpr int MaxClients = 8;
    // The status message waits for a pause in the conversation, so that it does
    // not land where the console expects the reply to a command it just sent.
    static constexpr int QuietMs = 30;
    // ... but not for ever: past this it rides along with the next reply.
    static constexpr int MaxStatusDelayMs = 500;
    static constexpr qint64 MaxUnsent = 256 * 1024;

    TcpLink(Simulator &sim, int statusPeriodMs, QObject *parent = nullptr);
    ~TcpLink() override;

    bool listen(quint16 port, QString *error);
    quint16 port() const { return server_.serverPort(); }

    static QByteArray statusText(const DeviceModel::Status &status);

private:
    struct Client {
        QPointer<QTcpSocket> socket;
        LinkSession *session = nullptr;
        DeviceModel::Status lastSent;
        bool due = true;
        qint64 dueSinceMs = 0;
    };

    void accept();
    void check();
    QByteArray takeStatus(Client &client);
    void markAllDue();

    Simulator &sim_;
    QTcpServer server_;
    QTimer period_;
    std::vector<Client> clients_;
};

} // namespace zor::sim
