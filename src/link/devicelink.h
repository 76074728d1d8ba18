#pragma once

#include "link/portfactory.h"
#include "link/transport.h"
#include "link/wake.h"
#include "platform/timer.h"

#include <QByteArray>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zor {

// An operation that waits for the link: C++20 coroutines over the application's
// one event loop.
template <typename T = void> using Task = QCoro::Task<T>;

// How one exchange ended, as the traffic trace and the link state see it.
enum class ExchangeOutcome {
    Ok,
    Refused,   // a write the supply answered with "1"
    TimeOut,   // no terminator within the limit, or the port could not be read
    Garbled,   // a terminator, but no STX in front
    SentAlone, // no reply was asked for
    NotSent,   // an on not written: an off was asked since the on was
};

// The payload switches the high voltage on ("ENBL 1;"; "ENBL 0;" does not).
bool switchesOn(const QByteArray &payload);

// The console's only path to the supply: one request/reply exchange at a time
// over the chosen transport, the reply timers, the serial-port watchdog and the
// command bracket every handler runs in.
//
// Nothing waits in a nested event loop. A command is a coroutine queued here
// and run after the ones before it; its exchanges suspend it until the reply
// (or the 1.0 s limit) comes, and the application's loop serves clicks, timers
// and boxes meanwhile. Switching the high voltage off does not queue: it goes
// out as soon as the exchange in flight ends, ahead of everything else.
//
// Every byte is read as it arrives, command waiting or not, and stamped with
// its arrival time: a reply owed is settled by when its terminator came, and
// the quiet after it counts from the last byte's arrival.
class DeviceLink : public QObject {
    Q_OBJECT
public:
    static constexpr int ReplyLimitMs = 1000;
    // A reply is a few dozen characters; noise beyond this is read and dropped.
    static constexpr qsizetype MaxReplyBytes = 1 << 20;
    // A reply still owed by a command that timed out, or by one sent without
    // collecting its reply, may come this long after that command went out;
    // the next send waits it out (see drainLateReply).
    static constexpr int LateWindowMs = 2 * ReplyLimitMs;
    // Quiet time after a late reply before the line is taken to be clear.
    static constexpr int QuietGuardMs = 30;

    using Body = std::function<Task<>()>;

    explicit DeviceLink(const PortFactory &factory, QObject *parent = nullptr);
    ~DeviceLink() override;

    // How long open() waits for a network connection.
    static constexpr int ConnectLimitMs = 10000;

    // "comm1", "comm2", "USB", "ethernet", or empty before the first choice
    // and after close().
    QString linkMode() const { return chosen_ ? transport_->target().linkMode() : QString(); }
    // What was chosen last (its rate as the port took it), whether or not it is open.
    const LinkTarget &target() const { return transport_->target(); }
    // Polling is on: the bracket stops and restarts the poll timer.
    bool autoUpdate = false;

    // The link owns the serial reply timer, the network status timer and the
    // watchdog, because its command bracket stops and restarts them.
    Timer &replyTimer() { return tmr_RCVTIMER; }
    Timer &statusTimer() { return tmr_NETRCVTMR; }
    Timer &watchdog() { return tmr_COMMWDT; }
    const Timer &replyTimer() const { return tmr_RCVTIMER; }
    const Timer &statusTimer() const { return tmr_NETRCVTMR; }
    // The poll timer belongs to the main window; the bracket only stops and restarts it.
    void setPollTimer(Timer *timer) { pollTimer_ = timer; }
    Timer *pollTimer() const { return pollTimer_; }

    // Queues a command: its body runs inside the command bracket once the
    // commands before it have ended, and is dropped if its owner is gone by
    // then. The link keeps the body alive until it has run, so a coroutine
    // lambda may use what it captured. Bodies given the same `tick` key (a
    // timer's) are queued at most once: a late tick runs once, never as a burst.
    void command(QObject *owner, Body body, const void *tick = nullptr);
    // The same, awaited: resumes the caller from the event loop once the body
    // has run or was dropped.
    Task<> run(QObject *owner, Body body);

