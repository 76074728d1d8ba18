#include "runs/seasoningengine.h"

#include "link/devicelink.h"
#include "platform/timer.h"
#include "runs/seasoningsteps.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"

#include <QPointer>
#include <algorithm>

namespace zor::runs {

QJsonObject DecisionNote::json() const {
    QJsonObject out{
        {"decision", decisionText(decision)}, {"step", step}, {"kv", kv}, {"arcs", arcs}};
    if (to)
        out.insert(QLatin1String("to"), to);
    if (!why.isEmpty())
        out.insert(QLatin1String("why"), why);
    return out;
}

SeasoningEngine::SeasoningEngine(SupplyOps &ops, Timer &timer, StepAt steps, QObject *parent)
    : QObject(parent), ops_(ops), timer_(timer), steps_(std::move(steps)), guard_(ops.state()) {
    sinceMade_.start();
    connect(&guard_, &RunGuard::tripped, this, [this](const QString &why) {
        if (running_)
            finish(RunEnd::Abandoned, true, why, why != RunGuard::PortChanged);
    });
    clock_ = [this] { return double(sinceMade_.elapsed()) / 1000.0; };
    connect(&ops_.state(), &SupplyState::arcCountChanged, this, &SeasoningEngine::arcCounted);
    connect(&ops_.state(), &SupplyState::readingChanged, this,
            [this](Quantity q, const Reading &r) {
                // Acted on at the next second: this comes from inside an exchange.
                if (gate_ && running_ && programmed_ && r.count &&
                    ((q == setpointOf(Channel::Kv) && *r.count != programmed_->first) ||
                     (q == setpointOf(Channel::Ma) && *r.count != programmed_->second)))
                    setpointMoved_ = true;
            });
}

bool SeasoningEngine::start(std::optional<quint64> offSeen) {
    QString fault;
    const auto first = steps_(0, &fault);
    if (offSeen && *offSeen != ops_.offAsked())
        return false;
    if (!first || !ops_.state().claimRun(Owner))
        return false;
    timer_.setEnabled(false);
    running_ = true;
    const quint64 id = ++runId_;
    stepIndex_ = 0;
    stepTimeLeft_ = first->seconds;
    offSeen_ = offSeen.value_or(ops_.offAsked());
    guard_.arm();
    gate_.reset();
    if (rules_)
        gate_ = std::make_unique<ArcGate>(*rules_);
    lastArcCount_ = ops_.state().arcCount();
    programmed_.reset();
    setpointMoved_ = false;
    ops_.state().note(EventType::RunStarted, QStringLiteral("Seasoning started"));
    ops_.auditRun(QStringLiteral("seasoning start"), QStringLiteral("step 1: %1 kV, %2 mA, %3 s")
                                                         .arg(first->kv)
                                                         .arg(first->ma)
                                                         .arg(first->seconds));
    // The warning before X-rays counts down once, before the run's first on.
    QPointer<SeasoningEngine> self(this);
    ops_.xrayWarning().start(
        offSeen_,
        [self, id, step = *first] {
            if (self && self->current(id))
                self->begin(step);
        },
        [self, id] {
            if (self && self->current(id))
                self->stop(RunEnd::XrayOff);
        });
    return true;
}

void SeasoningEngine::begin(const SeasonStep &first) {
    QPointer<SeasoningEngine> self(this);
    SupplyOps *ops = &ops_;
    const quint64 offSeen = offSeen_;
    const quint64 id = runId_;
    ops_.link().command(&ops_.link(), [self, ops, id, offSeen]() -> Task<> {
        // A run stopped before this came round must not switch the voltage on.
        if (!self || !self->current(id) || co_await ops->runHighVoltage(true, offSeen) || !self ||
            !self->current(id))
            co_return;
        if (ops->offAsked() != offSeen)
            self->stop(RunEnd::XrayOff);
        else
            self->abandon(RunGuard::Refused);
    });
    program(0, first);
    resumeTicking();
    if (gate_)
        showAdaptive();
}

void SeasoningEngine::program(int row, const SeasonStep &step) {
    if (running_)
        emit stepStarted(row, step);
    if (row != FinalRow)
        current_ = step;
    programmed_.reset();
    SupplyOps *ops = &ops_;
    QPointer<SeasoningEngine> self(this);
    // The closing zeros always go out; a step's setpoints only while the run
    // that asked for them is still going when their turn comes. Owned by the
    // link, so unloading a window cannot drop the zeros.
    const bool zeroing = row == FinalRow;
    const quint64 id = runId_;
    ops_.link().command(&ops_.link(),
                        [ops, self, zeroing, id, kv = step.kvCount, ma = step.maCount]() -> Task<> {
                            // Asked again after each reply: a stop while one waited (the X-ray
                            // off key) ends the step there, and its own zeros follow.
                            const std::function<bool()> wanted = [&] {
                                return zeroing || (self && self->current(id));
                            };
                            co_await ops->seasoningStepTask(kv, ma, wanted);
                            // Counts beyond full scale were refused, as the operator was
                            // told: their read-back proves nothing.
                            if (!zeroing && kv <= FullScaleCount && ma <= FullScaleCount && self &&
                                self->current(id))
                                self->programmed_ = std::pair(kv, ma);
                        });
}

void SeasoningEngine::resumeTicking() {
    QPointer<SeasoningEngine> self(this);
    Timer *timer = &timer_;
    const quint64 id = runId_;
    // Queued behind the step's setpoint commands when those had to wait for
    // another exchange, so ticks never overlap a step's programming.
    ops_.link().command(&ops_.link(), [self, timer, id]() -> Task<> {
        if (self && self->current(id))
            timer->setEnabled(true);
        co_return;
    });
}

void SeasoningEngine::tick() {
    if (!running_) {
        timer_.setEnabled(false);
        return;
    }
    const bool adaptive = gate_ && stepIndex_ < FinalRow;
    emit progress(stepIndex_ + 1,
                  adaptive && gate_->dwelling() ? gate_->dwellLeft() : stepTimeLeft_);
    if (adaptive && !adaptiveTick())
        return;
    if (stepTimeLeft_ > 0)
        --stepTimeLeft_;
    if (stepTimeLeft_ != 0)
        return;
    if (gate_)
        gate_->stepDone();
    advance();
}

bool SeasoningEngine::adaptiveTick() {
    if (setpointMoved_) {
        note(Decision::Abandon, gate_->arcsInWindow(clock_()), 0, AbandonSetpoint);
        finish(RunEnd::Abandoned, true, AbandonSetpoint);
        return false;
    }
    const double now = clock_();
    const int arcs = gate_->arcsInWindow(now);
    for (const Decision d : gate_->tick(now)) {
        if (d == Decision::Abandon) {
            note(d, arcs, 0, AbandonArcs);
            finish(RunEnd::Abandoned, true, AbandonArcs);
            return false;
        }
        if (d == Decision::Back) {
            const int row = std::max(0, stepIndex_ - gate_->rules().step_back);
            note(d, arcs, row + 1);
            QString fault;
            const auto step = steps_(row, &fault);
            if (!step) {
                finish(RunEnd::Abandoned, true, fault);
                return false;
            }
            timer_.setEnabled(false);
            stepIndex_ = qint16(row);
            stepTimeLeft_ = step->seconds;
            ops_.state().note(EventType::RunStep,
                              QStringLiteral("Seasoning back to step %1").arg(row + 1));
            program(row, *step);
            resumeTicking();
            showAdaptive();
            return false;
        }
        note(d, arcs);
        if (d == Decision::DwellEnd) {
            // Climbs again from the step it dwelt at.
            advance();
            return false;
        }
    }
    showAdaptive();
    return gate_->clockRuns();
}

void SeasoningEngine::note(Decision d, int arcs, int to, const QString &why) {
    emit decided({d, stepIndex_ + 1, current_.kv, arcs, to, why});
}

void SeasoningEngine::showAdaptive() {
    AdaptiveView v;
    v.phase = gate_->holding()    ? AdaptiveView::Holding
              : gate_->dwelling() ? AdaptiveView::BackingOff
                                  : AdaptiveView::Running;
    v.arcs = gate_->arcsInWindow(clock_());
    v.windowS = gate_->rules().window_s;
    v.dwellLeft = gate_->dwellLeft();
    emit adaptiveState(stepIndex_, v);
}

void SeasoningEngine::arcCounted(int count) {
    // A cleared count starts again from zero; only rises are arcs.
    for (int i = lastArcCount_; running_ && gate_ && i < count; ++i)
        gate_->arc(clock_());
    lastArcCount_ = count;
}

void SeasoningEngine::advance() {
    timer_.setEnabled(false);
    ++stepIndex_;
    if (stepIndex_ > FinalRow) {
        finish(RunEnd::Completed, false);
        return;
    }
    // A row edited into something unusable while the run was going ends the
    // run safely rather than leaving the last step's setpoints on.
    QString fault;
    auto step = steps_(stepIndex_, &fault);
    // A blank row ends the schedule: the final zeros come next.
    if (!step && fault.isEmpty() && stepIndex_ < FinalRow) {
        stepIndex_ = FinalRow;
        step = steps_(stepIndex_, &fault);
    }
    if (!step) {
        finish(RunEnd::Abandoned, true, fault);
        return;
    }
    stepTimeLeft_ = step->seconds;
    // The closing row is hidden: it is no step the operator set.
    ops_.state().note(EventType::RunStep,
                      stepIndex_ == FinalRow
                          ? QStringLiteral("Seasoning closing: setpoints to zero")
                          : QStringLiteral("Seasoning step %1").arg(stepIndex_ + 1));
    program(stepIndex_, *step);
    resumeTicking();
    if (gate_ && stepIndex_ < FinalRow)
        showAdaptive();
}

void SeasoningEngine::stop(RunEnd why) {
    if (running_)
        finish(why, true);
}

void SeasoningEngine::abandon(const QString &why) {
    if (running_)
        finish(RunEnd::Abandoned, true, why);
}

void SeasoningEngine::finish(RunEnd end, bool zeroSetpoints, const QString &why, bool send) {
    running_ = false;
    guard_.disarm();
    timer_.setEnabled(false);
    ops_.state().releaseRun(Owner);
    ops_.xrayWarning().cancel();
    // Off whatever the switch shows (an earlier off may have been lost), before
    // anything the ending writes.
    if (send)
        ops_.runSwitchOff();
    if (zeroSetpoints && send)
        program(FinalRow, SeasonStep{});
    ops_.state().note(EventType::RunEnded, zeroSetpoints ? QStringLiteral("Seasoning stopped")
                                                         : QStringLiteral("Seasoning finished"));
    ops_.auditRun(QStringLiteral("seasoning stop"),
                  why.isEmpty() ? endText(end) : endText(end) + QStringLiteral(": ") + why);
    emit ended(end, why);
}

void SeasoningEngine::halt(RunEnd why) {
    const bool was = running_;
    running_ = false;
    guard_.disarm();
    timer_.setEnabled(false);
    ops_.state().releaseRun(Owner);
    if (was) {
        ops_.auditRun(QStringLiteral("seasoning stop"), endText(why));
        emit ended(why, {});
    }
}

namespace {
QString valueText(double v) {
    return QString::number(v, 'g', 12);
}
} // namespace

std::optional<SeasonStep> scheduledStep(const Schedule &schedule, int row, double kvPerBit,
                                        double maPerBit, QString *fault) {
    if (row == FinalRow)
        return SeasonStep{};
    if (row < 0 || row >= int(schedule.steps.size()))
        return std::nullopt;
    const ScheduleStep &s = schedule.steps[std::size_t(row)];
    const auto kv = stepCount(valueText(s.kv), kvPerBit);
    const auto ma = stepCount(valueText(s.ma), maPerBit);
    if (!kv || !ma) {
        *fault = QStringLiteral("Step %1: %2 kV, %3 mA cannot be set on this supply.")
                     .arg(row + 1)
                     .arg(valueText(s.kv), valueText(s.ma));
        return std::nullopt;
    }
    return SeasonStep{s.kv, s.ma, qint16(s.seconds), *kv, *ma};
}

QStringList stepsBeyondFullScale(const QStringList &kv, const QStringList &ma, double kvPerBit,
                                 double maPerBit) {
    QStringList out;
    for (qsizetype i = 0; i < kv.size() && i < ma.size(); ++i) {
        QStringList over;
        if (stepCount(kv[i], kvPerBit).value_or(0) > FullScaleCount)
            over << kv[i].trimmed() + QStringLiteral(" kV");
        if (stepCount(ma[i], maPerBit).value_or(0) > FullScaleCount)
            over << ma[i].trimmed() + QStringLiteral(" mA");
        if (!over.isEmpty())
            out << QStringLiteral("Step %1: %2").arg(i + 1).arg(over.join(QStringLiteral(", ")));
    }
    return out;
}

QStringList stepsBeyondFullScale(const Schedule &schedule, double kvPerBit, double maPerBit) {
    QStringList kv, ma;
    for (const ScheduleStep &s : schedule.steps) {
        kv << valueText(s.kv);
        ma << valueText(s.ma);
    }
    return stepsBeyondFullScale(kv, ma, kvPerBit, maPerBit);
}

} // namespace zor::runs
