#include "link/devicelink.h"

#include "link/framecodec.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cctype>

namespace zor {

namespace {

ExchangeOutcome outcomeOf(const QByteArray &payload, const QByteArray &reply, char terminator) {
    if (!reply.contains(terminator))
        return ExchangeOutcome::TimeOut;
    if (!reply.startsWith(STX))
        return ExchangeOutcome::Garbled;
    // A mnemonic write ("ENBL 1;", not the query "SLVR ;") is refused with "1".
    const bool write = payload.size() > 6 && payload.at(4) == ' ' && payload.at(5) != ';';
    if (write && reply.size() > 1 && reply.at(1) == '1')
        return ExchangeOutcome::Refused;
    return ExchangeOutcome::Ok;
}

void appendCapped(QByteArray &to, const QByteArray &chunk) {
    if (to.size() < DeviceLink::MaxReplyBytes)
        to.append(chunk.left(DeviceLink::MaxReplyBytes - to.size()));
}

// Resumes one suspended coroutine from the event loop, not from inside the
// code that finished what it waited for.
struct Resumer {
    bool done = false;
    std::coroutine_handle<> waiter;
};

// A plain pointer: GCC 12 may destroy a co_await operand's members twice; the
// coroutine's own shared_ptr keeps the Resumer alive.
struct ResumerAwait {
    Resumer *r;
    bool await_ready() const noexcept { return r->done; }
    void await_suspend(std::coroutine_handle<> h) { r->waiter = h; }
    void await_resume() const noexcept {}
};

} // namespace

bool switchesOn(const QByteArray &payload) {
    if (!payload.startsWith("ENBL "))
        return false;
    const QByteArray argument = payload.mid(5).split(';').value(0).trimmed();
    return !argument.isEmpty() && argument.count('0') != argument.size();
}

DeviceLink::DeviceLink(const PortFactory &factory, QObject *parent)
    : QObject(parent), factory_(factory) {
    clock_.start();
    tmr_COMMWDT.setEnabled(false);
    connect(&tmr_RCVTIMER, &Timer::tick, this, &DeviceLink::tmr_RCVTIMER_Timer);
    connect(&tmr_COMMWDT, &Timer::tick, this, &DeviceLink::tmr_COMMWDT_Timer);
    connect(&tmr_NETRCVTMR, &Timer::tick, this, &DeviceLink::tmr_NETRCVTMR_Timer);
    adopt(makeTransport({}, factory_));
}

DeviceLink::~DeviceLink() = default;

// --- commands -------------------------------------------------------------

void DeviceLink::command(QObject *owner, Body body, const void *tick) {
    if (shuttingDown_)
        return;
    if (tick && std::any_of(queue_.begin(), queue_.end(),
                            [tick](const Queued &q) { return q.tick == tick; }))
        return;
    enqueue({owner, owner != nullptr, std::move(body), tick, {}});
}

Task<> DeviceLink::run(QObject *owner, Body body) {
    auto resumer = std::make_shared<Resumer>();
    QPointer<DeviceLink> self(this);
    auto ended = [self, resumer] {
        resumer->done = true;
        if (self && resumer->waiter)
            QMetaObject::invokeMethod(
                self, [resumer] { resumer->waiter.resume(); }, Qt::QueuedConnection);
    };
    if (shuttingDown_)
        co_return;
    enqueue({owner, owner != nullptr, std::move(body), nullptr, std::move(ended)});
    co_await ResumerAwait{resumer.get()};
}

void DeviceLink::commandFinal(Body body) {
    enqueue({nullptr,
             false,
             [this, body = std::move(body)]() -> Task<> {
                 finalRunning_ = true;
                 co_await body();
                 finalRunning_ = false;
             },
             nullptr,
             {}});
}

void DeviceLink::enqueue(Queued entry) {
    queue_.push_back(std::move(entry));
    if (!driving_)
        drive();
}

Task<> DeviceLink::drive() {
    driving_ = true;
    while (!queue_.empty()) {
        Queued next = std::move(queue_.front());
        queue_.pop_front();
        if (!next.hasOwner || next.owner) {
            running_ = true;
            openBracket();
            try {
                co_await next.body();
            } catch (...) {
                // A command's failure ends in its own fields; it never stops the queue.
            }
            closeBracket();
            running_ = false;
        }
        if (next.ended)
            next.ended();
    }
    driving_ = false;
    while (!driving_ && !idle_.empty()) {
        auto fn = std::move(idle_.front());
        idle_.pop_front();
        fn();
    }
}

void DeviceLink::whenIdle(std::function<void()> fn) {
    if (!driving_)
        fn();
    else
        idle_.push_back(std::move(fn));
}

void DeviceLink::openBracket() {
    bracketNs_ = clock_.nsecsElapsed();
    if (tmr_RCVTIMER.isEnabled())
        tmr_RCVTIMER.setEnabled(false);
    if (tmr_NETRCVTMR.isEnabled())
        tmr_NETRCVTMR.setEnabled(false);
    if (autoUpdate && pollTimer_)
        pollTimer_->setEnabled(false);
}

void DeviceLink::closeBracket() {
    if (keepStopped_) {
        keepStopped_ = false;
        return;
    }
    (active().sendsStatus() ? tmr_NETRCVTMR : tmr_RCVTIMER).setEnabled(true);
    // The poll's pace is the wire's: the interval runs from the command's
    // last byte, not from the end of what the console made of it. After a
    // wait as long as the interval (a time-out) the full interval still runs.
    if (autoUpdate && pollTimer_) {
        const qint64 since = clock_.nsecsElapsed() - wireNs_;
        if (wireNs_ >= bracketNs_ && since < qint64(pollTimer_->interval()) * 1000000)
            pollTimer_->enableSince(since);
        else
            pollTimer_->setEnabled(true);
    }
}

void DeviceLink::beginShutdown() {
    shuttingDown_ = true;
    urgent_.clear();
    std::deque<Queued> dropped;
    dropped.swap(queue_);
    for (Queued &q : dropped)
        if (q.ended)
            q.ended();
    wake_.wake();
}

// --- the wire -------------------------------------------------------------

void DeviceLink::write(const QByteArray &payload) {
    // A status message cut short by this command would glue onto the next one.
    networkPending_.clear();
    Transport &t = active();
    if (!t.sendsStatus())
        dropInbox();
    silentSent_.clear();
    const QByteArray frame = t.frame(payload);
    emit transmitted(frame);
    lastPayload_ = payload;
    sentAtMs_ = nowMs();
    t.write(frame);
    wireNs_ = clock_.nsecsElapsed();
}

Task<> DeviceLink::outputOutputString(QByteArray payload, std::optional<quint64> offSeen) {
    notSent_ = false;
    if (gated())
        co_return;
    // The off lane has the wire; this send follows it.
    if (urgentRunning_)
        co_await WireFree{*this};
    if (!urgent_.empty())
        co_await serveUrgent();
    // On the way out nothing reads a reply but the local/remote hand-back, so
    // the final sends do not wait for an owed reply.
    if (!finalRunning_)
        co_await drainLateReply();
    if (gated())
        co_return;
    // The last gate: nothing waits between this check and the write.
    if (switchesOn(payload) && offSeen != offsAsked_) {
        notSent_ = true;
        emit exchanged(payload, {}, 0, ExchangeOutcome::NotSent);
        co_return;
    }
    write(payload);
}

bool DeviceLink::pull() {
    const auto chunk = active().read();
    if (!chunk)
        return false;
    if (chunk->isEmpty())
        return true;
    const qint64 now = nowMs();
    wireNs_ = clock_.nsecsElapsed();
    const qsizetype room = std::max<qsizetype>(MaxReplyBytes - inboxBytes_, 0);
    inbox_.push_back({chunk->left(room), now});
    inboxBytes_ += std::min(room, chunk->size());
    emit arrived(now);
    return true;
}

void DeviceLink::onReadyRead() {
    pull();
    wake_.resume();
}

std::optional<QByteArray> DeviceLink::readArrived() {
    if (!pull())
        return std::nullopt;
    QByteArray out;
    for (const Arrival &a : inbox_) {
        out.append(a.bytes);
        arrivalMs_ = a.atMs;
    }
    inbox_.clear();
    inboxBytes_ = 0;
    return out;
}

void DeviceLink::dropInbox() {
    pull();
    // A command learnt silent answered after all: wait for it again.
    if (inboxBytes_ > 0 && !silentSent_.isEmpty())
        answers_.remove(silentSent_);
    inbox_.clear();
    inboxBytes_ = 0;
}

void DeviceLink::resetLine() {
    inbox_.clear();
    inboxBytes_ = 0;
    lateUntilMs_ = -1;
    owedBy_.clear();
    silentSent_.clear();
    answers_.clear();
}

QByteArray DeviceLink::commandName(const QByteArray &payload) {
    qsizetype end = 0;
    while (end < payload.size() && !QByteArrayView(" ;,").contains(payload.at(end)))
        ++end;
    return payload.left(end + 1);
}

// One mechanism keeps a late reply from being credited to the next command:
// after a time-out, or a send whose reply nobody collects, the supply may
// still owe that reply for up to LateWindowMs after the command went out, and
// without an echo in the protocol it could not be told from the next
// command's own. So the next send first drains the line until the owed reply
// has come and the line has been quiet for QuietGuardMs since its last byte
// arrived, or the window has closed. An off asked meanwhile goes out first;
// the window then runs on from the off. A silent supply thus costs up to one
// more second per failed exchange, and a send-only command one window per
// open until it is learnt silent; no reply is ever misplaced.
Task<> DeviceLink::drainLateReply() {
    bool offServed = false;
    while (lateUntilMs_ >= 0) {
        const qint64 until = lateUntilMs_;
        lateUntilMs_ = -1;
        const char terminator = active().terminator();
        QByteArray drained;
        qint64 lastByteMs = -1;
        bool offAsked = false;
        for (;;) {
            if (!urgent_.empty()) {
                offAsked = true;
                break;
            }
            const auto chunk = readArrived();
            if (!chunk)
                break;
            if (!chunk->isEmpty()) {
                lastByteMs = arrivalMs_;
                appendCapped(drained, *chunk);
            }
            const qint64 now = nowMs();
            const bool whole = drained.contains(terminator);
            if (now >= until || (whole && now - lastByteMs >= QuietGuardMs) || shuttingDown_)
                break;
            if (!active().ready())
                break;
            co_await wake_.sleep(whole ? lastByteMs + QuietGuardMs - now : until - now);
        }
        if (!owedBy_.isEmpty() && !offAsked) {
            if (!drained.isEmpty())
                answers_[owedBy_] = true;
            else if (!offServed && nowMs() >= until)
                answers_[owedBy_] = false;
        }
        if (!drained.isEmpty())
            emit lateReplyDiscarded(drained);
        if (!offAsked) {
            owedBy_.clear();
            co_return;
        }
        offServed = true;
        lateUntilMs_ = until;
        co_await serveUrgent();
    }
}

bool DeviceLink::dropForeignReply(QByteArray &reply, char terminator) {
    const qsizetype end = reply.indexOf(terminator);
    if (end < 0)
        return false;
    // A numeric command ("99,0,") is answered with its code and commas; a
    // reply with a ";" and no comma is a mnemonic command's and cannot be its.
    const bool numeric = lastPayload_.size() >= 3 && std::isdigit(uchar(lastPayload_[0])) &&
                         std::isdigit(uchar(lastPayload_[1])) && lastPayload_[2] == ',';
    const QByteArray whole = reply.left(end + 1);
    if (!numeric || !whole.contains(';') || whole.contains(','))
        return false;
    emit lateReplyDiscarded(whole);
    reply.remove(0, end + 1);
    return true;
}

Task<QByteArray> DeviceLink::collect() {
    Transport &t = active();
    const char terminator = t.terminator();
    QByteArray reply;
    bool failed = false;
    // Without a connection there is nothing to wait for.
    if (!t.ready()) {
        failed = true;
    } else {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const auto chunk = readArrived();
            if (!chunk) {
                failed = true;
                break;
            }
            appendCapped(reply, *chunk);
            // Noise on the line between frames is no part of the reply.
            if (const qsizetype start = reply.indexOf(STX); start > 0)
                reply.remove(0, start);
            while (dropForeignReply(reply, terminator)) {
            }
            if (reply.contains(terminator))
                break;
            const qint64 elapsed = clock.elapsed();
            if (elapsed > ReplyLimitMs)
                break;
            if (!t.ready())
                break;
            co_await wake_.sleep(ReplyLimitMs - elapsed + 1);
        }
        if (t.watched() && !failed) {
            appendCapped(reply, readArrived().value_or(QByteArray()));
            emit serialLeftover(readArrived().value_or(QByteArray()));
            tmr_COMMWDT.setEnabled(true);
        } else if (!failed && t.sendsStatus()) {
            keepStatusAfterReply(reply, terminator);
        }
    }
    if (failed)
        reply.clear();
    emit exchanged(lastPayload_, reply, nowMs() - sentAtMs_,
                   outcomeOf(lastPayload_, reply, terminator));
    if (failed)
        co_return reply;
    // Without its terminator the reply, or the rest of it, may still come.
    lateUntilMs_ = reply.contains(terminator) ? -1 : sentAtMs_ + LateWindowMs;
    owedBy_.clear();
    emit received(reply);
    tmr_RCVTIMER.setEnabled(true);
    t.discardInput();
    inbox_.clear();
    inboxBytes_ = 0;
    co_return reply;
}

