#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>
#include <variant>
#include <vector>

namespace zor::runs {

// A seasoning schedule as a file: {"name": "...", "steps": [{"kv": 40, "ma":
// 0.5, "seconds": 300}, ...]}, at most the 17 steps the table shows.
struct ScheduleStep {
    double kv = 0.0;
    double ma = 0.0;
    int seconds = 0;
    bool operator==(const ScheduleStep &) const = default;
};
// How a run reacts to arcs, from the file's "adaptive" object; each key has
// its default and bounds in AdaptiveKeys.
struct Adaptive {
    int window_s = 60;    // arcs are counted over this many seconds
    int hold_above = 0;   // more arcs than this in the window stop the step's clock
    int back_above = 2;   // more than this step back
    int step_back = 1;    // steps to go back, never below the first
    int dwell_s = 300;    // seconds at the lower step before climbing again
    int max_backoffs = 3; // back-offs in a row without a step completed
    int max_arcs = 50;    // arcs in the whole run
    bool operator==(const Adaptive &) const = default;
};
struct AdaptiveKey {
    const char *name;
    int Adaptive::*field;
    int min, max;
};
extern const std::array<AdaptiveKey, 7> AdaptiveKeys;

struct Schedule {
    QString name;
    std::vector<ScheduleStep> steps;
    // None: the steps run their times whatever the tube does.
    std::optional<Adaptive> adaptive;
    bool operator==(const Schedule &) const = default;
};
inline constexpr int MaxScheduleSteps = 17;

// Why a file cannot be loaded: the line it happens on (from 1) and the reason.
struct ScheduleError {
    int line = 1;
    QString reason;
    QString text() const { return QStringLiteral("Line %1: %2").arg(line).arg(reason); }
};

std::variant<Schedule, ScheduleError> parseSchedule(const QByteArray &text);
QByteArray scheduleJson(const Schedule &schedule);

} // namespace zor::runs
