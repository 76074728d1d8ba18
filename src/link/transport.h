#pragma once

#include "link/framecodec.h"
#include "platform/serialport.h"
#include "platform/tcpclient.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

namespace zor {

inline const QString LinkEthernet = QStringLiteral("ethernet");

// A supply to open: a serial port or an address on the network. The console's
// Ports menu, the command lines of the console and zor-ctl, the tools and the
// tests all name one this way.
struct LinkTarget {
    QString port; // a number as in the Ports menu or a device path; empty for TCP
    QString baud; // "115200" or "9600"; empty keeps the port's own settings
    QString host; // empty for a serial port
    int tcpPort = 0;
    // The link mode a serial port is opened as: "comm1", "comm2" or "USB".
    QString mode = QStringLiteral("comm1");

    bool given() const { return !port.isEmpty() || !host.isEmpty(); }
    bool network() const { return !host.isEmpty(); }
    static LinkTarget serial(const QString &port, const QString &baud = {},
                             const QString &mode = QStringLiteral("comm1")) {
        return {port, baud, {}, 0, mode};
    }
    static LinkTarget tcp(const QString &host, int port) { return {{}, {}, host, port}; }
};

// One way to the supply, as the link uses it: whatever differs between a
// serial line and a network connection lives behind this.
class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Frames take the network's form (ETX-terminated), and the supply also
    // sends status messages on its own.
    virtual bool network() const = 0;
    char terminator() const { return network() ? ETX : LF; }
    // Open, or connected.
    virtual bool ready() const = 0;
    // Writes one frame; a late reply still in the input is thrown away first,
    // so it cannot be taken for this frame's. False when nothing went out.
    virtual bool write(const QByteArray &frame) = 0;
    // Everything arrived so far; nullopt when the transport cannot be read.
    virtual std::optional<QByteArray> read() = 0;
    // After a whole reply: what came with it, and what follows it.
    virtual QByteArray rest() { return {}; }
    virtual QByteArray leftover() { return {}; }
    // Throws away unread input.
    virtual void discardInput() {}
    // A port that comes and goes (an unplugged adapter) is watched and reopened.
    virtual bool watched() const { return false; }
    virtual void reopen() {}
    // Pushes out what is pending (at most `ms`), then closes.
    virtual void close(int drainMs = 0) = 0;

signals:
    void readyRead();
    // The connection came or went.
    void stateChanged();
};

class SerialTransport : public Transport {
public:
    explicit SerialTransport(SerialPortComponent &port, QObject *parent = nullptr);
    bool network() const override { return false; }
    bool ready() const override { return port_.isOpen(); }
    bool write(const QByteArray &frame) override;
    std::optional<QByteArray> read() override { return port_.readAll(); }
    QByteArray rest() override { return port_.readAll().value_or(QByteArray()); }
    QByteArray leftover() override { return port_.readAll().value_or(QByteArray()); }
    void discardInput() override { port_.discardInput(); }
    bool watched() const override { return true; }
    void reopen() override;
    void close(int drainMs = 0) override;

private:
    SerialPortComponent &port_;
};

class NetworkTransport : public Transport {
public:
    explicit NetworkTransport(TcpClientComponent &tcp, QObject *parent = nullptr);
    bool network() const override { return true; }
    bool ready() const override { return tcp_.state() == TcpClientComponent::StateConnected; }
    bool write(const QByteArray &frame) override { return tcp_.send(frame); }
    std::optional<QByteArray> read() override { return tcp_.getData(); }
    void close(int drainMs = 0) override;

private:
    TcpClientComponent &tcp_;
};

} // namespace zor
