#pragma once

#include "records/trendhistory.h"

#include <QList>
#include <QPointF>
#include <algorithm>
#include <cmath>
#include <utility>

namespace zor {

// Reduces the points [begin, end) of a series sorted by x, all within [from, to],
// to at most two per column: the column's lowest and highest point, in the order
// they came and at their own x. A single odd sample (an arc's dip) therefore
// survives however many samples share its column, and the drawing costs the
// same whatever the span.
template <typename X, typename Y>
QList<QPointF> minMaxPerColumn(qsizetype begin, qsizetype end, X x, Y y, double from, double to,
                               int columns) {
    QList<QPointF> out;
    if (columns <= 0 || !(to > from))
        return out;
    out.reserve(2 * columns);
    const double perColumn = columns / (to - from);
    int column = -1;
    qsizetype lo = -1, hi = -1;
    const auto flush = [&] {
        if (lo < 0)
            return;
        const qsizetype first = std::min(lo, hi), second = std::max(lo, hi);
        out.append({double(x(first)), double(y(first))});
        if (second != first)
            out.append({double(x(second)), double(y(second))});
    };
    for (qsizetype i = begin; i < end; ++i) {
        // The newest point may sit on `to` itself: it belongs to the last column.
        const int c = std::clamp(int(std::floor((x(i) - from) * perColumn)), 0, columns - 1);
        if (c != column) {
            flush();
            column = c;
            lo = hi = i;
            continue;
        }
        const double yi = y(i);
        if (yi < y(lo))
            lo = i;
        if (yi > y(hi))
            hi = i;
    }
    flush();
    return out;
}

// The samples between two monotonic stamps as index ranges [first, second),
// cut wherever the supply was silent: no line is drawn across an outage.
using Run = std::pair<qsizetype, qsizetype>;
QList<Run> unbrokenRuns(const TrendHistory &h, qint64 fromNs, qint64 toNs);

// One series of the history between two monotonic stamps, x in wall-clock ms;
// with a run, only its samples, on the same columns.
QList<QPointF> decimate(const TrendHistory &h, Quantity q, qint64 fromNs, qint64 toNs,
                        int columns);
QList<QPointF> decimate(const TrendHistory &h, Quantity q, Run run, qint64 fromNs, qint64 toNs,
                        int columns);
// A series that moves in steps (a set-point) as its corners only: the first
// point, each change drawn as a vertical edge, and the last point.
QList<QPointF> steps(const TrendHistory &h, Quantity q, qint64 fromNs, qint64 toNs);
QList<QPointF> steps(const TrendHistory &h, Quantity q, Run run);
// A mark at the kV monitor wherever the arc count rose, at most one per column.
QList<QPointF> arcMarks(const TrendHistory &h, qint64 fromNs, qint64 toNs, int columns);

} // namespace zor
