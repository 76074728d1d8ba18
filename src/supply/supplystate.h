#pragma once

#include "supply/events.h"
#include "supply/quantities.h"
#include "supply/replyparse.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <array>
#include <optional>

namespace zor {

// The two programmable channels: A is kV, B is mA.
enum class Channel { Kv, Ma };
constexpr Quantity setpointOf(Channel c) {
    return c == Channel::Kv ? Quantity::KvSetpoint : Quantity::MaSetpoint;
}
// The identity fields, read when auto update starts.
enum class IdentityField { HardwareRevision, Model, FirmwareRevision, SoftwareBuild, SerialNumber };
inline constexpr int IdentityFieldCount = 5;

// One value read from the supply: the text it sent before the ';', the count
// when that text is one, and the engineering value (kV, mA, A, V, degrees) at
// the scale in force when it was read.
struct Reading {
    QByteArray text;
    std::optional<long long> count;
    double value = 0.0;
    bool operator==(const Reading &) const = default;
};

// Everything one poll cycle knows, handed out whole at the end of the cycle.
struct SupplySample {
    quint64 cycle = 0;
    qint64 monotonicNs = 0; // steady clock: for spacing and plotting
    QDateTime wallClock;    // for logs read by people
    std::array<Reading, QuantityCount> readings;
    const Reading &reading(Quantity q) const { return readings[int(q)]; }
    bool hvEnabled = false;
    bool xrayOn = false;
    StatusBits status;
    int arcCount = 0;
    double kvPerBit = 0.0;
    double maPerBit = 0.0;
    int failedReplies = 0;
    // An exchange of this cycle failed, or the supply was silent: no trend point.
    bool stale = false;
};

// What the console knows of the supply, as typed values. Each setter emits its
// signal only when the value really changes, so a view repaints only what moved.
// Written by SupplyOps (supplyops.h); read by windows, plots, logs and tools.
class SupplyState : public QObject {
    Q_OBJECT
public:
    explicit SupplyState(QObject *parent = nullptr);

    // A set-point is the one last read back or acknowledged after programming.
    Reading reading(Quantity q) const { return readings_[index(q)]; }
    void setReading(Quantity q, const Reading &r);
    Reading setpoint(Channel c) const { return reading(setpointOf(c)); }

    // The high-voltage switch: what the console asked for or last learnt.
    bool hvEnabled() const { return hvEnabled_; }
    void setHvEnabled(bool on);
    // X-rays as the supply reports or acknowledged them (the HV lamp).
    // How many times an off was asked for. A step that would switch the high
    // voltage on, or start or continue a run, compares it with the count it
    // saw when it was asked for, so nothing switches on again after an off.

    // The run (a seasoning run, a cycle test) that drives the high voltage,
    // empty when none: two runs at once would fight over it.
    QString runOwner() const { return runOwner_; }
    bool claimRun(const QString &owner) {
        if (!runOwner_.isEmpty() && runOwner_ != owner)
            return false;
        runOwner_ = owner;
        return true;
    }
    void releaseRun(const QString &owner) {
        if (runOwner_ == owner)
            runOwner_.clear();
    }

    bool xrayOn() const { return xrayOn_; }
    void setXrayOn(bool on);

    StatusBits status() const { return status_; }
    void setStatus(const StatusBits &bits);
    std::optional<bool> interlockOpen() const { return status_.faults.interlockOpen; }

    int arcCount() const { return arcCount_; }
    bool arcArmed() const { return arcArmed_; }
    void setArcCount(int count);
    void setArcArmed(bool armed);
    // One arc per change from OK to error while the switch is on; saturates.
    void countArc();
    // The operator's "Clear Count".
    void clearArcs();

    bool watchdogEnabled() const { return watchdogEnabled_; }
    void setWatchdogEnabled(bool on);

    QString identity(IdentityField f) const { return identity_[index(f)]; }
    // A field read after a failed read signals even when its text is as before.
    void setIdentity(IdentityField f, const QString &text);
    // A read of this field got no reply: the text is kept but no longer trusted.
    void setIdentityUnknown(IdentityField f);
    // The next read signals even when its text is as before: a view showed
    // something else in the field's place.
    void forgetIdentity(IdentityField f) { identityKnown_[index(f)] = false; }

