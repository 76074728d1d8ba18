#pragma once

#include "sim/analogchannels.h"
#include "sim/command.h"
#include "sim/configstore.h"
#include "sim/tubemodel.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <deque>
#include <optional>
#include <random>

namespace zor::sim {

// The eight fault flags in the order of the FLT reply (the interlock sits
// between Watchdog and Output there, at character 9).
enum class Fault {
    Arc,
    Temperature,
    OverVoltage,
    UnderVoltage,
    OverCurrent,
    UnderCurrent,
    Watchdog,
    Output
};
inline constexpr int FaultCount = 8;

std::optional<Fault> faultFromName(const QString &name);

struct ModelSettings {
    int kvRampMs = 100; // the unit takes 20 to 100 ms
    int watchdogMs = 2000;
    int noiseCounts = 2;
    quint32 seed = 1;
    int fullScaleKv = 8000; // 80 kV in units of 0.01 kV
    int fullScaleMa = 1400; // 1.4 mA in units of 0.001 mA
    TubeModel::Settings tube;
};

// The supply behind the link: pure logic, time passed in by the caller.
// handle() takes a payload without framing and returns the reply text without framing.
class DeviceModel {
public:
    static constexpr const char *FactoryKey = "7061";
    static constexpr const char *SerialKey = "2958";
    static constexpr const char *Revision = "ZORSIM 1.00"; // exactly 11 characters
    static constexpr const char *Build = "0103";

    struct Status {
        bool hvOn = false;
        bool interlockOpen = false;
        bool supplyFault = false; // any latched fault, an arc trip too, but not a single arc
        bool operator==(const Status &) const = default;
    };

    DeviceModel(const ModelSettings &settings, qint64 nowMs);

    QByteArray handle(const QByteArray &payload, qint64 nowMs);
    // Runs the output and the watchdog up to nowMs.
    void advance(qint64 nowMs);

    // The serial line rate the unit listens and answers at.
    int unitBaud() const { return baudCode_ == 2 ? 9600 : 115200; }

    // Operator controls. triggerArc() is false when there is no high voltage to arc.
    bool triggerArc(qint64 nowMs);
    void setInterlockOpen(bool open, qint64 nowMs);
    void setFault(Fault fault, bool raised, qint64 nowMs);
    void clearFaults(qint64 nowMs);

    Status status() const;
    QString describe(qint64 nowMs) const;

    bool hvOn() const { return hvOn_; }
    bool fault(Fault f) const { return faults_[static_cast<int>(f)]; }
    bool interlockOpen() const { return interlockOpen_; }
    bool remote() const { return remote_; }
    bool arcTripped() const { return arcTripped_; }
    qint64 arcs() const { return arcs_; }
    qint64 hvOnMs() const { return hvOnMs_; }
    const TubeModel &tube() const { return tube_; }
    const FactoryConfig &factory() const { return factory_; }

private:
    QByteArray numeric(const Command &cmd);
    QByteArray mnemonic(const Command &cmd, qint64 nowMs);
    std::optional<QByteArray> query(const QByteArray &name);
    QByteArray write(const Command &cmd, qint64 nowMs);
    QByteArray faultFlags() const;
    void integrate(qint64 dtMs);
    void arc(qint64 nowMs);
    int noisy(double value, int amplitude);
    bool anySupplyFault() const;

    ModelSettings settings_;
    FactoryConfig factory_;
    UserOptions options_;
    AnalogChannels analog_;
    std::array<int, 4> dacs_{}; // A kV, B mA, C filament limit, D filament preheat
    std::array<bool, FaultCount> faults_{};
    bool hvOn_ = false;
    bool interlockOpen_ = false;
    bool watchdogEnabled_ = false;
    qint64 lastKickMs_ = 0;
    bool factoryUnlocked_ = false;
    bool serialUnlocked_ = false;
    bool remote_ = true;
    bool passThrough_ = false;
    int baudCode_ = 1;
    QByteArray serialNumber_ = "100000001-A00001";
    qint64 hvOnMs_ = 0;
    qint64 lastMs_;
    std::deque<qint64> recentArcs_; // within the arc period, pruned as they age
    bool arcTripped_ = false;       // too many arcs: latched until CLR
    qint64 arcs_ = 0;
    std::minstd_rand rng_;
    TubeModel tube_;
};

} // namespace zor::sim
