#pragma once

#include "ui/consolecontext.h"

#include <QObject>

namespace zor {

class CycleTest;
class ShellActions;
class Timer;

// The Controls-menu entries of tube conditioning: the seasoning table and the
// cycle test.
class ConditioningMenu : public QObject {
    Q_OBJECT
public:
    ConditioningMenu(ConsoleContext ctx, ShellActions &shell, Timer &cycleTimer, QObject *parent);

    CycleTest *cycleTest;

    // Shows the seasoning table modally.
    void menu_Season_Click();
    // Stops the cycle test and a seasoning run without sending anything; the
    // caller switches the voltage off itself.
    void haltRuns();
    // A cycle test or a seasoning run is going.
    bool runGoing() const;

private:
    void openSchedule();

    ConsoleContext ctx_;
    ShellActions &shell_;
};

} // namespace zor
