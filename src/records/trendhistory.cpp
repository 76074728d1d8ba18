#include "records/trendhistory.h"

#include <algorithm>
#include <utility>

namespace zor {

TrendHistory::TrendHistory(qint64 spanNs, qint64 spacingNs)
    : capacity_(qsizetype(spanNs / spacingNs) + 1) {}

void TrendHistory::add(const SupplySample &s) {
    if (s.stale) {
        gap_ = true;
        return;
    }
    TrendPoint p;
    p.afterGap = std::exchange(gap_, false);
    p.monotonicNs = s.monotonicNs;
    for (const QuantityInfo &q : Quantities)
        if (q.trend != TrendAxis::None)
            p[q.id] = float(s.reading(q.id).value);
    p.arcCount = qint16(s.arcCount);
    add(p, s.wallClock);
}

void TrendHistory::add(const TrendPoint &p, const QDateTime &wallClock) {
    if (qsizetype(ring_.size()) < capacity_) {
        ring_.push_back(p);
    } else {
        ring_[head_] = p;
        head_ = (head_ + 1) % capacity_;
    }
    anchorNs_ = p.monotonicNs;
    anchorWallMs_ = wallClock.toMSecsSinceEpoch();
}

void TrendHistory::clear() {
    ring_.clear();
    head_ = 0;
    gap_ = false;
}

qsizetype TrendHistory::lowerBound(qint64 monotonicNs) const {
    qsizetype lo = 0, hi = size();
    while (lo < hi) {
        const qsizetype mid = (lo + hi) / 2;
        if (at(mid).monotonicNs < monotonicNs)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace zor
