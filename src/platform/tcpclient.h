#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace zor {

// The TCP client component. State numbers follow the classic socket control:
// 0 closed, 3 connection pending, 4 resolving host, 6 connecting, 7 connected,
// 8 peer is closing, 9 error.
class TcpClientComponent : public QObject {
    Q_OBJECT
public:
    static constexpr int StateClosed = 0;
    static constexpr int StateConnected = 7;

    using QObject::QObject;
    ~TcpClientComponent() override = default;

    QString remoteHost;
    int remotePort = 0;

    virtual void connectToRemote() = 0;
    virtual int state() const = 0;
    // False when there is no connection; nothing is sent then.
    virtual bool send(const QByteArray &data) = 0;
    virtual QByteArray getData() = 0;
    virtual void close() = 0;
    virtual void drain(int timeoutMs) = 0;

signals:
    void readyRead();
    void stateChanged();
    void error(int number, const QString &description);
};

} // namespace zor
