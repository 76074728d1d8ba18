#pragma once

#include "ui/consolecontext.h"
#include "ui/formregistry.h"

class QLabel;
class QPushButton;

namespace zor {

class CycleTest;

// "Cycle Test": the running test's phase, cycles done and seconds left in the
// phase, and Stop. Closing it leaves the test going; the menu entry still stops it.
class CycleRunWindow : public Form {
    Q_OBJECT
public:
    CycleRunWindow(ConsoleContext ctx, CycleTest &test);

    QLabel *lbl_phase;
    QLabel *lbl_cycles;
    QLabel *lbl_timeLeft;
    QPushButton *Command1;

    void showProgress();
    // "Stop".
    void Command1_Click();

private:
    CycleTest &test_;
};

} // namespace zor
