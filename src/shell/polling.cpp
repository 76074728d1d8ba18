// Update modes and the round-robin poll.
#include "control/hvenableframe.h"
#include "control/setpointpanel.h"
#include "monitor/identityframe.h"
#include "monitor/statusframe.h"
#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QPushButton>

namespace zor {

void MainWindow::mnu_AUTOUPDATE_Click() {
    menu.mnu_AUTOUPDATE->setChecked(true);
    menu.mnu_MANUAL->setChecked(false);
    DisableManualControls();
    for (int f = 0; f < IdentityFieldCount; ++f)
        ops.readIdentity(IdentityField(f));
    autoUpdate = true;
    tmr_UPDATE.setEnabled(true);
}

void MainWindow::mnu_MANUAL_Click() {
    autoUpdate = false;
    menu.mnu_AUTOUPDATE->setChecked(false);
    menu.mnu_MANUAL->setChecked(true);
    tmr_UPDATE.setEnabled(false);
    EnableManualControls();
}

void MainWindow::tmr_UPDATE_Timer() {
    // A tick that comes while a user's command waits is queued once, not once
    // per interval: the operator's next click must not queue behind a backlog.
    ops.pollTick();
}

void MainWindow::btn_UPDATEDATA_ValueChanged() {
    ops.readMonitors();
    ops.readAuxMonitors();
}

QList<QWidget *> MainWindow::manualControls() const {
    return {btn_UPDATEDATA,
            panels.setpoints->btn_KVSET,
            panels.setpoints->btn_EMI,
            panels.setpoints->btn_FILLIM,
            panels.setpoints->btn_FILPREHEAT,
            panels.statusFrame->btn_REQSTAT,
            panels.identity->btn_HWREV,
            panels.identity->btn_MODNUM,
            panels.identity->btn_SWREV,
            panels.identity->btn_SWBuild,
            panels.identity->btn_serialNum_rqst};
}

void MainWindow::DisableManualControls() {
    for (QWidget *w : manualControls())
        w->setEnabled(false);
}

void MainWindow::EnableManualControls() {
    for (QWidget *w : manualControls())
        w->setEnabled(true);
}

void MainWindow::btn_KVSET_Click() {
    panels.setpoints->btn_KVSET_Click();
}

void MainWindow::btn_REQSTAT_Click() {
    panels.statusFrame->btn_REQSTAT_Click();
}

void MainWindow::btn_HVONOFF_Click() {
    panels.hvEnable->btn_HVONOFF_Click();
}

} // namespace zor
