#pragma once

#include "conditioning/seasoningsteps.h"
#include "platform/timer.h"

#include <QDialog>
#include <array>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace zor {

class FormRegistry;
class MainWindow;
class SeasoningRunWindow;

// "Seansoning Profile": the tube-seasoning table and the clock that runs it.
// Each step programs its kV and mA and holds them for its time; the end of a
// run and Stop take the setpoints to zero and switch the high voltage off.
class SeasoningPage : public QDialog {
    Q_OBJECT
public:
    SeasoningPage(FormRegistry &registry, MainWindow &main);

    // Step numbers at 0..17, column headings at 20..23; 18 and 19 are not used.
    std::array<QLineEdit *, 24> Text1{};
    std::array<QComboBox *, conditioning::StepRows> combo_kv{};
    std::array<QComboBox *, conditioning::StepRows> combo_ma{};
    std::array<QComboBox *, conditioning::StepRows> combo_time{};
    QPushButton *Command1;
    Timer Timer_Season{1000};

    qint16 stepIndex = 0;
    qint16 stepTimeLeft = 0;
    bool running() const { return running_; }

    // Fills the lists and selects the default schedule.
    void Form_Load();
    // "Start Season": starts the schedule from step 1 (again, if one is running).
    void Command1_Click();
    // Programs one row's setpoints: IREF 0, then VREF, then IREF. False, and
    // nothing sent, when the row's texts give no counts.
    bool SetKvandmA(const qint16 &step);
    void Timer_Season_Timer();
    // Ends a run early: high voltage off if it is on, setpoints to zero, both
    // windows closed.
    void stopRun();
    // Ends a run at once without a command of its own.
    void halt();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The first row whose texts cannot run, as a message for the operator.
    std::optional<QString> scheduleFault() const;
    std::optional<QString> rowFault(int row) const;
    // "Step n: 85 kV" for each step beyond what the unit can be set to.
    QStringList stepsBeyondFullScale() const;
    void showProgress();
    // Lets the clock tick again once the step's setpoints have gone out.
    void resumeTicking();
    void endRun(bool zeroSetpoints);
    void abandonRun(const QString &why);

    FormRegistry &registry_;
    MainWindow &main_;
    bool running_ = false;
    // Tells a late command of an earlier run from one of the current run.
    quint64 runId_ = 0;
};

} // namespace zor
