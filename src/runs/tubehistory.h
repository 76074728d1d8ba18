#pragma once

#include "runs/runrecord.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace zor::runs {

// kV bands of the arc rate: 0-9.99, 10-19.99, ... named by their lower end.
inline constexpr int KvBandWidth = 10;

// What one run says about its tube, from its record alone.
struct TubeRun {
    QString tube;
    QString kind;
    QString end;
    QDateTime started;
    double seconds = 0;
    // Arcs per hour spent at each band's planned kV.
    std::map<int, double> arcsPerHour;
    // The highest settled kV of a step held for its whole time.
    std::optional<double> highestKvHeld;
    // The run's length when it completed its schedule.
    std::optional<double> completeSeconds;
    // The settled filament current of the step with the highest planned kV.
    std::optional<double> filamentAtTop;
    // The end of the run, when some step of it ran at high voltage.
    std::optional<QDateTime> lastAtHighVoltage;
};

TubeRun tubeRun(const RunReport &record);
// Every record in a folder, oldest first.
std::vector<TubeRun> tubeRuns(const QString &folder);
// The runs by tube, each tube's oldest first.
std::map<QString, std::vector<TubeRun>> byTube(const std::vector<TubeRun> &runs);
// {"tubes": [{"tube", "lastAtHighVoltage", "runs": [...]}]}, one tube or all.
QJsonObject historyJson(const std::vector<TubeRun> &runs, const QString &tube = {});

// Whole days since the tube was last at high voltage, from the records in a
// folder; nothing when no record shows it there.
std::optional<int> idleDays(const QString &folder, const QString &tube, const QDateTime &now);
// Days idle after which switching on asks first (a setting, 90 unless changed).
int idleWarningDays();
void setIdleWarningDays(int days);

} // namespace zor::runs