// The supply sends a status message once per change, and one that rode along
// with a reply would otherwise be read as part of it and never shown.
void DeviceLink::keepStatusAfterReply(QByteArray &reply, char terminator) {
    const qsizetype end = reply.indexOf(terminator);
    if (end < 0)
        return;
    QByteArray rest = reply.mid(end + 1);
    reply.truncate(end + 1);
    for (qsizetype start; (start = rest.indexOf(STX)) >= 0;) {
        const qsizetype stop = rest.indexOf(ETX, start);
        if (stop < 0)
            break;
        const QByteArray message = rest.mid(start, stop - start + 1);
        rest.remove(0, stop + 1);
        QMetaObject::invokeMethod(
            this, [this, message] { emit networkStatus(message); }, Qt::QueuedConnection);
    }
}

Task<QByteArray> DeviceLink::inputInputString() {
    if (gated())
        co_return QByteArray();
    onWire_ = true;
    QByteArray reply = co_await collect();
    onWire_ = false;
    // The off asked during this wait goes out before the command goes on.
    if (!urgent_.empty())
        co_await serveUrgent();
    co_return reply;
}

Task<QByteArray> DeviceLink::exchange(QByteArray payload, std::optional<quint64> offSeen) {
    co_await outputOutputString(payload, offSeen);
    if (notSent_)
        co_return QByteArray();
    co_return co_await inputInputString();
}

