#pragma once

#include "runs/schedulefile.h"

#include <QString>
#include <deque>
#include <vector>

namespace zor::runs {

// What an adaptive run decides, as its record names it.
enum class Decision { Hold, Resume, Back, DwellEnd, Abandon };
QString decisionText(Decision d);

// The adaptive rules as a pure gate: arcs and the clock go in (seconds on any
// monotonic scale), decisions come out. The engine applies them; the gate
// sends nothing and knows no steps.
class ArcGate {
public:
    explicit ArcGate(const Adaptive &rules) : rules_(rules) {}

    void arc(double at);
    // The step ran its whole time: back-offs in a row start again from none.
    void stepDone() { backoffsInRow_ = 0; }
    // One second of the run, at `now`: the decisions taken, in order. After a
    // Back the run dwells at the lower step; a DwellEnd lets it climb again.
    std::vector<Decision> tick(double now);

    // Whether the step's own clock counted this second (not while holding or
    // dwelling).
    bool clockRuns() const { return clockRuns_; }
    bool holding() const { return held_; }
    bool dwelling() const { return dwelling_; }
    int dwellLeft() const { return dwellLeft_; }
    // Arcs in the sliding window; those before the last back-off are spent.
    int arcsInWindow(double now) const;
    int arcsInRun() const { return arcsInRun_; }
    const Adaptive &rules() const { return rules_; }

private:
    Adaptive rules_;
    std::deque<double> arcs_;
    double spentUpTo_ = -1e300;
    int arcsInRun_ = 0;
    int backoffsInRow_ = 0;
    int dwellLeft_ = 0;
    bool dwelling_ = false;
    bool held_ = false;
    bool clockRuns_ = true;
};

} // namespace zor::runs
