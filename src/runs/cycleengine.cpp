#include "runs/cycleengine.h"

#include "link/devicelink.h"
#include "platform/timer.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"

#include <QPointer>

namespace zor::runs {

CycleEngine::CycleEngine(SupplyOps &ops, Timer &timer, QObject *parent)
    : QObject(parent), ops_(ops), timer_(timer), guard_(ops.state()) {
    connect(&guard_, &RunGuard::tripped, this, [this](const QString &why) {
        if (!cycleRunning)
            return;
        // Nothing goes to a unit the test never drove.
        if (why == RunGuard::PortChanged)
            halt(RunEnd::Abandoned, why);
        else
            abandon(why);
    });
}

bool CycleEngine::start(qint16 onTime, qint16 period, std::optional<quint64> offSeen) {
    if (offSeen && *offSeen != ops_.offAsked())
        return false;
    if (!ops_.state().claimRun(Owner))
        return false;
    cycleRunning = true;
    active_ = true;
    cycleOnTime = onTime;
    cyclePeriod = period;
    cyclesDone = 0;
    const quint64 id = ++session_;
    offSeen_ = offSeen.value_or(ops_.offAsked());
    guard_.arm();
    ops_.auditRun(QStringLiteral("cycle test start"),
                  QStringLiteral("on %1 s, period %2 s").arg(onTime).arg(period));
    QPointer<CycleEngine> self(this);
    // The warning before X-rays counts down once, before the test's first on.
    ops_.xrayWarning().start(
        offSeen_,
        [self, id] {
            if (self && self->current(id))
                self->begin(id);
        },
        [self, id] {
            if (self && self->current(id))
                self->stop(RunEnd::XrayOff);
        });
    return true;
}

void CycleEngine::begin(quint64 id) {
    QPointer<CycleEngine> self(this);
    SupplyOps *ops = &ops_;
    Timer *timer = &timer_;
    // Owned by the link, not by the test: the first switching is not dropped
    // with any window.
    ops_.link().command(&ops_.link(), [self, ops, timer, id]() -> Task<> {
        if (!self || !self->current(id))
            co_return;
        const quint64 seen = self->offSeen_;
        // With the voltage already on, off and on again: every test begins
        // with a fresh on phase.
        co_await ops->runHighVoltage(false, seen);
        const bool on = co_await ops->runHighVoltage(true, seen);
        if (!self || !self->current(id))
            co_return;
        if (!on) {
            self->onFailed();
            co_return;
        }
        self->cycleCount = 0;
        timer->setEnabled(true);
        ops->state().note(EventType::RunStarted,
                          QStringLiteral("Cycle test started: on %1 s, period %2 s")
                              .arg(self->cycleOnTime)
                              .arg(self->cyclePeriod));
        emit self->started();
        emit self->cycleStarted(1);
    });
}

void CycleEngine::tick() {
    QPointer<CycleEngine> self(this);
    SupplyOps *ops = &ops_;
    const quint64 id = session_;
    // Queued at most once behind another command: a late phase runs once, and
    // asks for the state its phase needs rather than toggling, so neither a
    // burst of ticks nor a switch moved by someone else can turn the test's
    // phases upside down.
    ops_.link().command(
        this,
        [self, ops, id]() -> Task<> {
            if (!self || !self->current(id))
                co_return;
            const quint64 seen = self->offSeen_;
            ++self->cycleCount;
            if (self->cycleCount == self->cycleOnTime) {
                co_await ops->runHighVoltage(false, seen);
            } else if (self->cycleCount >= self->cyclePeriod) {
                self->cycleCount = 0;
                if (!co_await ops->runHighVoltage(true, seen)) {
                    if (self && self->current(id))
                        self->onFailed();
                    co_return;
                }
                if (!self)
                    co_return;
                ++self->cyclesDone;
                emit self->cycleStarted(self->cyclesDone + 1);
            }
            if (self)
                emit self->progress();
        },
        &timer_);
}

void CycleEngine::onFailed() {
    if (ops_.offAsked() != offSeen_)
        halt(RunEnd::XrayOff);
    else
        abandon(RunGuard::Refused);
}

void CycleEngine::stop(RunEnd why) {
    // Asked while the test's prompts were open: nothing of it has started.
    if (!active_) {
        cycleRunning = false;
        return;
    }
    // Off whatever the switch shows (an earlier off may have been lost), before
    // the record and its report are written.
    ops_.runSwitchOff();
    halt(why);
    ops_.state().note(EventType::RunEnded, QStringLiteral("Cycle test stopped"));
}

void CycleEngine::abandon(const QString &why) {
    ops_.runSwitchOff();
    SupplyOps *ops = &ops_;
    ops_.link().command(&ops_.link(), [ops]() -> Task<> {
        const std::function<bool()> always = [] { return true; };
        co_await ops->seasoningStepTask(0, 0, always);
    });
    halt(RunEnd::Abandoned, why);
    ops_.state().note(EventType::RunEnded, QStringLiteral("Cycle test abandoned: %1").arg(why));
}

void CycleEngine::halt(RunEnd why, const QString &reason) {
    const bool was = std::exchange(active_, false);
    guard_.disarm();
    timer_.setEnabled(false);
    cycleRunning = false;
    ++session_;
    ops_.state().releaseRun(Owner);
    if (was) {
        ops_.xrayWarning().cancel();
        ops_.auditRun(QStringLiteral("cycle test stop"),
                      reason.isEmpty() ? endText(why)
                                       : endText(why) + QStringLiteral(": ") + reason);
        emit ended(why, reason);
    }
}

} // namespace zor::runs
