#include "runs/adaptivesummary.h"

#include "runs/schedulefile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <algorithm>
#include <map>

namespace zor::runs {

namespace {
QString field(const QJsonObject &o, const char *key) {
    return o.value(QLatin1String(key)).toString();
}
} // namespace

AdaptiveSummary adaptiveSummary(const std::vector<QJsonObject> &recordLines) {
    AdaptiveSummary out;
    QJsonObject rules;
    bool adaptive = false;
    int lastStep = 0;
    struct Visit {
        int step;
        double kv, start;
        int arcs;
        bool cut;
    };
    std::vector<Visit> visits;
    double elapsed = 0, end = 0;
    bool cut = false;
    double holdFrom = -1; // below 0: not holding
    for (const QJsonObject &line : recordLines) {
        const QString kind = field(line, "record");
        if (kind == QLatin1String("run")) {
            const QJsonObject schedule = line.value(QLatin1String("schedule")).toObject();
            rules = schedule.value(QLatin1String("adaptive")).toObject();
            adaptive = schedule.value(QLatin1String("adaptive")).isObject();
            lastStep = int(schedule.value(QLatin1String("steps")).toArray().size());
        } else if (kind == QLatin1String("step")) {
            visits.push_back({line.value(QLatin1String("step")).toInt(),
                              line.value(QLatin1String("planned"))[QLatin1String("kv")].toDouble(),
                              elapsed, line.value(QLatin1String("arcs")).toInt(), cut});
            elapsed += line.value(QLatin1String("seconds")).toDouble();
            cut = false;
        } else if (kind == QLatin1String("decision")) {
            const QString d = field(line, "decision");
            const double t = line.value(QLatin1String("time")).toDouble();
            if (d == QLatin1String("hold")) {
                holdFrom = holdFrom < 0 ? t : holdFrom;
                continue;
            }
            if (holdFrom >= 0)
                out.holds.emplace_back(holdFrom, t);
            holdFrom = -1;
            if (d == QLatin1String("back"))
                out.backs.push_back(t);
            // The step this decision was taken in did not run its whole time.
            cut = cut || d != QLatin1String("resume");
        } else if (kind == QLatin1String("end")) {
            end = line.value(QLatin1String("seconds")).toDouble();
        }
    }
    if (!adaptive)
        return {};
    if (holdFrom >= 0)
        out.holds.emplace_back(holdFrom, std::max(end, elapsed));
    // A step's line is written when the next starts, after the decisions taken
    // in it; the last was cut by the run's end.
    double highest = -1, reachedLast = -1; // below 0: none
    std::map<int, int> arcs;
    for (std::size_t i = 0; i < visits.size(); ++i) {
        const Visit &v = visits[i];
        if (v.step > lastStep)
            continue;
        if (!v.cut && i + 1 < visits.size())
            highest = std::max(highest, v.kv);
        // The last arrival: the run may have backed off from earlier ones.
        if (v.step == lastStep)
            reachedLast = v.start;
        arcs[v.step] += v.arcs;
    }
    QStringList perStep, ruleText;
    for (const auto &[step, n] : arcs)
        perStep << QStringLiteral("%1: %2").arg(step).arg(n);
    for (const AdaptiveKey &k : AdaptiveKeys)
        ruleText << QStringLiteral("%1 %2")
                        .arg(QLatin1String(k.name))
                        .arg(rules.value(QLatin1String(k.name)).toInt(Adaptive{}.*k.field));
    out.lines = {
        QStringLiteral("Adaptive: %1").arg(ruleText.join(QStringLiteral(", "))),
        QStringLiteral("Highest kV held for a full step: %1")
            .arg(highest >= 0 ? QString::number(highest, 'f', 1) + QStringLiteral(" kV")
                              : QStringLiteral("none")),
        QStringLiteral("Time to the last step: %1")
            .arg(reachedLast >= 0 ? QString::number(reachedLast, 'f', 0) + QStringLiteral(" s")
                                  : QStringLiteral("not reached")),
        QStringLiteral("Arcs per step: %1")
            .arg(perStep.isEmpty() ? QStringLiteral("none") : perStep.join(QStringLiteral(", "))),
        QStringLiteral("Back-offs: %1").arg(out.backs.size())};
    return out;
}

AdaptiveSummary adaptiveSummary(const QString &recordPath) {
    std::vector<QJsonObject> lines;
    QFile file(recordPath);
    if (file.open(QIODevice::ReadOnly))
        while (!file.atEnd())
            lines.push_back(QJsonDocument::fromJson(file.readLine()).object());
    return adaptiveSummary(lines);
}

void drawAdaptiveMarks(QPainter &p, const QRectF &area, double span, double markHeight,
                       const AdaptiveSummary &summary) {
    const auto x = [&](double t) {
        return area.left() + area.width() * std::clamp(t / std::max(span, 1.0), 0.0, 1.0);
    };
    p.save();
    for (const auto &[from, to] : summary.holds)
        p.fillRect(QRectF(x(from), area.top(), std::max(1.0, x(to) - x(from)), area.height()),
                   QColor(255, 165, 0, 60));
    p.setPen(QPen(QColor(160, 0, 160), markHeight / 10, Qt::DashLine));
    for (const double t : summary.backs)
        p.drawLine(QPointF(x(t), area.top()), QPointF(x(t), area.bottom()));
    if (summary.adaptive()) {
        p.setPen(Qt::black);
        p.drawText(QPointF(area.left(), area.bottom() + 3 * markHeight),
                   QStringLiteral("holds (shaded orange)   back-offs (dashed purple)"));
    }
    p.restore();
}

} // namespace zor::runs
