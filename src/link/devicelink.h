#pragma once

#include "link/portfactory.h"
#include "platform/timer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

namespace zor {

inline const QString LinkEthernet = QStringLiteral("ethernet");

// How one exchange ended, as the traffic trace and the link state see it.
enum class ExchangeOutcome {
    Ok,
    Refused,   // a write the supply answered with "1"
    TimeOut,   // no terminator within the limit, or the port could not be read
    Garbled,   // a terminator, but no STX in front
    SentAlone, // no reply was asked for
};

// The console's only path to the supply: one request/reply exchange at a time
// over the chosen transport, the reply timers, the serial-port watchdog and the
// command bracket every handler runs in.
class DeviceLink : public QObject {
    Q_OBJECT
public:
    static constexpr int ReplyLimitMs = 1000;
    // A reply is a few dozen characters; noise beyond this is read and dropped.
    static constexpr qsizetype MaxReplyBytes = 1 << 20;

    explicit DeviceLink(const PortFactory &factory, QObject *parent = nullptr);
    ~DeviceLink() override;

    // "comm1", "comm2", "USB", "ethernet", or empty before the first choice.
    QString linkMode;
    // Polling is on: the bracket stops and restarts the poll timer.
    bool autoUpdate = false;
    bool isEthernet() const { return linkMode == LinkEthernet; }

    SerialPortComponent &MSComm1() { return *serial_; }
    TcpClientComponent &tcpClient() { return *tcp_; }

    Timer tmr_RCVTIMER{1000};
    Timer tmr_NETRCVTMR{1};
    Timer tmr_COMMWDT{5000};
    // The poll timer belongs to the main window; the bracket only stops and restarts it.
    void setPollTimer(Timer *timer) { pollTimer_ = timer; }

    // Frames a payload and writes it to the active transport.
    void outputOutputString(const QByteArray &payload);
    // Collects one reply, framing included; empty when nothing came within 1.0 s.
    QByteArray inputInputString();
    QByteArray exchange(const QByteArray &payload) {
        outputOutputString(payload);
        return inputInputString();
    }

    // Runs a command handler inside the command bracket. A handler started while
    // another exchange is waiting for its reply is held and run right after it,
    // in order; it is dropped only if its owner window is gone by then.
    void command(QObject *owner, std::function<void()> body);
    // A command that must not wait behind others (switching the high voltage
    // off): while an exchange waits it runs right after that exchange's reply,
    // before the rest of that handler and before anything held.
    void commandFirst(std::function<void()> body);
    // A send without reply and without bracket, held like a command while an
    // exchange is waiting so it cannot take that exchange's reply.
    void sendAlone(QObject *owner, const QByteArray &payload);
    // Runs fn once no handler is running (at once when idle).
    void whenIdle(std::function<void()> fn);
    bool busy() const { return depth_ > 0; }
    // An exchange is waiting for its reply and the caller is an event served
    // inside that wait: anything it sends now would be held.
    bool exchangeWaiting() const { return mustHold(); }
    int heldCount() const { return static_cast<int>(held_.size()); }

    void tmr_RCVTIMER_Timer();
    void tmr_COMMWDT_Timer();
    void tmr_NETRCVTMR_Timer();

    // Closes the transports, pushing out what is still pending first.
    // The active transport is open (serial) or connected (network).
    bool transportOpen() const;
    void closeSerial();
    void closeTcp();

signals:
    void transmitted(const QByteArray &frame);
    void received(const QByteArray &reply);
    void serialLeftover(const QByteArray &text);
    // A whole status message the supply sent on its own over the network.
    void networkStatus(const QByteArray &text);
    void tcpError(const QString &description);
    // One per finished exchange (and per send that asked for no reply).
    void exchanged(const QByteArray &payload, const QByteArray &reply, qint64 durationMs,
                   zor::ExchangeOutcome outcome);

private:
    friend class CommandBracket;
    struct Held {
        QPointer<QObject> owner;
        bool hasOwner;
        std::function<void()> body;
        bool bracketed;
    };

    bool mustHold() const;
    void execute(std::function<void()> &body, bool bracketed);
    void runHeld();
    void hold(QObject *owner, std::function<void()> body, bool bracketed);
    void runUrgent();
    // Reports a send whose reply nobody collected.
    void flushSentAlone();
    // Sleeps until the transport has data or the deadline passes; false when the
    // application is quitting and no further waiting is possible.
    bool waitForData(qint64 remainingMs);
    QByteArray receiveSerial(bool &failed);
    QByteArray receiveNetwork(bool &failed);

    std::unique_ptr<SerialPortComponent> serial_;
    std::unique_ptr<TcpClientComponent> tcp_;
    Timer *pollTimer_ = nullptr;
    int depth_ = 0;
    int loopLevelAtStart_ = 0;
    bool running_held_ = false;
    std::deque<Held> held_;
    std::deque<std::function<void()>> idle_;
    QByteArray networkPending_;
    QEventLoop *waitLoop_ = nullptr;
    std::deque<std::function<void()>> urgent_;
    QByteArray sentPayload_;
    bool sentPending_ = false;
    QElapsedTimer sentClock_;
};

// Stops the reply and poll timers for a handler's exchanges and restarts them
// when it leaves, whichever way it leaves.
class CommandBracket {
public:
    explicit CommandBracket(DeviceLink &link);
    ~CommandBracket();
    CommandBracket(const CommandBracket &) = delete;
    CommandBracket &operator=(const CommandBracket &) = delete;

private:
    DeviceLink &link_;
};

} // namespace zor
