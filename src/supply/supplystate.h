#pragma once

#include "supply/replyparse.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>
#include <optional>

namespace zor {

// The five monitors, read by the poll's first and fifth steps.
enum class Monitor { Kv, Ma, FilamentA, LvpsV, Temperature };
inline constexpr int MonitorCount = 5;
// The two programmable channels: A is kV, B is mA.
enum class Channel { Kv, Ma };
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

// Status and fault flags; each stays unknown until the supply has reported it.
struct StatusBits {
    parse::FaultFlags faults;    // from "FLT;"
    std::optional<bool> psFault; // from the network status message
    bool operator==(const StatusBits &) const = default;
};

// Everything one poll cycle knows, handed out whole at the end of the cycle.
struct SupplySample {
    quint64 cycle = 0;
    qint64 monotonicNs = 0; // steady clock: for spacing and plotting
    QDateTime wallClock;    // for logs read by people
    std::array<Reading, MonitorCount> monitors;
    std::array<Reading, 2> setpoints;
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

    Reading monitor(Monitor m) const { return monitors_[index(m)]; }
    void setMonitor(Monitor m, const Reading &r);
    // The setpoint as last read back or acknowledged after programming.
    Reading setpoint(Channel c) const { return setpoints_[index(c)]; }
    void setSetpoint(Channel c, const Reading &r);

    // The high-voltage switch: what the console asked for or last learnt.
    bool hvEnabled() const { return hvEnabled_; }
    void setHvEnabled(bool on);
    // X-rays as the supply reports or acknowledged them (the HV lamp).
    // How many times an off was asked for. A step that would switch the high
    // voltage on, or start or continue a run, compares it with the count it
    // saw when it was asked for, so nothing switches on again after an off.
    quint64 offAsked() const { return offAsked_; }
    void countOffAsked() { ++offAsked_; }

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

    // Replies that failed where the console counts them; never reset.
    int failedReplies() const { return failedReplies_; }
    void countFailedReply();

    // Whether the high-voltage status and the scale have been read from the
    // unit now connected: until then the lamp and the values mean nothing.
    bool statusKnown() const { return statusKnown_; }
    bool scaleKnown() const { return kvPerBit_ > 0.0; }
    void setStatusKnown();
    // Since when the supply has not answered: from the first failed exchange
    // until a good reply. Every value and lamp from the supply is stale meanwhile.
    std::optional<QDateTime> staleSince() const { return staleSince_; }
    bool stale() const { return staleSince_.has_value(); }
    // Each finished exchange: a reply ends staleness, silence starts it at `at`.
    void noteAnswer(bool answered, const QDateTime &at);
    // Another transport: nothing learnt from the unit before it holds any more.
    void forgetUnit();
    // For the event log: the transport changed ("COMM1 at 115200", "none").
    void noteTransportChange(const QString &transport) { emit transportChanged(transport); }

    // Something the operator started or ended that no reply shows (a seasoning
    // run, a cycle test), for the event log.
    void note(const QString &text) { emit noted(text); }

    // The last exchange got an answer (false after a silent one).
    bool linkAnswering() const { return linkAnswering_; }
    void setLinkAnswering(bool answering);

    quint64 pollCycle() const { return pollCycle_; }
    // Closes a poll cycle: counts it and emits sampled() with the whole state.
    void finishCycle(qint64 monotonicNs, const QDateTime &wallClock);
    SupplySample sample() const;

signals:
    void noted(const QString &text);
    void transportChanged(const QString &transport);
    void statusKnownChanged();
    void staleChanged(const std::optional<QDateTime> &since);
    void monitorChanged(zor::Monitor m, const zor::Reading &r);
    void setpointChanged(zor::Channel c, const zor::Reading &r);
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

private:
    template <typename E> static int index(E e) { return static_cast<int>(e); }

    std::array<Reading, MonitorCount> monitors_;
    std::array<Reading, 2> setpoints_;
    bool hvEnabled_ = false;
    bool xrayOn_ = false;
    quint64 offAsked_ = 0;
    StatusBits status_;
    int arcCount_ = 0;
    bool arcArmed_ = true;
    bool watchdogEnabled_ = false;
    std::array<QString, IdentityFieldCount> identity_;
    std::array<bool, IdentityFieldCount> identityKnown_{};
    double kvPerBit_ = convert::InitialKvPerBit;
    double maPerBit_ = convert::InitialMaPerBit;
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
