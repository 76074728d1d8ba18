#pragma once

#include "runs/seasoningengine.h"
#include "ui/consolecontext.h"
#include "ui/formregistry.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zor {

class ShellActions;

// "Season": shows the running step and its seconds left, and stops the run;
// for an adaptive run also whether it runs, holds or backs off.
// Closing it with its close box leaves the run going unseen.
class SeasoningRunWindow : public Form {
    Q_OBJECT
public:
    SeasoningRunWindow(ConsoleContext ctx, ShellActions &shell);

    QLineEdit *txt_name;
    QLineEdit *txt_timRemain;
    QLineEdit *txt_step;
    QLineEdit *txt_step1;
    QLineEdit *txt_time;
    QPushButton *Command1;
    // An adaptive run's state and its steps, the running one selected.
    QLabel *lbl_state;
    QListWidget *lst_steps;

    // The steps of an adaptive run; none hides the state and the list.
    void showSteps(const QStringList &steps);
    void showAdaptive(int row, const runs::AdaptiveView &view);

    // "Stop".
    void Command1_Click();

private:
    ConsoleContext ctx_;
    ShellActions &shell_;
};

} // namespace zor