    // Inside a command body: frames a payload and writes it, after waiting out
    // a reply still owed on the line. A payload that switches on is written
    // only if the off count is still `offSeen` (the count when the on was
    // asked) once every wait is over; else it is not written (NotSent).
    Task<> outputOutputString(QByteArray payload, std::optional<quint64> offSeen = {});
    // Collects one reply, framing included; empty when nothing came within 1.0 s.
    Task<QByteArray> inputInputString();
    Task<QByteArray> exchange(QByteArray payload, std::optional<quint64> offSeen = {});
    // The last payload given to outputOutputString() was not written.
    bool lastNotSent() const { return notSent_; }
    // A send whose reply is not collected. Whether the unit answers a command
    // of that name is learnt on each open: once it has answered, its reply is
    // owed and the next send waits for it; silent through a whole window, it
    // is not waited for again (stray bytes before the next write are dropped,
    // and the unit is asked to prove silent again).
    Task<> send(QByteArray payload);

    // Offs put through the off lane, and those noted without it.
    quint64 offsAsked() const { return offsAsked_; }
    // Counts an off that the caller sends otherwise (or not at all).
    void noteOffAsked() { ++offsAsked_; }

    // The off lane, each payload an off asked: `payload` goes out as soon as the wire is free (at
    // once when idle, else when the exchange in flight ends), before anything queued, before any
    // drain and before the next step of the command in progress. `done` gets its reply. Ignored
    // once the console is ending, whose own sequence switches off.
    void urgent(QByteArray payload, std::function<void(const QByteArray &)> done);

    // Runs fn once no command is running or queued (at once when idle).
    void whenIdle(std::function<void()> fn);
    bool busy() const { return running_; }
    // Nothing running, queued or on the wire.
    bool idle() const { return !driving_ && !urgentRunning_ && urgent_.empty() && !onWire_; }
    int queuedCount() const { return static_cast<int>(queue_.size()); }
    // The running command's bracket leaves the reply and poll timers stopped.
    void leaveTimersStopped() { keepStopped_ = true; }

    // The console is ending: queued commands are dropped, a wait in progress
    // ends as soon as it can, the off lane closes, and from now on only the
    // final commands reach the wire; any other exchange returns an empty reply
    // at once.
    void beginShutdown();
    bool shuttingDown() const { return shuttingDown_; }
    // A command of the closing sequence, run after the one in progress.
    void commandFinal(Body body);

    void tmr_RCVTIMER_Timer();
    void tmr_COMMWDT_Timer();
    void tmr_NETRCVTMR_Timer();

    // The one way the console, zor-ctl, the tools and the tests open the
    // supply: lets the transport in use go, sets the chosen one up and opens
    // it (a network connection is waited for, up to `connectLimitMs`, and a
    // later open() or close() ends that wait), then arms its receive timer and
    // makes it the link's. True once it is open (connected); a serial port
    // that will not open leaves no serial transport, and the caller decides
    // what to fall back to.
    Task<bool> open(LinkTarget target, int connectLimitMs = ConnectLimitMs);
    // Lets the transport go, pushing out what is pending for at most `drainMs`.
    void close(int drainMs = 0);
    // An open() still waiting for its connection gives up (returns false).
    void cancelOpen() {
        ++opening_;
        connecting_.wake();
    }
    // The transport in use is open (serial) or connected (network).
    bool transportOpen() const { return active().ready(); }
    // The line settings of a serial port in use ("9600,n,8,1"); empty otherwise.
    QString settings() const { return active().settings(); }
    // The transport in use as the event log names it.
    QString description() const { return active().description(); }
    // Why the last open() failed: in words for the operator, and as one line.
    QString openFailureReason() const { return failureReason_; }
    QString openFailureText() const { return failureText_; }

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
    // A network line that was up went down and is being tried again; it came back.
    void linkLost(const QString &description);
    void linkBack(const QString &description);
    // One per finished exchange (and per send that asked for no reply).
    void exchanged(const QByteArray &payload, const QByteArray &reply, qint64 durationMs,
                   zor::ExchangeOutcome outcome);
    // The transport in use was let go (open() or close()): whatever was known
    // of the unit behind it may no longer hold.
    void transportChanged();
    // open() has made a transport ready.
    void opened();
    // Bytes came in, at `atMs` on the link's clock.
    void arrived(qint64 atMs);

private:
    struct Queued {
        QPointer<QObject> owner;
        bool hasOwner;
        Body body;
        const void *tick;
        std::function<void()> ended;
    };
    struct Urgent {
        QByteArray payload;
        std::function<void(const QByteArray &)> done;
    };

