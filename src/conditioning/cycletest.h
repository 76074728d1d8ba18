#pragma once

#include "ui/consolecontext.h"

#include <QObject>

namespace zor {

class ShellActions;
class Timer;

// The unattended high-voltage cycle test: on for cycleOnTime seconds, off until
// cyclePeriod seconds are complete, again and again until the operator stops it
// from the "Cycle Test On"/"Cycle Test Off" menu entry. CycleTimer drives it.
class CycleTest : public QObject {
    Q_OBJECT
public:
    CycleTest(ConsoleContext ctx, ShellActions &shell, Timer &cycleTimer, QObject *parent);

    bool cycleRunning = false;
    qint16 cycleOnTime = 0;
    qint16 cyclePeriod = 0;
    qint16 cycleCount = 0;

    void menu_cycleHv_Click();
    void CycleTimer_Timer();
    // Ends the test at once without a command of its own.
    void halt();

private:
    void start();
    void stop();
    void refuse(const QString &why);

    ConsoleContext ctx_;
    ShellActions &shell_;
    Timer &cycleTimer_;
    // Tells a late command of an earlier test from one of the current test.
    quint64 session_ = 0;
    // The off count when the test began: an off asked since ends it.
    quint64 offSeen_ = 0;
};

} // namespace zor