Task<> DeviceLink::send(QByteArray payload) {
    co_await outputOutputString(payload);
    if (gated() || notSent_)
        co_return;
    emit exchanged(payload, {}, 0, ExchangeOutcome::SentAlone);
    // Its reply may come, and must not be taken by the next command; a unit
    // that has stayed silent to this command on this open is not waited for.
    const QByteArray name = commandName(payload);
    if (answers_.value(name, true)) {
        lateUntilMs_ = sentAtMs_ + LateWindowMs;
        owedBy_ = name;
    } else {
        silentSent_ = name;
    }
    if (!urgent_.empty())
        co_await serveUrgent();
}

// --- the off lane ---------------------------------------------------------

void DeviceLink::urgent(QByteArray payload, std::function<void(const QByteArray &)> done) {
    ++offsAsked_;
    if (shuttingDown_)
        return;
    urgent_.push_back({std::move(payload), std::move(done)});
    if (onWire_ || urgentRunning_)
        return; // served when the exchange in flight ends
    if (wake_.sleeping()) {
        wake_.wake(); // a drain gives way
        return;
    }
    serveUrgent();
}

Task<> DeviceLink::serveUrgent() {
    if (urgentRunning_)
        co_return;
    urgentRunning_ = true;
    while (!urgent_.empty()) {
        Urgent next = std::move(urgent_.front());
        urgent_.pop_front();
        // No drain: the off must not wait. A reply still owed may be taken for
        // the off's own, so the window runs on from the off's send.
        const bool owed = lateUntilMs_ >= 0;
        write(next.payload);
        onWire_ = true;
        const QByteArray reply = co_await collect();
        onWire_ = false;
        if (owed)
            lateUntilMs_ = sentAtMs_ + LateWindowMs;
        if (next.done)
            next.done(reply);
    }
    urgentRunning_ = false;
    if (auto waiter = std::exchange(wireWaiter_, {}))
        waiter.resume();
}

