#pragma once

#include "supply/supplystate.h"

#include <QDateTime>
#include <array>
#include <cmath>
#include <vector>

namespace zor {

// One poll cycle as the trend keeps it: the trended quantities (32 bytes for
// the five of today).
struct TrendPoint {
    qint64 monotonicNs = 0;
    std::array<float, TrendCount> values{}; // by trendSlot()
    qint16 arcCount = 0; // the count stops at its 16-bit top
    // The supply was silent before this point: no line joins it to the one before.
    bool afterGap = false;
    float &operator[](Quantity q) { return values[trendSlot(q)]; }
    float operator[](Quantity q) const { return values[trendSlot(q)]; }
};
static_assert(sizeof(TrendPoint) == 32);

// The last hours of samples in a ring of fixed capacity: once full, each new
// sample replaces the oldest, so memory stays flat however long the console runs.
class TrendHistory {
public:
    static constexpr qint64 HourNs = 3600LL * 1000 * 1000 * 1000;
    // The poll's shortest cycle: seven ticks of 66 ms.
    static constexpr qint64 CycleFloorNs = 7LL * 66 * 1000 * 1000;

    // Room for spanNs of samples spaced spacingNs apart.
    explicit TrendHistory(qint64 spanNs = 8 * HourNs, qint64 spacingNs = CycleFloorNs);

    // A stale cycle (a failed exchange, a silent supply) adds no point; the
    // next good one starts a new line.
    void add(const SupplySample &s);
    void add(const TrendPoint &p, const QDateTime &wallClock);
    void clear();

    qsizetype size() const { return qsizetype(ring_.size()); }
    qsizetype capacity() const { return capacity_; }
    // 0 is the oldest sample kept.
    const TrendPoint &at(qsizetype i) const {
        // No division: this runs for every sample of every redraw.
        const qsizetype j = head_ + i;
        return ring_[j < qsizetype(ring_.size()) ? j : j - qsizetype(ring_.size())];
    }
    // The first sample at or after monotonicNs (size() when none).
    qsizetype lowerBound(qint64 monotonicNs) const;

    // Wall clock (ms since the epoch, with fractions so that stamps under a
    // millisecond apart stay in order) of a monotonic stamp, from the latest sample.
    double wallMs(qint64 monotonicNs) const {
        return double(anchorWallMs_) + double(monotonicNs - anchorNs_) / 1e6;
    }
    QDateTime wallClock(qint64 monotonicNs) const {
        return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(wallMs(monotonicNs))));
    }
    qint64 monotonicAt(qint64 wallMs) const {
        return anchorNs_ + (wallMs - anchorWallMs_) * 1000000;
    }

private:
    qsizetype capacity_;
    std::vector<TrendPoint> ring_;
    qsizetype head_ = 0; // index of the oldest once the ring is full
    bool gap_ = false;
    qint64 anchorNs_ = 0;
    qint64 anchorWallMs_ = 0;
};

} // namespace zor
