#include "sim/analogchannels.h"

#include <algorithm>
#include <cmath>

namespace zor::sim {

namespace {

double slew(double value, double target, int fullScaleMs, qint64 dtMs) {
    if (fullScaleMs <= 0)
        return target;
    const double maxStep = AnalogChannels::FullScale * static_cast<double>(dtMs) / fullScaleMs;
    if (std::abs(target - value) <= maxStep)
        return target;
    return value + (target > value ? maxStep : -maxStep);
}

} // namespace

void AnalogChannels::step(const Drive &drive, qint64 dtMs) {
    if (dtMs <= 0)
        return;
    const double kvTarget = drive.hvOn ? drive.kvSetpoint : 0.0;
    kv = slew(kv, kvTarget, drive.kvRampMs, dtMs);

    // Beam current follows the voltage: none flows before the tube sees any.
    const double kvProgress = drive.kvSetpoint > 0 ? std::min(1.0, kv / drive.kvSetpoint) : 0.0;
    const double maTarget = drive.hvOn ? drive.maSetpoint * kvProgress : 0.0;
    ma = slew(ma, maTarget, drive.maRampMs, dtMs);

    // Filament: preheat level plus up to 1 A more at full beam current, capped.
    const double amps = std::min(drive.filamentPreheat / 1000.0 + ma / FullScale,
                                 drive.filamentMax * 10.0 / FullScale);
    const double filamentTarget = drive.hvOn ? std::max(0.0, amps) / FmonAmpsPerCount : 0.0;
    filament = slew(filament, std::min(filamentTarget, FullScale), drive.filamentRampMs, dtMs);

    // Up to about 4 degrees warmer at full load, with a 20 s time constant.
    const double tempTarget = TempAmbient + 55.0 * load();
    temperature +=
        (tempTarget - temperature) * (1.0 - std::exp(-static_cast<double>(dtMs) / 20000.0));
}

void AnalogChannels::quench() {
    kv = 0;
    ma = 0;
}

} // namespace zor::sim