    void enqueue(Queued entry);
    Task<> drive();
    void openBracket();
    void closeBracket();
    Task<> serveUrgent();
    Task<QByteArray> collect();
    // Cuts the reply at its terminator; whole status messages after it are told.
    void keepStatusAfterReply(QByteArray &reply, char terminator);
    // Writes a frame; the drain is the caller's.
    void write(const QByteArray &payload);
    void reportSentAlone();
    bool gated() const { return shuttingDown_ && !finalRunning_; }
    // Takes what has arrived on the active transport (arrivalMs_: when its
    // last byte came); nullopt when it cannot be read.
    std::optional<QByteArray> readArrived();
    // Moves what the transport holds into the inbox, stamped now.
    bool pull();
    void onReadyRead();
    // Throws away bytes that arrived before a write.
    void dropInbox();
    // Nothing from the transport left behind can belong to the next one.
    void resetLine();
    static QByteArray commandName(const QByteArray &payload);
    Task<> drainLateReply();
    // Takes the first whole reply out of `reply` when it cannot answer the
    // command waiting; true when it did.
    bool dropForeignReply(QByteArray &reply, char terminator);
    qint64 nowMs() const { return clock_.elapsed(); }
    // The last byte written or arrived, and when the command now running began.
    qint64 wireNs_ = -1;
    qint64 bracketNs_ = 0;

    // The transport that frames, reads and writes now.
    Transport &active() const;
    void letGo(int drainMs);
    // Makes `next` the transport in use; the one before, closed by now, is dropped.
    void adopt(std::unique_ptr<Transport> next);
    void armReceiveTimer();
    // A terminal server hands a new connection what the supply sent while
    // nobody listened, such as the reply to a command cut off by a drop; the
    // first send waits this long for it and drops it, so it is not taken for
    // that send's reply.
    static constexpr int HandoverMs = ReplyLimitMs / 4;
    void awaitHandover(const Transport &t);
    bool failed(const Transport &t);

    PortFactory factory_;
    Timer tmr_RCVTIMER{1000};
    Timer tmr_NETRCVTMR{1};
    Timer tmr_COMMWDT{5000};
    std::unique_ptr<Transport> transport_;
    std::vector<std::unique_ptr<Transport>> retired_;
    bool chosen_ = false;
    QString failureReason_;
    QString failureText_;
    Wake connecting_;
    quint64 opening_ = 0;
    Timer *pollTimer_ = nullptr;
    std::deque<Queued> queue_;
    std::deque<std::function<void()>> idle_;
    std::deque<Urgent> urgent_;
    bool driving_ = false;
    bool running_ = false;
    // An exchange, a send or a drain holds the wire.
    bool onWire_ = false;
    bool urgentRunning_ = false;
    // The command that wants the wire while the off lane has it.
    std::coroutine_handle<> wireWaiter_;
    struct WireFree {
        DeviceLink &link;
        bool await_ready() const noexcept { return !link.urgentRunning_; }
        void await_suspend(std::coroutine_handle<> h) { link.wireWaiter_ = h; }
        void await_resume() const noexcept {}
    };
    Wake wake_;
    QByteArray networkPending_;
    QElapsedTimer clock_;
    struct Arrival {
        QByteArray bytes;
        qint64 atMs;
    };
    std::deque<Arrival> inbox_;
    qsizetype inboxBytes_ = 0;
    qint64 arrivalMs_ = -1;
    // Send-only commands by name: true answered on this open, false silent
    // through a whole window.
    QHash<QByteArray, bool> answers_;
    // The send-only command whose reply is owed now (empty: a timed-out exchange's).
    QByteArray owedBy_;
    // A command learnt silent went out last: bytes before the next write unlearn it.
    QByteArray silentSent_;
    quint64 offsAsked_ = 0;
    bool notSent_ = false;
    QByteArray lastPayload_;
    qint64 sentAtMs_ = 0;
    // While set, a reply owed by an earlier command may still come until then.
    qint64 lateUntilMs_ = -1;
    bool keepStopped_ = false;
    bool shuttingDown_ = false;
    bool finalRunning_ = false;
};

} // namespace zor
