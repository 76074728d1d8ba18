#include "supply/supplystate.h"

#include <limits>
#include <utility>

namespace zor {

namespace {

// Assigns and reports whether anything changed, so each setter signals only then.
template <typename T> bool assign(T &member, const T &value) {
    if (member == value)
        return false;
    member = value;
    return true;
}

} // namespace

SupplyState::SupplyState(QObject *parent) : QObject(parent) {
    qRegisterMetaType<Reading>();
    qRegisterMetaType<StatusBits>();
    qRegisterMetaType<SupplySample>();
}

void SupplyState::setReading(Quantity q, const Reading &r) {
    if (assign(readings_[index(q)], r))
        emit readingChanged(q, r);
}

void SupplyState::setHvEnabled(bool on) {
    if (assign(hvEnabled_, on))
        emit hvEnabledChanged(on);
}

void SupplyState::setXrayOn(bool on) {
    if (assign(xrayOn_, on))
        emit xrayOnChanged(on);
}

void SupplyState::setStatus(const StatusBits &bits) {
    if (assign(status_, bits))
        emit statusChanged(bits);
}

void SupplyState::setArcCount(int count) {
    if (assign(arcCount_, count))
        emit arcCountChanged(count);
}

void SupplyState::setArcArmed(bool armed) {
    if (assign(arcArmed_, armed))
        emit arcArmedChanged(armed);
}

void SupplyState::countArc() {
    if (!hvEnabled_ || !arcArmed_)
        return;
    // The count is shown as a 16-bit figure; it stops at its top.
    setArcCount(std::min(arcCount_ + 1, int(std::numeric_limits<qint16>::max())));
    setArcArmed(false);
}

void SupplyState::clearArcs() {
    setArcArmed(true);
    setArcCount(0);
}

void SupplyState::setWatchdogEnabled(bool on) {
    if (assign(watchdogEnabled_, on))
        emit watchdogEnabledChanged(on);
}

void SupplyState::setIdentity(IdentityField f, const QString &text) {
    const bool wasKnown = std::exchange(identityKnown_[index(f)], true);
    if (assign(identity_[index(f)], text) || !wasKnown)
        emit identityChanged(f, text);
}

void SupplyState::setIdentityUnknown(IdentityField f) {
    forgetIdentity(f);
    emit identityUnknown(f);
}

void SupplyState::setKvPerBit(double v) {
    kvKnown_ = true;
    if (assign(kvPerBit_, v))
        emit kvPerBitChanged(v);
}

void SupplyState::setMaPerBit(double v) {
    maKnown_ = true;
    if (assign(maPerBit_, v))
        emit maPerBitChanged(v);
}

void SupplyState::forgetUnit() {
    setKvPerBit(convert::InitialKvPerBit);
    setMaPerBit(convert::InitialMaPerBit);
    kvKnown_ = maKnown_ = false;
    identity_.fill(QString());
    identityKnown_.fill(false);
    setLinkAnswering(false);
    if (std::exchange(statusKnown_, false))
        emit statusKnownChanged();
    if (staleSince_) {
        staleSince_.reset();
        emit staleChanged(staleSince_);
    }
    emit unitForgotten();
}

void SupplyState::countFailedReply() {
    ++failedReplies_;
    emit failedRepliesChanged(failedReplies_);
}

void SupplyState::setStatusKnown() {
    if (assign(statusKnown_, true))
        emit statusKnownChanged();
}

void SupplyState::noteAnswer(bool answered, const QDateTime &at) {
    setLinkAnswering(answered);
    if (!answered)
        cycleFailed_ = true;
    if (answered == !staleSince_)
        return;
    staleSince_ = answered ? std::nullopt : std::optional<QDateTime>(at);
    emit staleChanged(staleSince_);
}

void SupplyState::setLinkAnswering(bool answering) {
    if (assign(linkAnswering_, answering))
        emit linkAnsweringChanged(answering);
}

void SupplyState::finishCycle(qint64 monotonicNs, const QDateTime &wallClock) {
    ++pollCycle_;
    emit pollCycleChanged(pollCycle_);
    SupplySample s = sample();
    s.stale = cycleFailed_ || stale();
    cycleFailed_ = false;
    s.monotonicNs = monotonicNs;
    s.wallClock = wallClock;
    emit sampled(s);
}

SupplySample SupplyState::sample() const {
    SupplySample s;
    s.cycle = pollCycle_;
    s.readings = readings_;
    s.hvEnabled = hvEnabled_;
    s.xrayOn = xrayOn_;
    s.status = status_;
    s.arcCount = arcCount_;
    s.kvPerBit = kvPerBit_;
    s.maPerBit = maPerBit_;
    s.failedReplies = failedReplies_;
    return s;
}

} // namespace zor
