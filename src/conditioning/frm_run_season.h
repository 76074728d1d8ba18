#pragma once

#include "shell/formregistry.h"

class QLineEdit;
class QPushButton;

namespace zor {

class frm_SDIMAIN;

// "Season": shows the running step and its seconds left, and stops the run.
// Closing it with its close box leaves the run going unseen.
class frm_run_season : public Form {
    Q_OBJECT
public:
    frm_run_season(FormRegistry &registry, frm_SDIMAIN &main);

    QLineEdit *txt_name;
    QLineEdit *txt_timRemain;
    QLineEdit *txt_step;
    QLineEdit *txt_step1;
    QLineEdit *txt_time;
    QPushButton *Command1;

    // "Stop".
    void Command1_Click();

private:
    frm_SDIMAIN &main_;
};

} // namespace zor
