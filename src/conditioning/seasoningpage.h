#pragma once

#include "platform/timer.h"
#include "runs/runrecord.h"
#include "runs/schedulefile.h"
#include "runs/seasoningengine.h"
#include "runs/seasoningsteps.h"
#include "ui/consolecontext.h"

#include <QDialog>
#include <array>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zor {

class SeasoningRunWindow;
class ShellActions;

// "Seansoning Profile": the tube-seasoning table and the clock that runs it.
// Each step programs its kV and mA and holds them for its time; the end of a
// run and Stop take the setpoints to zero and switch the high voltage off.
class SeasoningPage : public QDialog {
    Q_OBJECT
public:
    SeasoningPage(ConsoleContext ctx, ShellActions &shell);

    // Step numbers at 0..17, column headings at 20..23; 18 and 19 are not used.
    std::array<QLineEdit *, 24> Text1{};
    std::array<QComboBox *, runs::StepRows> combo_kv{};
    std::array<QComboBox *, runs::StepRows> combo_ma{};
    std::array<QComboBox *, runs::StepRows> combo_time{};
    QPushButton *Command1;
    QPushButton *btn_saveSchedule;
    QPushButton *btn_openSchedule;
    // Who and what the run is for, remembered for the next Start; the tube
    // defaults to the unit's serial number.
    QLineEdit *txt_tube;
    QLineEdit *txt_operator;
    QLineEdit *txt_customer;
    // The rules of an adaptive schedule loaded from a file; hidden without.
    QLabel *lbl_adaptive;
    Timer Timer_Season{1000};

    qint16 stepIndex() const { return engine_.stepIndex(); }
    qint16 stepTimeLeft() const { return engine_.stepTimeLeft(); }
    bool running() const { return engine_.running(); }
    runs::SeasoningEngine &engine() { return engine_; }
    // The name of the schedule on the table: the file's, or "Default".
    QString scheduleName() const { return scheduleName_; }

    // Fills the lists and selects the default schedule.
    void Form_Load();
    // "Start Season": starts the schedule from step 1 (again, if one is running).
    void Command1_Click();
    // One row's setpoints as the engine programs them (IREF 0, then VREF,
    // then IREF), read from its texts now; nothing, and why, when they give no
    // counts. A blank row ends the schedule: only the final zeros follow.
    std::optional<runs::SeasonStep> SetKvandmA(const qint16 &step, QString *fault) const;
    void Timer_Season_Timer() { engine_.tick(); }
    // Ends a run early: high voltage off if it is on, setpoints to zero, both
    // windows closed.
    void stopRun(runs::RunEnd why = runs::RunEnd::Stopped) { engine_.stop(why); }
    // Ends a run at once without a command of its own.
    void halt() { engine_.halt(); }
    // "Save Schedule...", "Open Schedule...": the table as a file, in the
    // user's data folder unless the operator goes elsewhere.
    void saveSchedule();
    void openSchedule();
    void loadSchedule(const runs::Schedule &schedule);
    runs::Schedule schedule() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The first row whose texts cannot run, as a message for the operator.
    std::optional<QString> scheduleFault() const;
    std::optional<QString> rowFault(int row) const;
    // "Step n: 85 kV" for each step beyond what the unit can be set to.
    QStringList stepsBeyondFullScale() const;
    bool blankRow(int row) const;
    void showProgress(int step, int secondsLeft);
    void stepStarted(int row, const runs::SeasonStep &step);
    void ended(runs::RunEnd end, const QString &why);
    void showAdaptive(int row, const runs::AdaptiveView &view);

    ConsoleContext ctx_;
    ShellActions &shell_;
    runs::SeasoningEngine engine_;
    runs::RunRecorder recorder_;
    QString scheduleName_ = QStringLiteral("Default");
    std::optional<runs::Adaptive> adaptive_;
};

} // namespace zor
