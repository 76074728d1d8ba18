#pragma once

#include "runs/arcgate.h"
#include "runs/runend.h"
#include "runs/runguard.h"
#include "runs/schedulefile.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace zor {

class SupplyOps;
class Timer;

namespace runs {

// One step as it goes out: the values planned and the counts sent for them.
struct SeasonStep {
    double kv = 0.0;
    double ma = 0.0;
    qint16 seconds = 0;
    qint16 kvCount = 0;
    qint16 maCount = 0;
};

// One decision of an adaptive run as its record keeps it: the step (from 1)
// and its kV where it was taken, the arcs in the window then, the step gone
// back to, or why the run was abandoned.
struct DecisionNote {
    Decision decision = Decision::Hold;
    int step = 0;
    double kv = 0.0;
    int arcs = 0;
    int to = 0;
    QString why;
    QJsonObject json() const;
};

// What the run window shows of an adaptive run.
struct AdaptiveView {
    enum Phase { Running, Holding, BackingOff } phase = Running;
    int arcs = 0;
    int windowS = 0;
    int dwellLeft = 0;
};

// Runs a seasoning schedule on the supply: high voltage on, each step's
// setpoints in turn, held for its seconds, then zero and off. The clock is the
// timer the owner hands in (a second, or less in tests); each of its ticks is
// one call of tick(). Rows are asked for when their step starts, so edits to
// later steps made during a run take effect.
class SeasoningEngine : public QObject {
    Q_OBJECT
public:
    // The step of a row as it stands now, or nothing and why it cannot run.
    using StepAt = std::function<std::optional<SeasonStep>(int row, QString *fault)>;

    SeasoningEngine(SupplyOps &ops, Timer &timer, StepAt steps, QObject *parent = nullptr);

    // Seconds on a monotonic clock for the arc window; tests move their own.
    using Clock = std::function<double()>;
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // The rules the next start runs by; none: each step holds its time whatever
    // the tube does.
    void setAdaptive(std::optional<Adaptive> rules) { rules_ = rules; }
    static inline const QString AbandonArcs = QStringLiteral("arcs");
    static inline const QString AbandonSetpoint = QStringLiteral("set-point changed elsewhere");

    bool running() const { return running_; }
    qint16 stepIndex() const { return stepIndex_; }
    qint16 stepTimeLeft() const { return stepTimeLeft_; }

    // Who holds the high voltage while a run goes (SupplyState::runOwner).
    static inline const QString Owner = QStringLiteral("A seasoning run");

    // Starts from step 1, again if a run is going. The caller has checked the
    // schedule; false when another run holds the high voltage, or when an off
    // was asked for since `offSeen` (the count when the operator asked for
    // the run, before any box).
    bool start(std::optional<quint64> offSeen = std::nullopt);
    void tick();
    // Off whatever the switch shows, then the zeros; `why` is who stopped it.
    void stop(RunEnd why = RunEnd::Stopped);
    // Ends the run as "abandoned" with the off and the zeros.
    void abandon(const QString &why);
    // Ends a run at once without a command of its own (the console is ending).
    void halt(RunEnd why = RunEnd::Shutdown);

signals:
    void stepStarted(int row, const zor::runs::SeasonStep &step);
    // Step number (from 1) and seconds left, as the run window shows them.
    void progress(int step, int secondsLeft);
    void ended(zor::runs::RunEnd end, const QString &why);
    void decided(const zor::runs::DecisionNote &note);
    // After each second of an adaptive run, and at each step it programs.
    void adaptiveState(int row, const zor::runs::AdaptiveView &view);

private:
    bool current(quint64 id) const { return running_ && runId_ == id; }
    void program(int row, const SeasonStep &step);
    // The first on and step 1, once the warning before X-rays is over.
    void begin(const SeasonStep &first);
    // Lets the clock tick again once the step's setpoints have gone out.
    void resumeTicking();
    // The off goes out first, then the zeros, then the run's ending is told.
    // Nothing goes to a unit the run never drove (`send` false).
    void finish(RunEnd end, bool zeroSetpoints, const QString &why = {}, bool send = true);
    // The step after the running one, or the final zeros.
    void advance();
    // One second under the adaptive rules; false when the run left the step.
    bool adaptiveTick();
    void note(Decision d, int arcs, int to = 0, const QString &why = {});
    void showAdaptive();
    void arcCounted(int count);

    SupplyOps &ops_;
    Timer &timer_;
    StepAt steps_;
    bool running_ = false;
    qint16 stepIndex_ = 0;
    qint16 stepTimeLeft_ = 0;
    // Tells a late command of an earlier run from one of the current run.
    quint64 runId_ = 0;
    quint64 offSeen_ = 0;
    RunGuard guard_;
    Clock clock_;
    QElapsedTimer sinceMade_;
    std::optional<Adaptive> rules_;
    std::unique_ptr<ArcGate> gate_;
    SeasonStep current_;
    int lastArcCount_ = 0;
    // The counts the running step programmed, once they have gone out; a
    // read-back that differs was set by someone else.
    std::optional<std::pair<qint16, qint16>> programmed_;
    bool setpointMoved_ = false;
};

// The step a schedule file runs at `row` on a supply of these scales: its steps,
// then nothing (the schedule is over), then the closing zeros as the final row;
// nothing and why when a step gives no counts.
std::optional<SeasonStep> scheduledStep(const Schedule &schedule, int row, double kvPerBit,
                                        double maPerBit, QString *fault);
// "Step n: 85 kV" for each step beyond the unit's full scale; the values as
// the operator typed them, or as a schedule file gives them.
QStringList stepsBeyondFullScale(const QStringList &kv, const QStringList &ma, double kvPerBit,
                                 double maPerBit);
QStringList stepsBeyondFullScale(const Schedule &schedule, double kvPerBit, double maPerBit);

} // namespace runs
} // namespace zor
