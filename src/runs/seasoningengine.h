#pragma once

#include "runs/runend.h"
#include "runs/schedulefile.h"

#include <QObject>
#include <QString>
#include <functional>
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

    bool running() const { return running_; }
    qint16 stepIndex() const { return stepIndex_; }
    qint16 stepTimeLeft() const { return stepTimeLeft_; }

    // Who holds the high voltage while a run goes (SupplyState::runOwner).
    static inline const QString Owner = QStringLiteral("A seasoning run");

    // Starts from step 1, again if a run is going. The caller has checked the
    // schedule; false when another run holds the high voltage.
    bool start();
    void tick();
    // Off whatever the switch shows, then the zeros. Counted as the X-ray off
    // key's when that key was pressed since the start.
    // `why` overrides that (a headless run whose supply went silent).
    void stop(std::optional<RunEnd> why = std::nullopt);
    // Ends a run at once without a command of its own (the console is ending).
    void halt(RunEnd why = RunEnd::Shutdown);

signals:
    void stepStarted(int row, const zor::runs::SeasonStep &step);
    // Step number (from 1) and seconds left, as the run window shows them.
    void progress(int step, int secondsLeft);
    void ended(zor::runs::RunEnd end, const QString &why);

private:
    bool current(quint64 id) const { return running_ && runId_ == id; }
    void program(int row, const SeasonStep &step);
    // The first on and step 1, once the warning before X-rays is over.
    void begin(const SeasonStep &first);
    // Lets the clock tick again once the step's setpoints have gone out.
    void resumeTicking();
    void finish(RunEnd end, bool zeroSetpoints, const QString &why = {});

    SupplyOps &ops_;
    Timer &timer_;
    StepAt steps_;
    bool running_ = false;
    qint16 stepIndex_ = 0;
    qint16 stepTimeLeft_ = 0;
    // Tells a late command of an earlier run from one of the current run.
    quint64 runId_ = 0;
    quint64 offSeen_ = 0;
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
