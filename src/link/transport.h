#pragma once

#include "link/framecodec.h"
#include "platform/serialport.h"
#include "platform/tcpclient.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

namespace zor {

// How the supply is reached: a serial port, the supply's own network side, or
// its serial line served over TCP by a terminal server.
enum class LinkKind { Serial, Network, SerialOverTcp };

inline const QString LinkEthernet = QStringLiteral("ethernet");

// The kinds reached at a TCP address, as command lines and the remembered
// link name them.
struct TcpKindName {
    LinkKind kind;
    const char *option; // the command-line option taking HOST:PORT
    const char *help;
};
inline constexpr TcpKindName TcpKinds[] = {
    {LinkKind::Network, "host", "The supply at HOST:PORT over TCP."},
    {LinkKind::SerialOverTcp, "serial-over-tcp",
     "The supply's serial line, served at HOST:PORT by a terminal server."},
};

// A supply to open. The console's Ports menu, the command lines of the console
// and zor-ctl, the tools and the tests all name one this way.
struct LinkTarget {
    LinkKind kind = LinkKind::Serial;
    QString port; // a number as in the Ports menu or a device path; serial only
    QString baud; // "115200" or "9600"; empty keeps the port's own settings
    QString host; // the address of a kind over TCP
    int tcpPort = 0;
    // The Ports entry a serial port is opened from: "comm1", "comm2" or "USB".
    QString mode = QStringLiteral("comm1");

    bool overTcp() const { return kind != LinkKind::Serial; }
    bool given() const { return overTcp() ? !host.isEmpty() : !port.isEmpty(); }
    // The link mode the console names it by: "comm1", "comm2", "USB" or "ethernet".
    QString linkMode() const {
        switch (kind) {
        case LinkKind::Serial:
            return mode;
        case LinkKind::Network:
            return LinkEthernet;
        case LinkKind::SerialOverTcp:
            return QStringLiteral("serial over tcp");
        }
        return mode;
    }
    static LinkTarget serial(const QString &port, const QString &baud = {},
                             const QString &mode = QStringLiteral("comm1")) {
        return {LinkKind::Serial, port, baud, {}, 0, mode};
    }
    static LinkTarget tcp(const QString &host, int port, LinkKind kind = LinkKind::Network) {
        return {kind, {}, {}, host, port};
    }
};

// One way to the supply, as the link uses it: whatever differs between the
// kinds (framing, which timer reads between commands, how a lost line comes
// back, how it is described) lives behind this.
class Transport : public QObject {
    Q_OBJECT
public:
    explicit Transport(LinkTarget target, QObject *parent = nullptr)
        : QObject(parent), target_(std::move(target)) {}

    const LinkTarget &target() const { return target_; }
    // Frames take the network's form (ETX-terminated) rather than the serial one.
    virtual bool networkFrames() const = 0;
    // The supply sends status messages on its own, read between commands by
    // the status timer instead of the reply timer.
    virtual bool sendsStatus() const { return false; }
    // On connecting it may hand over what the supply sent while nobody
    // listened (a terminal server keeps its serial line's bytes).
    virtual bool handsOverBacklog() const { return false; }
    char terminator() const { return networkFrames() ? ETX : LF; }
    QByteArray frame(const QByteArray &payload) const {
        return ProcessOutputString(payload, networkFrames());
    }

    // Starts opening; false when that failed at once. A connection may come later.
    virtual bool open() = 0;
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

    // The line settings ("9600,n,8,1") of a serial port; empty otherwise.
    virtual QString settings() const { return {}; }
    // As the event log names it: "1 at 9600", "host:5025".
    virtual QString description() const = 0;
    // Why the last open failed, for the operator; empty when unknown.
    virtual QString failureReason() const = 0;
    // The same as one line for a script.
    virtual QString failureText() const = 0;

signals:
    void readyRead();
    // The connection came or went.
    void stateChanged();
    // An error a network component raised, in its words.
    void error(const QString &description);
    // A line that was up went down, and is being tried again; it came back.
    void lost();
    void back();

protected:
    LinkTarget target_;
};

class SerialTransport : public Transport {
public:
    SerialTransport(LinkTarget target, std::unique_ptr<SerialPortComponent> port,
                    QObject *parent = nullptr);
    bool networkFrames() const override { return false; }
    bool open() override;
    bool ready() const override { return port_->isOpen(); }
    bool write(const QByteArray &frame) override;
    std::optional<QByteArray> read() override { return port_->readAll(); }
    QByteArray rest() override { return port_->readAll().value_or(QByteArray()); }
    QByteArray leftover() override { return port_->readAll().value_or(QByteArray()); }
    void discardInput() override { port_->discardInput(); }
    bool watched() const override { return true; }
    void reopen() override;
    void close(int drainMs = 0) override;
    QString settings() const override { return port_->settings(); }
    QString description() const override;
    QString failureReason() const override;
    QString failureText() const override;
    // The serial component, under its system name.
    SerialPortComponent &MSComm1() { return *port_; }

private:
    std::unique_ptr<SerialPortComponent> port_;
    // A rate the port would not take: nothing is opened at the old one.
    bool rateRefused_ = false;
    // The watchdog found the port closed and has not yet opened it again.
    bool lost_ = false;
};

// A TCP connection that, once it was up, comes back by itself: the same
// address is tried again after a pause growing from 1 s to 10 s.
class TcpTransport : public Transport {
public:
    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 10000;

    TcpTransport(LinkTarget target, std::unique_ptr<TcpClientComponent> tcp,
                 QObject *parent = nullptr);
    // A socket still connected reports its closing as it is destroyed, when
    // this object is no longer whole enough to hear it.
    ~TcpTransport() override { tcp_->disconnect(this); }
    bool open() override;
    bool ready() const override { return tcp_->state() == TcpClientComponent::StateConnected; }
    bool write(const QByteArray &frame) override { return tcp_->send(frame); }
    std::optional<QByteArray> read() override { return tcp_->getData(); }
    void close(int drainMs = 0) override;
    QString description() const override;
    QString failureReason() const override;
    QString failureText() const override;
    bool retrying() const { return retry_.isActive() || retrying_; }
    // The TCP component, under its system name.
    TcpClientComponent &tcpClient() { return *tcp_; }

protected:
    std::unique_ptr<TcpClientComponent> tcp_;

private:
    void connectionChanged();
    void tryAgain();

    QString lastError_;
    bool wasUp_ = false;
    bool closing_ = false;
    bool retrying_ = false;
    int pauseMs_ = FirstRetryMs;
    QTimer retry_;
};

// The supply's own network side: ETX frames, and status messages it sends unasked.
class NetworkTransport : public TcpTransport {
public:
    using TcpTransport::TcpTransport;
    bool networkFrames() const override { return true; }
    bool sendsStatus() const override { return true; }
};

// A serial line behind a terminal server: serial frames and replies over TCP,
// sent raw (no telnet option negotiation), so the server's line rate is its own.
class SerialOverTcpTransport : public TcpTransport {
public:
    using TcpTransport::TcpTransport;
    bool networkFrames() const override { return false; }
    bool handsOverBacklog() const override { return true; }
    bool write(const QByteArray &frame) override {
        discardInput(); // a late reply must not be taken for this frame's
        return tcp_->send(frame);
    }
    void discardInput() override { tcp_->getData(); }
    QString description() const override {
        return TcpTransport::description() + QStringLiteral(" (serial)");
    }
};

} // namespace zor
