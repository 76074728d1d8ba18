#pragma once

#include "link/portfactory.h"
#include "platform/timer.h"
#include "platform/wait.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

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
    // A reply still owed by a command that timed out may come this long after
    // that command went out; the next send waits it out (see drainLateReply).
    static constexpr int LateWindowMs = 2 * ReplyLimitMs;
    // Quiet time after a late reply before the line is taken to be clear.
    static constexpr int QuietGuardMs = 30;

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
    // in order; it is dropped only if its owner window is gone by then. A held
    // handler runs late, so it must carry the values of the moment it was asked
    // for, or re-check when it runs that what asked for it still holds.
    // Handlers given the same `tick` key (a timer's) are held at most once: a
    // tick that falls due while one is waiting is dropped, so a late tick runs
    // once, never as a burst.
    void command(QObject *owner, std::function<void()> body, const void *tick = nullptr);
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
    // The running handler's bracket leaves the reply and poll timers stopped.
    void leaveTimersStopped() { keepStopped_ = true; }

    // The console is ending: held handlers are dropped, a wait in progress ends
    // as soon as it can, and from now on only sends made inside a FinalSends
    // scope reach the wire; any other exchange returns an empty reply at once.
    void beginShutdown();
    bool shuttingDown() const { return shuttingDown_; }
    class FinalSends {
    public:
        explicit FinalSends(DeviceLink &link) : link_(link), outer_(link.finalSends_) {
            link_.finalSends_ = true;
        }
        ~FinalSends() { link_.finalSends_ = outer_; }
        FinalSends(const FinalSends &) = delete;
        FinalSends &operator=(const FinalSends &) = delete;

    private:
        DeviceLink &link_;
        bool outer_;
    };

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
    // Bytes that arrived for a command other than the one waiting (a reply
    // after its command's time-out, or one whose shape cannot belong to the
    // command waiting) and were thrown away.
    void lateReplyDiscarded(const QByteArray &bytes);
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
        const void *tick;
    };

    bool mustHold() const;
    void execute(std::function<void()> &body, bool bracketed);
    void runHeld();
    void runUrgent();
    // Reports a send whose reply nobody collected.
    void flushSentAlone();
    // Sleeps until the transport has data or the deadline passes; false when the
    // application is quitting and no further waiting is possible.
    bool waitForData(qint64 remainingMs);
    QByteArray receiveSerial(bool &failed);
    QByteArray receiveNetwork(bool &failed);
    bool gated() const { return shuttingDown_ && !finalSends_; }
    // Reads what has arrived on the active transport; nullopt when it cannot be read.
    std::optional<QByteArray> readArrived();
    void drainLateReply();
    // Takes the first whole reply out of `reply` when it cannot answer the
    // command waiting; true when it did.
    bool dropForeignReply(QByteArray &reply, char terminator);

    std::unique_ptr<SerialPortComponent> serial_;
    std::unique_ptr<TcpClientComponent> tcp_;
    Timer *pollTimer_ = nullptr;
    int depth_ = 0;
    int loopLevelAtStart_ = 0;
    bool running_held_ = false;
    std::deque<Held> held_;
    std::deque<std::function<void()>> idle_;
    QByteArray networkPending_;
    Wait wait_;
    std::deque<std::function<void()>> urgent_;
    QByteArray sentPayload_;
    bool sentPending_ = false;
    QElapsedTimer sentClock_;
    QElapsedTimer clock_;
    QByteArray lastPayload_;
    qint64 sentAtMs_ = 0;
    // While set, a reply owed by a timed-out command may still come until then.
    qint64 lateUntilMs_ = -1;
    bool keepStopped_ = false;
    bool shuttingDown_ = false;
    bool finalSends_ = false;
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
