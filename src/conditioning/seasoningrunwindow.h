#pragma once

#include "shell/formregistry.h"

class QLineEdit;
class QPushButton;

namespace zor {

class MainWindow;

// "Season": shows the running step and its seconds left, and stops the run.
// Closing it with its close box leaves the run going unseen.
class SeasoningRunWindow : public Form {
    Q_OBJECT
public:
    SeasoningRunWindow(FormRegistry &registry, MainWindow &main);

    QLineEdit *txt_name;
    QLineEdit *txt_timRemain;
    QLineEdit *txt_step;
    QLineEdit *txt_step1;
    QLineEdit *txt_time;
    QPushButton *Command1;

    // "Stop".
    void Command1_Click();

private:
    MainWindow &main_;
};

} // namespace zor
