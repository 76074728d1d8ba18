#pragma once

#include "runs/runend.h"
#include "runs/runguard.h"

#include <QObject>
#include <optional>

namespace zor {

class SupplyOps;
class Timer;

namespace runs {

// The unattended high-voltage cycle: on for cycleOnTime seconds, off until
// cyclePeriod seconds are complete, again and again until stopped. Each tick
// of the timer handed in is one second.
class CycleEngine : public QObject {
    Q_OBJECT
public:
    CycleEngine(SupplyOps &ops, Timer &timer, QObject *parent = nullptr);

    bool cycleRunning = false;
    qint16 cycleOnTime = 0;
    qint16 cyclePeriod = 0;
    qint16 cycleCount = 0;
    int cyclesDone = 0;

    bool onPhase() const { return cycleCount < cycleOnTime; }
    int secondsLeftInPhase() const {
        return onPhase() ? cycleOnTime - cycleCount : cyclePeriod - cycleCount;
    }

    static inline const QString Owner = QStringLiteral("A cycle test");

    // The values have been checked: 1 <= on < period. False when another run
    // holds the high voltage, or when an off was asked for since `offSeen`
    // (the count when the operator asked for the test, before its prompts).
    bool start(qint16 onTime, qint16 period, std::optional<quint64> offSeen = std::nullopt);
    void tick();
    // Off whatever the switch shows, through the off lane, before the ending
    // is told; `why` is who stopped it.
    void stop(RunEnd why = RunEnd::Stopped);
    // The off and the zeros, and the test ends as "abandoned".
    void abandon(const QString &why);
    // Ends the test at once without a command of its own.
    void halt(RunEnd why = RunEnd::Shutdown, const QString &reason = {});

signals:
    void started();
    // A new period began (the on phase of cycle `cycle`, from 1).
    void cycleStarted(int cycle);
    void progress();
    void ended(zor::runs::RunEnd end, const QString &why);

private:
    bool current(quint64 id) const { return cycleRunning && session_ == id; }
    // The first switching, once the warning before X-rays is over.
    void begin(quint64 id);
    // An on that did not go out: the off key's, or the supply's refusal.
    void onFailed();

    SupplyOps &ops_;
    Timer &timer_;
    // Tells a late command of an earlier test from one of the current test.
    quint64 session_ = 0;
    // The off count when the test began: an off asked since ends it.
    quint64 offSeen_ = 0;
    RunGuard guard_;
    // Between start() and the ending; cycleRunning is also set by the menu
    // entry while its prompts are open.
    bool active_ = false;
};

} // namespace runs
} // namespace zor
