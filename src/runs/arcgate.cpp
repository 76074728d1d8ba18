#include "runs/arcgate.h"

#include <algorithm>

namespace zor::runs {

QString decisionText(Decision d) {
    switch (d) {
    case Decision::Hold:
        return QStringLiteral("hold");
    case Decision::Resume:
        return QStringLiteral("resume");
    case Decision::Back:
        return QStringLiteral("back");
    case Decision::DwellEnd:
        return QStringLiteral("dwell_end");
    case Decision::Abandon:
        break;
    }
    return QStringLiteral("abandon");
}

void ArcGate::arc(double at) {
    arcs_.push_back(at);
    ++arcsInRun_;
}

int ArcGate::arcsInWindow(double now) const {
    const double from = std::max(now - rules_.window_s, spentUpTo_);
    return int(
        std::count_if(arcs_.begin(), arcs_.end(), [&](double t) { return t > from && t <= now; }));
}

std::vector<Decision> ArcGate::tick(double now) {
    while (!arcs_.empty() && arcs_.front() <= now - rules_.window_s)
        arcs_.pop_front();
    clockRuns_ = false;
    if (arcsInRun_ >= rules_.max_arcs)
        return {Decision::Abandon};
    const int n = arcsInWindow(now);
    if (n > rules_.back_above) {
        if (backoffsInRow_ >= rules_.max_backoffs)
            return {Decision::Abandon};
        ++backoffsInRow_;
        // The arcs that called for this back-off must not call for the next.
        spentUpTo_ = now;
        dwelling_ = true;
        dwellLeft_ = rules_.dwell_s;
        held_ = false;
        return {Decision::Back};
    }
    if (n > rules_.hold_above) {
        if (held_)
            return {};
        held_ = true;
        return {Decision::Hold};
    }
    std::vector<Decision> out;
    if (held_) {
        held_ = false;
        out.push_back(Decision::Resume);
    }
    if (!dwelling_) {
        clockRuns_ = true;
        return out;
    }
    if (dwellLeft_ > 0)
        --dwellLeft_;
    if (dwellLeft_ == 0) {
        dwelling_ = false;
        out.push_back(Decision::DwellEnd);
    }
    return out;
}

} // namespace zor::runs
