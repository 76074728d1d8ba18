#pragma once

#include <QByteArray>
#include <QString>
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
struct Schedule {
    QString name;
    std::vector<ScheduleStep> steps;
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
