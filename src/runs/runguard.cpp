#include "runs/runguard.h"

#include "supply/supplystate.h"

namespace zor::runs {

RunGuard::RunGuard(SupplyState &state, QObject *parent) : QObject(parent), state_(state) {
    connect(&state_, &SupplyState::transportChanged, this, [this] { trip(PortChanged); });
    connect(&state_, &SupplyState::statusChanged, this, &RunGuard::statusChanged);
    connect(&state_, &SupplyState::sampled, this, [this] {
        // One poll's arc is the tube's business (counted, or the adaptive
        // rules'); a trip still there a poll later has latched the supply off.
        arcPolls_ = state_.status().faults.arcOk == false ? arcPolls_ + 1 : 0;
        if (arcPolls_ >= 2)
            trip(ArcTrip);
    });
}

void RunGuard::arm() {
    armed_ = true;
    last_ = state_.status();
    arcPolls_ = 0;
}

void RunGuard::trip(const QString &why) {
    if (!armed_)
        return;
    armed_ = false;
    emit tripped(why);
}

void RunGuard::statusChanged(const StatusBits &now) {
    const StatusBits before = std::exchange(last_, now);
    for (const FlagInfo &f : StatusFlags) {
        if (std::string_view(f.key) == "arc_ok" || f.of(now) != f.alarm || f.of(before) == f.alarm)
            continue;
        QString why = QString::fromLatin1(f.raised).remove(QStringLiteral(" raised"));
        why[0] = why[0].toLower();
        trip(why);
        return;
    }
}

} // namespace zor::runs
