#pragma once

#include <QtGlobal>
#include <random>

namespace zor::sim {

// The X-ray tube behind the output. A tube holds off voltage up to the level
// it has been conditioned to; above it, arcs come the more often the further
// the voltage runs over. Running at a voltage slowly lifts the level to a
// little beyond it, which is what a seasoning schedule is for; lying idle
// lowers it again towards a quarter of full scale, as tubes left on the shelf
// for months need seasoning again. The tube's clock (conditioning and idling,
// not the arcs) can run faster than real time, for tests.
class TubeModel {
public:
    struct Settings {
        double conditionedKv = -1; // level at start; below 0: seasoned to full scale
        double arcRate = 0.015;    // arcs per second, times (e^(excess / ExcessKv) - 1)
        double seasonS = 150;      // time constant of the level's climb while running
        double idleDays = 0;       // days the tube lay idle before the start
        double timeFactor = 1;     // the tube's clock runs this many times real time
    };
    static constexpr double ExcessKv = 4;   // the rate grows e-fold per this much excess
    static constexpr double HeadroomKv = 2; // running at kV conditions up to kV + this
    static constexpr double MaxArcsPerS = 5;
    static constexpr qint64 StepMs = 100;     // arcs are drawn at most once per step
    static constexpr double IdleDaysTau = 90; // the level falls e-fold idle this long

    TubeModel(const Settings &settings, double fullScaleKv, quint32 seed);

    // Arcs per second at the given output voltage.
    double arcRate(double kv) const;
    // Runs the tube for dtMs (at most StepMs) at kv; true when it arced.
    bool step(double kv, qint64 dtMs);
    // The tube lies idle for dtMs of real time.
    void idle(qint64 dtMs);

    double conditionedKv() const { return level_; }

private:
    void age(double days);

    Settings settings_;
    double floor_;
    double level_;
    std::minstd_rand rng_;
};

} // namespace zor::sim
