#include "link/devicelink.h"

#include "link/framecodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

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
    tmr_COMMWDT.setEnabled(false);
    connect(&tmr_RCVTIMER, &Timer::tick, this, &DeviceLink::tmr_RCVTIMER_Timer);
    connect(&tmr_COMMWDT, &Timer::tick, this, &DeviceLink::tmr_COMMWDT_Timer);
    connect(&tmr_NETRCVTMR, &Timer::tick, this, &DeviceLink::tmr_NETRCVTMR_Timer);
    const auto wake = [this] {
        if (waitLoop_)
            waitLoop_->quit();
    };
    connect(serial_.get(), &SerialPortComponent::readyRead, this, wake);
    connect(tcp_.get(), &TcpClientComponent::readyRead, this, wake);
    connect(tcp_.get(), &TcpClientComponent::stateChanged, this, wake);
    connect(tcp_.get(), &TcpClientComponent::error, this,
            [this](int, const QString &description) { emit tcpError(description); });
}

DeviceLink::~DeviceLink() = default;

void DeviceLink::outputOutputString(const QByteArray &payload) {
    flushSentAlone();
    sentPayload_ = payload;
    sentPending_ = true;
    sentClock_.start();
    const QByteArray frame = ProcessOutputString(payload, isEthernet());
    emit transmitted(frame);
    if (isEthernet()) {
        tcp_->send(frame);
        return;
    }
    // A late reply to an earlier command must not be taken for this one.
    if (!serial_->discardInput())
        return;
    serial_->write(frame);
}

bool DeviceLink::waitForData(qint64 remainingMs) {
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(static_cast<int>(qMax<qint64>(remainingMs, 0)));
    QEventLoop *outer = waitLoop_;
    waitLoop_ = &loop;
    const int rc = loop.exec();
    waitLoop_ = outer;
    return rc == 0;
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

void DeviceLink::flushSentAlone() {
    if (!sentPending_)
        return;
    sentPending_ = false;
    emit exchanged(sentPayload_, {}, 0, ExchangeOutcome::SentAlone);
}

void DeviceLink::hold(QObject *owner, std::function<void()> body, bool bracketed) {
    held_.push_back({owner, owner != nullptr, std::move(body), bracketed});
}

void DeviceLink::command(QObject *owner, std::function<void()> body) {
    if (mustHold())
        return hold(owner, std::move(body), true);
    execute(body, true);
}

void DeviceLink::commandFirst(std::function<void()> body) {
    // Only a waiting exchange can take its reply; a handler that is merely busy
    // (a box of its own is open) holds its timers off already.
    if (waitLoop_) {
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

void DeviceLink::sendAlone(QObject *owner, const QByteArray &payload) {
    std::function<void()> body = [this, payload] {
        outputOutputString(payload);
        flushSentAlone();
    };
    if (mustHold())
        return hold(owner, std::move(body), false);
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
        // A message may arrive in pieces: keep them until its ETX, then decode it whole.
        networkPending_.append(tcp_->getData());
        if (networkPending_.size() > MaxReplyBytes)
            networkPending_.clear();
        qsizetype end;
        while ((end = networkPending_.indexOf(ETX)) >= 0) {
            const QByteArray message = networkPending_.left(end + 1);
            networkPending_.remove(0, end + 1);
            emit networkStatus(message);
        }
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
    if (link_.isEthernet())
        link_.tmr_NETRCVTMR.setEnabled(true);
    else
        link_.tmr_RCVTIMER.setEnabled(true);
    if (link_.autoUpdate && link_.pollTimer_)
        link_.pollTimer_->setEnabled(true);
}

} // namespace zor