// --- timers and transports ------------------------------------------------

void DeviceLink::tmr_RCVTIMER_Timer() {
    tmr_RCVTIMER.setEnabled(false);
}

void DeviceLink::tmr_COMMWDT_Timer() {
    tmr_COMMWDT.setEnabled(false);
    active().reopen();
    tmr_COMMWDT.setEnabled(true);
}

void DeviceLink::tmr_NETRCVTMR_Timer() {
    tmr_NETRCVTMR.setEnabled(false);
    if (active().sendsStatus() && !onWire_) {
        // A message may arrive in pieces: keep them until its ETX, then decode
        // it whole. Every STX starts a new message, so a stray fragment before
        // it is dropped rather than glued on.
        networkPending_.append(readArrived().value_or(QByteArray()));
        if (networkPending_.size() > MaxReplyBytes)
            networkPending_.clear();
        if (lateUntilMs_ >= 0 && nowMs() >= lateUntilMs_) {
            if (!owedBy_.isEmpty())
                answers_[owedBy_] = false;
            lateUntilMs_ = -1;
            owedBy_.clear();
        }
        qsizetype end;
        while ((end = networkPending_.indexOf(ETX)) >= 0) {
            const qsizetype start = networkPending_.lastIndexOf(STX, end);
            const QByteArray message =
                start < 0 ? QByteArray() : networkPending_.mid(start, end - start + 1);
            networkPending_.remove(0, end + 1);
            if (message.isEmpty())
                continue;
            // The first whole message while a reply is owed is that reply, not
            // a status message: "0" at its fifth place would read as X-RAY OFF.
            if (lateUntilMs_ >= 0) {
                lateUntilMs_ = -1;
                if (!owedBy_.isEmpty())
                    answers_[owedBy_] = true;
                owedBy_.clear();
                emit lateReplyDiscarded(message);
                continue;
            }
            emit networkStatus(message);
        }
        if (const qsizetype start = networkPending_.lastIndexOf(STX); start > 0)
            networkPending_.remove(0, start);
    }
    tmr_NETRCVTMR.setEnabled(true);
}

