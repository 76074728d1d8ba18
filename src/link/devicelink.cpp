#include "link/devicelink.h"

#include "link/framecodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cctype>

namespace zor {

namespace {

ExchangeOutcome outcomeOf(const QByteArray &payload, const QByteArray &reply, bool ethernet) {
    if (!reply.contains(ethernet ? ETX : LF))
        return ExchangeOutcome::TimeOut;
    if (!reply.startsWith(STX))
        return ExchangeOutcome::Garbled;
    // A mnemonic write ("ENBL 1;", not the query "SLVR ;") is refused with "1".
    const bool write = payload.size() > 6 && payload.at(4) == ' ' && payload.at(5) != ';';
    if (write && reply.size() > 1 && reply.at(1) == '1')
        return ExchangeOutcome::Refused;
    return ExchangeOutcome::Ok;
}

} // namespace

DeviceLink::DeviceLink(const PortFactory &factory, QObject *parent)
    : QObject(parent), serial_(factory.serial()), tcp_(factory.tcp()) {
    clock_.start();
    tmr_COMMWDT.setEnabled(false);
    connect(&tmr_RCVTIMER, &Timer::tick, this, &DeviceLink::tmr_RCVTIMER_Timer);
    connect(&tmr_COMMWDT, &Timer::tick, this, &DeviceLink::tmr_COMMWDT_Timer);
    connect(&tmr_NETRCVTMR, &Timer::tick, this, &DeviceLink::tmr_NETRCVTMR_Timer);
    const auto wake = [this] { wait_.wake(); };
    connect(serial_.get(), &SerialPortComponent::readyRead, this, wake);
    connect(tcp_.get(), &TcpClientComponent::readyRead, this, wake);
    connect(tcp_.get(), &TcpClientComponent::stateChanged, this, wake);
    connect(tcp_.get(), &TcpClientComponent::error, this,
            [this](int, const QString &description) { emit tcpError(description); });
}

DeviceLink::~DeviceLink() = default;

void DeviceLink::outputOutputString(const QByteArray &payload) {
    if (gated())
        return;
    flushSentAlone();
    sentPayload_ = payload;
    sentPending_ = true;
    sentClock_.start();
    // On the way out nothing reads a reply but the local/remote hand-back, so
    // the final sends do not wait for an owed reply.
    if (!finalSends_)
        drainLateReply();
    // A status message cut short by this command would glue onto the next one.
    networkPending_.clear();
    const QByteArray frame = ProcessOutputString(payload, isEthernet());
    emit transmitted(frame);
    lastPayload_ = payload;
    sentAtMs_ = clock_.elapsed();
    if (isEthernet()) {
        tcp_->send(frame);
        return;
    }
    // A late reply to an earlier command must not be taken for this one.
    if (!serial_->discardInput())
        return;
    serial_->write(frame);
}

std::optional<QByteArray> DeviceLink::readArrived() {
    if (isEthernet())
        return tcp_->getData();
    return serial_->readAll();
}

// One mechanism keeps a late reply from being credited to the next command:
// after a time-out the supply may still owe that reply for up to
// LateWindowMs after the command went out, and without an echo in the
// protocol it could not be told from the next command's own. So the next send
// first drains the line until the owed reply has come and the line has been
// quiet for QuietGuardMs, or the window has closed. A silent supply thus costs
// up to one more second per failed exchange; no reply is ever misplaced.
void DeviceLink::drainLateReply() {
    if (lateUntilMs_ < 0)
        return;
    const qint64 until = lateUntilMs_;
    lateUntilMs_ = -1;
    const char terminator = isEthernet() ? ETX : LF;
    QByteArray drained;
    qint64 lastByteMs = -1;
    for (;;) {
        const auto chunk = readArrived();
        if (!chunk)
            break;
        if (!chunk->isEmpty()) {
            lastByteMs = clock_.elapsed();
            if (drained.size() < MaxReplyBytes)
                drained.append(chunk->left(MaxReplyBytes - drained.size()));
        }
        const qint64 now = clock_.elapsed();
        const bool whole = drained.contains(terminator);
        if (now >= until || (whole && now - lastByteMs >= QuietGuardMs) || shuttingDown_)
            break;
        const qint64 wait = whole ? lastByteMs + QuietGuardMs - now : until - now;
        if (!waitForData(wait) ||
            (isEthernet() && tcp_->state() != TcpClientComponent::StateConnected))
            break;
    }
    if (!drained.isEmpty())
        emit lateReplyDiscarded(drained);
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

bool DeviceLink::waitForData(qint64 remainingMs) {
    return wait_.sleep(remainingMs);
}

QByteArray DeviceLink::receiveSerial(bool &failed) {
    QElapsedTimer clock;
    clock.start();
    QByteArray reply;
    for (;;) {
        const auto chunk = serial_->readAll();
        if (!chunk) {
            failed = true;
            return {};
        }
        if (reply.size() < MaxReplyBytes)
            reply.append(chunk->left(MaxReplyBytes - reply.size()));
        while (dropForeignReply(reply, LF)) {
        }
        if (reply.contains(LF))
            break;
        const qint64 elapsed = clock.elapsed();
        if (elapsed > ReplyLimitMs)
            break;
        if (!waitForData(ReplyLimitMs - elapsed + 1))
            break;
    }
    if (const auto rest = serial_->readAll(); rest && reply.size() < MaxReplyBytes)
        reply.append(rest->left(MaxReplyBytes - reply.size()));
    emit serialLeftover(serial_->readAll().value_or(QByteArray()));
    tmr_COMMWDT.setEnabled(true);
    return reply;
}

QByteArray DeviceLink::receiveNetwork(bool &failed) {
    // Without a connection there is nothing to wait for.
    if (tcp_->state() != TcpClientComponent::StateConnected) {
        failed = true;
        return {};
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray reply;
    for (;;) {
        const QByteArray chunk = tcp_->getData();
        if (reply.size() < MaxReplyBytes)
            reply.append(chunk.left(MaxReplyBytes - reply.size()));
        while (dropForeignReply(reply, ETX)) {
        }
        if (reply.contains(ETX))
            break;
        const qint64 elapsed = clock.elapsed();
        if (elapsed > ReplyLimitMs)
            break;
        if (tcp_->state() != TcpClientComponent::StateConnected)
            break;
        if (!waitForData(ReplyLimitMs - elapsed + 1))
            break;
    }
    return reply;
}

QByteArray DeviceLink::inputInputString() {
    if (gated())
        return {};
    bool failed = false;
    const QByteArray reply = isEthernet() ? receiveNetwork(failed) : receiveSerial(failed);
    if (sentPending_) {
        sentPending_ = false;
        emit exchanged(sentPayload_, reply, sentClock_.elapsed(),
                       outcomeOf(sentPayload_, reply, isEthernet()));
    }
    if (failed) {
        runUrgent();
        return {};
    }
    // Without its terminator the reply, or the rest of it, may still come.
    const bool timedOut = !reply.contains(isEthernet() ? ETX : LF);
    lateUntilMs_ = timedOut ? sentAtMs_ + LateWindowMs : -1;
    emit received(reply);
    tmr_RCVTIMER.setEnabled(true);
    serial_->discardInput();
    runUrgent();
    return reply;
}

bool DeviceLink::mustHold() const {
    // Only an event served inside a running handler's wait arrives at a deeper
    // event loop; a handler calling another handler directly runs at once.
    return depth_ > 0 && QThread::currentThread()->loopLevel() > loopLevelAtStart_;
}

void DeviceLink::command(QObject *owner, std::function<void()> body, const void *tick) {
    if (mustHold()) {
        if (tick && std::any_of(held_.begin(), held_.end(),
                                [tick](const Held &h) { return h.tick == tick; }))
            return;
        held_.push_back({owner, owner != nullptr, std::move(body), true, tick});
        return;
    }
    execute(body, true);
}

void DeviceLink::commandFirst(std::function<void()> body) {
    // Only a waiting exchange can take its reply; a handler that is merely busy
    // (a box of its own is open) holds its timers off already.
    if (wait_.sleeping()) {
        urgent_.push_back(std::move(body));
    } else if (depth_ > 0) {
        body();
    } else {
        execute(body, true);
    }
}

void DeviceLink::runUrgent() {
    while (!urgent_.empty()) {
        auto body = std::move(urgent_.front());
        urgent_.pop_front();
        body();
    }
}

void DeviceLink::flushSentAlone() {
    if (!sentPending_)
        return;
    sentPending_ = false;
    emit exchanged(sentPayload_, {}, 0, ExchangeOutcome::SentAlone);
}

void DeviceLink::sendAlone(QObject *owner, const QByteArray &payload) {
    std::function<void()> body = [this, payload] {
        outputOutputString(payload);
        flushSentAlone();
    };
    if (mustHold()) {
        held_.push_back({owner, owner != nullptr, std::move(body), false, nullptr});
        return;
    }
    execute(body, false);
}

void DeviceLink::whenIdle(std::function<void()> fn) {
    if (depth_ == 0 && !running_held_) {
        fn();
        return;
    }
    idle_.push_back(std::move(fn));
}

void DeviceLink::execute(std::function<void()> &body, bool bracketed) {
    if (depth_++ == 0)
        loopLevelAtStart_ = QThread::currentThread()->loopLevel();
    try {
        if (bracketed) {
            CommandBracket bracket(*this);
            body();
        } else {
            body();
        }
    } catch (...) {
        // A handler's failure ends in its own fields; it never reaches the caller.
    }
    if (--depth_ == 0) {
        flushSentAlone();
        if (!running_held_)
            runHeld();
    }
}

void DeviceLink::runHeld() {
    running_held_ = true;
    // Held commands first, in order; deferred work only once none is waiting,
    // and anything that work holds in turn is run before the loop ends.
    while (depth_ == 0 && (!held_.empty() || !idle_.empty())) {
        if (!held_.empty()) {
            Held next = std::move(held_.front());
            held_.pop_front();
            if (!next.hasOwner || next.owner)
                execute(next.body, next.bracketed);
            continue;
        }
        auto fn = std::move(idle_.front());
        idle_.pop_front();
        fn();
    }
    running_held_ = false;
}

void DeviceLink::beginShutdown() {
    shuttingDown_ = true;
    held_.clear();
    wait_.wake();
}

void DeviceLink::tmr_RCVTIMER_Timer() {
    tmr_RCVTIMER.setEnabled(false);
}

void DeviceLink::tmr_COMMWDT_Timer() {
    tmr_COMMWDT.setEnabled(false);
    if (!serial_->isOpen())
        serial_->open(); // an unplugged adapter stays closed; the next tick tries again
    tmr_COMMWDT.setEnabled(true);
}

void DeviceLink::tmr_NETRCVTMR_Timer() {
    tmr_NETRCVTMR.setEnabled(false);
    if (isEthernet()) {
        // A message may arrive in pieces: keep them until its ETX, then decode
        // it whole. Every STX starts a new message, so a stray fragment before
        // it is dropped rather than glued on.
        networkPending_.append(tcp_->getData());
        if (networkPending_.size() > MaxReplyBytes)
            networkPending_.clear();
        qsizetype end;
        while ((end = networkPending_.indexOf(ETX)) >= 0) {
            const qsizetype start = networkPending_.lastIndexOf(STX, end);
            const QByteArray message =
                start < 0 ? QByteArray() : networkPending_.mid(start, end - start + 1);
            networkPending_.remove(0, end + 1);
            if (!message.isEmpty())
                emit networkStatus(message);
        }
        if (const qsizetype start = networkPending_.lastIndexOf(STX); start > 0)
            networkPending_.remove(0, start);
    }
    tmr_NETRCVTMR.setEnabled(true);
}

bool DeviceLink::transportOpen() const {
    return isEthernet() ? tcp_->state() == TcpClientComponent::StateConnected : serial_->isOpen();
}

void DeviceLink::closeSerial() {
    if (serial_->isOpen())
        serial_->close();
}

void DeviceLink::closeTcp() {
    tcp_->close();
    networkPending_.clear();
}

CommandBracket::CommandBracket(DeviceLink &link) : link_(link) {
    if (link_.tmr_RCVTIMER.isEnabled())
        link_.tmr_RCVTIMER.setEnabled(false);
    if (link_.tmr_NETRCVTMR.isEnabled())
        link_.tmr_NETRCVTMR.setEnabled(false);
    if (link_.autoUpdate && link_.pollTimer_)
        link_.pollTimer_->setEnabled(false);
}

CommandBracket::~CommandBracket() {
    if (link_.keepStopped_) {
        link_.keepStopped_ = false;
        return;
    }
    if (link_.isEthernet())
        link_.tmr_NETRCVTMR.setEnabled(true);
    else
        link_.tmr_RCVTIMER.setEnabled(true);
    if (link_.autoUpdate && link_.pollTimer_)
        link_.pollTimer_->setEnabled(true);
}

} // namespace zor
