#include "conditioning/cyclerunwindow.h"

#include "conditioning/cycletest.h"

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

namespace zor {

CycleRunWindow::CycleRunWindow(ConsoleContext, CycleTest &test) : test_(test) {
    setObjectName(QStringLiteral("frm_run_cycle"));
    setWindowTitle(QStringLiteral("Cycle Test"));
    auto *form = new QFormLayout(this);
    lbl_phase = new QLabel(this);
    lbl_cycles = new QLabel(this);
    lbl_timeLeft = new QLabel(this);
    lbl_phase->setObjectName(QStringLiteral("lbl_phase"));
    lbl_cycles->setObjectName(QStringLiteral("lbl_cycles"));
    lbl_timeLeft->setObjectName(QStringLiteral("lbl_timeLeft"));
    form->addRow(QStringLiteral("Phase"), lbl_phase);
    form->addRow(QStringLiteral("Cycles done"), lbl_cycles);
    form->addRow(QStringLiteral("Time left (s)"), lbl_timeLeft);
    Command1 = new QPushButton(QStringLiteral("Stop"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    form->addRow(Command1);
    connect(Command1, &QPushButton::clicked, this, &CycleRunWindow::Command1_Click);
    // Space or Enter stops the test the moment the window comes up.
    Command1->setFocus();
    Command1->setAutoDefault(true);
    showProgress();
}

void CycleRunWindow::showProgress() {
    const runs::CycleEngine &e = test_.engine;
    lbl_phase->setText(e.onPhase() ? QStringLiteral("On") : QStringLiteral("Off"));
    lbl_cycles->setText(QString::number(e.cyclesDone));
    lbl_timeLeft->setText(QString::number(e.secondsLeftInPhase()));
}

void CycleRunWindow::Command1_Click() {
    if (test_.cycleRunning)
        test_.menu_cycleHv_Click();
    else
        close();
}

} // namespace zor
