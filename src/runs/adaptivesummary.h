#pragma once

#include <QJsonObject>
#include <QStringList>
#include <utility>
#include <vector>

class QPainter;
class QRectF;

namespace zor::runs {

// What the record of an adaptive run tells, from its lines alone: the
// report's summary and the marks on its plot's time axis (seconds from the
// start). Nothing for a run without rules.
struct AdaptiveSummary {
    QStringList lines;
    std::vector<double> backs;
    std::vector<std::pair<double, double>> holds;
    bool adaptive() const { return !lines.isEmpty(); }
};
AdaptiveSummary adaptiveSummary(const std::vector<QJsonObject> &recordLines);
AdaptiveSummary adaptiveSummary(const QString &recordPath);

// Holds as shaded spans, back-offs as marks, over a plot of `span` seconds.
void drawAdaptiveMarks(QPainter &p, const QRectF &area, double span, double markHeight,
                       const AdaptiveSummary &summary);

} // namespace zor::runs
