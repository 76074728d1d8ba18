#pragma once

#include "runs/cycleengine.h"
#include "runs/runrecord.h"
#include "ui/consolecontext.h"

#include <QObject>

namespace zor {

class ShellActions;
class Timer;

// The unattended high-voltage cycle test: on for cycleOnTime seconds, off until
// cyclePeriod seconds are complete, again and again until the operator stops it
// from the "Cycle Test On"/"Cycle Test Off" menu entry or its run window.
// CycleTimer drives it; the engine below does the switching.
class CycleTest : public QObject {
    Q_OBJECT
public:
    CycleTest(ConsoleContext ctx, ShellActions &shell, Timer &cycleTimer, QObject *parent);

    runs::CycleEngine engine;
    bool &cycleRunning = engine.cycleRunning;
    qint16 &cycleOnTime = engine.cycleOnTime;
    qint16 &cyclePeriod = engine.cyclePeriod;
    qint16 &cycleCount = engine.cycleCount;

    void menu_cycleHv_Click();
    void CycleTimer_Timer() { engine.tick(); }
    // Ends the test at once without a command of its own.
    void halt() { engine.halt(); }

private:
    // `offSeen`: the off count at the click, before the prompts.
    void start(quint64 offSeen);
    void refuse(const QString &why);
    void ended(runs::RunEnd end, const QString &why);

    ConsoleContext ctx_;
    ShellActions &shell_;
    runs::RunRecorder recorder_;
};

} // namespace zor
