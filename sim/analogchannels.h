#pragma once

#include <QtGlobal>

namespace zor::sim {

// The supply's output as its monitors see it, in counts of the 12-bit channels,
// without noise. Voltage and current slew towards their targets so that a full
// scale step takes the configured ramp time; temperature follows the load slowly.
struct AnalogChannels {
    struct Drive {
        bool hvOn = false;
        int kvSetpoint = 0; // counts
        int maSetpoint = 0; // counts
        int kvRampMs = 0;
        int maRampMs = 0;
        int filamentRampMs = 0;
        int filamentPreheat = 0; // counts worth 1 mA of filament current each
        int filamentMax = 0;     // counts of a 10 A scale
    };

    static constexpr double FullScale = 4095.0;
    static constexpr double LvpsIdle = 1562.0;   // about -15 V
    static constexpr double TempAmbient = 341.0; // 25 degrees
    static constexpr double FmonAmpsPerCount = 0.0014652;

    double kv = 0;
    double ma = 0;
    double filament = 0;
    double temperature = TempAmbient;

    void step(const Drive &drive, qint64 dtMs);
    // An arc collapses the output; it ramps back up on its own while HV stays on.
    void quench();

    double load() const { return (kv / FullScale) * (ma / FullScale); }
    double lvps() const { return LvpsIdle + 8.0 * load(); }
};

} // namespace zor::sim