Transport &DeviceLink::active() const {
    return *transport_;
}

void DeviceLink::adopt(std::unique_ptr<Transport> next) {
    // An exchange in flight holds the transport it began on until it ends.
    if (!onWire_ && !urgentRunning_)
        retired_.clear();
    if (transport_)
        retired_.push_back(std::move(transport_));
    transport_ = std::move(next);
    // Bytes and what was learnt of the unit before belong to another line.
    resetLine();
    Transport *t = transport_.get();
    connect(t, &Transport::readyRead, this, &DeviceLink::onReadyRead);
    connect(t, &Transport::stateChanged, &wake_, &Wake::wake);
    connect(t, &Transport::stateChanged, &connecting_, &Wake::wake);
    connect(t, &Transport::error, this, &DeviceLink::tcpError);
    connect(t, &Transport::lost, this, [this, t] {
        networkPending_.clear();
        emit linkLost(t->description());
    });
    connect(t, &Transport::back, this, [this, t] {
        awaitHandover(*t);
        emit linkBack(t->description());
    });
}

void DeviceLink::awaitHandover(const Transport &t) {
    if (t.handsOverBacklog())
        lateUntilMs_ = std::max(lateUntilMs_, nowMs() + HandoverMs);
}

void DeviceLink::armReceiveTimer() {
    const bool status = active().sendsStatus();
    tmr_NETRCVTMR.setEnabled(status);
    tmr_RCVTIMER.setEnabled(!status);
}

bool DeviceLink::failed(const Transport &t) {
    failureReason_ = t.failureReason();
    failureText_ = t.failureText();
    return false;
}

Task<bool> DeviceLink::open(LinkTarget target, int connectLimitMs) {
    cancelOpen(); // an earlier open still waiting for its connection gives up
    const quint64 mine = opening_;
    std::unique_ptr<Transport> next = makeTransport(target, factory_);
    failureReason_.clear();
    failureText_.clear();
    if (!target.overTcp()) {
        // A connection in use stays until the port has opened: the caller may
        // fall back to it. A port in use is closed first: it may be the same one.
        const bool portInUse = !active().target().overTcp();
        if (portInUse) {
            active().close();
            resetLine();
            emit transportChanged();
        }
        if (!next->open())
            co_return failed(*next);
        if (!portInUse) {
            active().close();
            networkPending_.clear();
            emit transportChanged();
        }
        adopt(std::move(next));
        chosen_ = true;
        armReceiveTimer();
        emit opened();
        co_return true;
    }
    letGo(0);
    tmr_RCVTIMER.setEnabled(false);
    tmr_NETRCVTMR.setEnabled(false);
    adopt(std::move(next));
    chosen_ = true;
    Transport &t = active();
    t.open();
    QPointer<DeviceLink> self(this);
    QElapsedTimer clock;
    clock.start();
    while (!t.ready()) {
        const qint64 left = connectLimitMs - clock.elapsed();
        if (left < 0)
            break;
        co_await connecting_.sleep(left + 1);
        if (!self)
            co_return false;
        if (opening_ != mine || shuttingDown_)
            co_return failed(active()); // a later choice, or the end, took over
    }
    armReceiveTimer();
    if (!t.ready())
        co_return failed(t);
    awaitHandover(t);
    emit opened();
    co_return true;
}

void DeviceLink::close(int drainMs) {
    cancelOpen();
    letGo(drainMs);
    chosen_ = false;
}

void DeviceLink::letGo(int drainMs) {
    active().close(drainMs);
    networkPending_.clear();
    resetLine();
    tmr_COMMWDT.setEnabled(false);
    emit transportChanged();
}

} // namespace zor
