#include "sim/tubemodel.h"

#include <algorithm>
#include <cmath>

namespace zor::sim {

TubeModel::TubeModel(const Settings &settings, double fullScaleKv, quint32 seed)
    : settings_(settings), floor_(fullScaleKv / 4),
      level_(settings.conditionedKv < 0 ? fullScaleKv + HeadroomKv : settings.conditionedKv),
      // Its own stream, so monitor noise and arcs do not shift each other.
      rng_(seed ^ 0x5eed7u) {
    age(settings.idleDays);
}

void TubeModel::idle(qint64 dtMs) {
    age(double(dtMs) * settings_.timeFactor / 86400e3);
}

void TubeModel::age(double days) {
    if (level_ > floor_ && days > 0)
        level_ += (floor_ - level_) * -std::expm1(-days / IdleDaysTau);
}

double TubeModel::arcRate(double kv) const {
    const double excess = kv - level_;
    if (excess <= 0)
        return 0;
    return std::min(MaxArcsPerS, settings_.arcRate * std::expm1(excess / ExcessKv));
}

bool TubeModel::step(double kv, qint64 dtMs) {
    if (dtMs <= 0 || kv <= 0)
        return false;
    const double dtS = static_cast<double>(dtMs) / 1000.0;
    const double rate = arcRate(kv);
    // Draw only when the tube can arc, so a seasoned tube leaves the stream alone.
    const bool arced = rate > 0 && std::uniform_real_distribution<double>(0.0, 1.0)(rng_) <
                                       -std::expm1(-rate * dtS);
    const double target = kv + HeadroomKv;
    if (target > level_ && settings_.seasonS > 0)
        level_ += (target - level_) * -std::expm1(-dtS * settings_.timeFactor / settings_.seasonS);
    return arced;
}

} // namespace zor::sim