    double kvPerBit() const { return kvPerBit_; }
    double maPerBit() const { return maPerBit_; }
    double perBit(Channel c) const { return c == Channel::Kv ? kvPerBit_ : maPerBit_; }
    void setKvPerBit(double v);
    void setMaPerBit(double v);
    // Both scales came from the unit now connected; a count made before that
    // would be made at another unit's scale.
    bool scaleKnown() const { return kvKnown_ && maKnown_; }

    // Another transport: nothing learnt from the unit before still holds
    // (scale, status, identity, whether it answers, staleness). Views drop
    // what they derived.
    void forgetUnit();

    // Replies that failed where the console counts them; never reset.
    int failedReplies() const { return failedReplies_; }
    void countFailedReply();

    // Whether the high-voltage status has been read from the unit now
    // connected: until then the lamp means nothing.
    bool statusKnown() const { return statusKnown_; }
    void setStatusKnown();
    // Since when the supply has not answered: from the first failed exchange
    // until a good reply. Every value and lamp from the supply is stale meanwhile.
    std::optional<QDateTime> staleSince() const { return staleSince_; }
    bool stale() const { return staleSince_.has_value(); }
    // Each finished exchange: a reply ends staleness, silence starts it at `at`.
    void noteAnswer(bool answered, const QDateTime &at);
    // For the event log: the transport changed ("COMM1 at 115200", "none").
    void noteTransportChange(const QString &transport) { emit transportChanged(transport); }

    // Something the operator started or ended that no reply shows (a seasoning
    // run, a cycle test), for the event log.
    void note(EventType type, const QString &text, const QJsonObject &values = {}) {
        emit noted(type, text, values);
    }

    // The last exchange got an answer (false after a silent one).
    bool linkAnswering() const { return linkAnswering_; }
    void setLinkAnswering(bool answering);

    quint64 pollCycle() const { return pollCycle_; }
    // Closes a poll cycle: counts it and emits sampled() with the whole state.
    void finishCycle(qint64 monotonicNs, const QDateTime &wallClock);
    SupplySample sample() const;

signals:
    void noted(zor::EventType type, const QString &text, const QJsonObject &values);
    void readingChanged(zor::Quantity q, const zor::Reading &r);
    void transportChanged(const QString &transport);
    void statusKnownChanged();
    void staleChanged(const std::optional<QDateTime> &since);
    void hvEnabledChanged(bool on);
    void xrayOnChanged(bool on);
    void statusChanged(const zor::StatusBits &bits);
    void arcCountChanged(int count);
    void arcArmedChanged(bool armed);
    void watchdogEnabledChanged(bool on);
    void identityChanged(zor::IdentityField f, const QString &text);
    // A read of this field got no reply (the value is kept).
    void identityUnknown(zor::IdentityField f);
    void kvPerBitChanged(double v);
    void maPerBitChanged(double v);
    void failedRepliesChanged(int count);
    void linkAnsweringChanged(bool answering);
    void pollCycleChanged(quint64 cycle);
    void sampled(const zor::SupplySample &sample);
    void unitForgotten();

private:
    template <typename E> static int index(E e) { return static_cast<int>(e); }

    std::array<Reading, QuantityCount> readings_;
    bool hvEnabled_ = false;
    bool xrayOn_ = false;
    QString runOwner_;
    StatusBits status_;
    int arcCount_ = 0;
    bool arcArmed_ = true;
    bool watchdogEnabled_ = false;
    std::array<QString, IdentityFieldCount> identity_;
    std::array<bool, IdentityFieldCount> identityKnown_{};
    double kvPerBit_ = convert::InitialKvPerBit;
    double maPerBit_ = convert::InitialMaPerBit;
    bool kvKnown_ = false;
    bool maKnown_ = false;
    int failedReplies_ = 0;
    bool statusKnown_ = false;
    std::optional<QDateTime> staleSince_;
    // A reply failed during the cycle now being polled: its sample is not the supply's.
    bool cycleFailed_ = false;
    bool linkAnswering_ = false;
    quint64 pollCycle_ = 0;
};

} // namespace zor

Q_DECLARE_METATYPE(zor::Reading)
Q_DECLARE_METATYPE(zor::StatusBits)
Q_DECLARE_METATYPE(zor::SupplySample)
