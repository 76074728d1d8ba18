#include "runs/tubehistory.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <cmath>

namespace zor::runs {

namespace {

double planned(const QJsonObject &step, const char *key) {
    return step.value(QLatin1String("planned")).toObject().value(QLatin1String(key)).toDouble();
}

std::optional<double> settled(const QJsonObject &step, const char *key) {
    const QJsonValue mean = step.value(QLatin1String(key)).toObject().value(QLatin1String("mean"));
    return mean.isDouble() ? std::optional(mean.toDouble()) : std::nullopt;
}

// A kV read above this is the high voltage on, not the monitor's noise.
constexpr double OnKv = 1.0;

bool atHighVoltage(const QJsonObject &step) {
    for (const QJsonValue &pt : step.value(QLatin1String("points")).toArray())
        if (pt.toArray().at(1).toDouble() > OnKv)
            return true;
    return false;
}

QJsonValue optional(const std::optional<double> &v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

// The tube a record belongs to, from its first line alone.
QString tubeOf(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readLine())
        .object()
        .value(QLatin1String("tube"))
        .toString();
}

QStringList records(const QString &folder) {
    const QDir dir(folder);
    QStringList out;
    // Names begin with the start's date and time, so by name is by age.
    for (const QString &name : dir.entryList({QStringLiteral("*.jsonl")}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

} // namespace

TubeRun tubeRun(const RunReport &r) {
    TubeRun out;
    out.tube = r.run.value(QLatin1String("tube")).toString();
    out.kind = r.run.value(QLatin1String("kind")).toString();
    out.end = r.end;
    out.started =
        QDateTime::fromString(r.run.value(QLatin1String("started")).toString(), Qt::ISODate);
    out.seconds = r.seconds;
    if (r.end == endText(RunEnd::Completed))
        out.completeSeconds = r.seconds;
    std::map<int, std::pair<int, double>> bands; // arcs, seconds
    double topKv = -1;
    bool hv = false;
    for (const QJsonObject &s : r.steps) {
        const double kv = planned(s, "kv"), seconds = s.value(QLatin1String("seconds")).toDouble();
        auto &band = bands[int(std::floor(kv / KvBandWidth)) * KvBandWidth];
        band.first += s.value(QLatin1String("arcs")).toInt();
        band.second += seconds;
        const auto held = settled(s, "kv");
        if (held && seconds >= planned(s, "seconds"))
            out.highestKvHeld = std::max(out.highestKvHeld.value_or(*held), *held);
        if (kv > topKv) {
            topKv = kv;
            out.filamentAtTop = settled(s, "fil");
        }
        hv = hv || atHighVoltage(s);
    }
    for (const auto &[band, arcsTime] : bands)
        if (arcsTime.second > 0)
            out.arcsPerHour[band] = arcsTime.first * 3600.0 / arcsTime.second;
    if (hv && out.started.isValid())
        out.lastAtHighVoltage = out.started.addMSecs(qRound64(r.seconds * 1000));
    return out;
}

std::vector<TubeRun> tubeRuns(const QString &folder) {
    std::vector<TubeRun> out;
    for (const QString &path : records(folder))
        out.push_back(tubeRun(readRecord(path)));
    return out;
}

std::map<QString, std::vector<TubeRun>> byTube(const std::vector<TubeRun> &runs) {
    std::map<QString, std::vector<TubeRun>> out;
    for (const TubeRun &r : runs)
        out[r.tube].push_back(r);
    return out;
}

QJsonObject historyJson(const std::vector<TubeRun> &runs, const QString &tube) {
    QJsonArray tubes;
    for (const auto &[name, list] : byTube(runs)) {
        if (!tube.isEmpty() && name != tube)
            continue;
        QJsonArray rows;
        std::optional<QDateTime> last;
        for (const TubeRun &r : list) {
            QJsonObject arcs;
            for (const auto &[band, rate] : r.arcsPerHour)
                arcs.insert(QString::number(band), rate);
            if (r.lastAtHighVoltage)
                last = std::max(last.value_or(*r.lastAtHighVoltage), *r.lastAtHighVoltage);
            rows.append(QJsonObject{{"started", isoTime(r.started)},
                                    {"kind", r.kind},
                                    {"end", r.end},
                                    {"seconds", r.seconds},
                                    {"arcsPerHour", arcs},
                                    {"highestKvHeld", optional(r.highestKvHeld)},
                                    {"completeSeconds", optional(r.completeSeconds)},
                                    {"filamentAtTop", optional(r.filamentAtTop)}});
        }
        tubes.append(
            QJsonObject{{"tube", name},
                        {"lastAtHighVoltage", last ? QJsonValue(isoTime(*last)) : QJsonValue()},
                        {"runs", rows}});
    }
    return {{"tubes", tubes}};
}

std::optional<int> idleDays(const QString &folder, const QString &tube, const QDateTime &now) {
    std::optional<QDateTime> last;
    for (const QString &path : records(folder)) {
        // Only this tube's records are read whole.
        if (tubeOf(path) != tube)
            continue;
        if (const auto at = tubeRun(readRecord(path)).lastAtHighVoltage)
            last = std::max(last.value_or(*at), *at);
    }
    if (!last)
        return std::nullopt;
    return int(last->secsTo(now) / 86400);
}

int idleWarningDays() {
    return QSettings().value(QStringLiteral("tubes/idleWarningDays"), 90).toInt();
}

void setIdleWarningDays(int days) {
    QSettings().setValue(QStringLiteral("tubes/idleWarningDays"), days);
}

} // namespace zor::runs
