#include "records/decimate.h"

namespace zor {

QList<Run> unbrokenRuns(const TrendHistory &h, qint64 fromNs, qint64 toNs) {
    QList<Run> runs;
    const qsizetype begin = h.lowerBound(fromNs), end = h.lowerBound(toNs);
    for (qsizetype i = begin; i < end; ++i)
        if (i == begin || h.at(i).afterGap)
            runs.append({i, i});
    for (qsizetype r = 0; r < runs.size(); ++r)
        runs[r].second = r + 1 < runs.size() ? runs[r + 1].first : end;
    return runs;
}

QList<QPointF> decimate(const TrendHistory &h, Quantity q, qint64 fromNs, qint64 toNs,
                        int columns) {
    return decimate(h, q, {h.lowerBound(fromNs), h.lowerBound(toNs)}, fromNs, toNs, columns);
}

QList<QPointF> decimate(const TrendHistory &h, Quantity q, Run run, qint64 fromNs, qint64 toNs,
                        int columns) {
    return minMaxPerColumn(
        run.first, run.second, [&](qsizetype i) { return h.wallMs(h.at(i).monotonicNs); },
        [&](qsizetype i) { return h.at(i)[q]; }, h.wallMs(fromNs), h.wallMs(toNs),
        columns);
}

QList<QPointF> steps(const TrendHistory &h, Quantity q, qint64 fromNs, qint64 toNs) {
    return steps(h, q, {h.lowerBound(fromNs), h.lowerBound(toNs)});
}

QList<QPointF> steps(const TrendHistory &h, Quantity q, Run run) {
    QList<QPointF> out;
    const auto [begin, end] = run;
    for (qsizetype i = begin; i < end; ++i) {
        const double x = h.wallMs(h.at(i).monotonicNs), y = h.at(i)[q];
        if (i == begin || i == end - 1 || y != out.last().y()) {
            if (i > begin && y != out.last().y())
                out.append({x, out.last().y()});
            out.append({x, y});
        }
    }
    return out;
}

QList<QPointF> arcMarks(const TrendHistory &h, qint64 fromNs, qint64 toNs, int columns) {
    QList<QPointF> out;
    const qsizetype begin = h.lowerBound(fromNs), end = h.lowerBound(toNs);
    const double perColumn = columns / double(std::max<qint64>(1, toNs - fromNs));
    int lastColumn = -1;
    for (qsizetype i = std::max<qsizetype>(begin, 1); i < end; ++i) {
        const TrendPoint &p = h.at(i);
        if (p.arcCount <= h.at(i - 1).arcCount)
            continue;
        const int column = int((p.monotonicNs - fromNs) * perColumn);
        if (column == lastColumn)
            continue;
        lastColumn = column;
        out.append({h.wallMs(p.monotonicNs), double(p[Quantity::KvMonitor])});
    }
    return out;
}

} // namespace zor
