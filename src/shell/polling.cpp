// Update modes and the round-robin poll.
#include "control/hvenableframe.h"
#include "control/setpointpanel.h"
#include "monitor/analogreadbacks.h"
#include "monitor/identityframe.h"
#include "monitor/statusframe.h"
#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QPushButton>

namespace zor {

void frm_SDIMAIN::mnu_AUTOUPDATE_Click() {
    menu.mnu_AUTOUPDATE->setChecked(true);
    menu.mnu_MANUAL->setChecked(false);
    DisableManualControls();
    btn_HWREV_Click();
    btn_MODNUM_Click();
    btn_SWREV_Click();
    btn_SWBuild_Click();
    btn_serialNum_rqst_Click();
    autoUpdate = true;
    tmr_UPDATE.setEnabled(true);
}

void frm_SDIMAIN::mnu_MANUAL_Click() {
    autoUpdate = false;
    menu.mnu_AUTOUPDATE->setChecked(false);
    menu.mnu_MANUAL->setChecked(true);
    tmr_UPDATE.setEnabled(false);
    EnableManualControls();
}

void frm_SDIMAIN::tmr_UPDATE_Timer() {
    // A tick that comes while a user's exchange waits is held once, not once
    // per interval: the operator's next click must not queue behind a backlog.
    link.command(
        this, [this] { runPollStep(); }, &tmr_UPDATE);
}

void frm_SDIMAIN::runPollStep() {
    switch (pollStep) {
    case 0:
        ReadMonitors();
        break;
    case 1:
        btn_KVSET_Click();
        break;
    case 2:
        btn_EMI_Click();
        break;
    case 3:
        btn_REQSTAT_Click();
        break;
    case 4:
        ReadAuxMonitors();
        break;
    case 5:
        getScaling_Click();
        break;
    case 6:
        TickleWatchdog();
        break;
    default:
        break;
    }
    pollStep = pollStep + 1;
    if (pollStep >= 7)
        pollStep = 0;
}

void frm_SDIMAIN::btn_UPDATEDATA_ValueChanged() {
    ReadMonitors();
    ReadAuxMonitors();
}

QList<QWidget *> frm_SDIMAIN::manualControls() const {
    return {btn_UPDATEDATA, btn_KVSET,  btn_EMI,   btn_FILLIM,  btn_FILPREHEAT,    btn_REQSTAT,
            btn_HWREV,      btn_MODNUM, btn_SWREV, btn_SWBuild, btn_serialNum_rqst};
}

void frm_SDIMAIN::DisableManualControls() {
    for (QWidget *w : manualControls())
        w->setEnabled(false);
}

void frm_SDIMAIN::EnableManualControls() {
    for (QWidget *w : manualControls())
        w->setEnabled(true);
}

void frm_SDIMAIN::readPayloads(std::initializer_list<const char *> payloads) {
    std::vector<QByteArray> list(payloads.begin(), payloads.end());
    command([this, list] {
        for (const QByteArray &payload : list)
            link.exchange(payload);
    });
}

void frm_SDIMAIN::ReadMonitors() {
    readbacks->ReadMonitors();
}

void frm_SDIMAIN::ReadAuxMonitors() {
    readbacks->ReadAuxMonitors();
}

void frm_SDIMAIN::getScaling_Click() {
    readbacks->getScaling_Click();
}

void frm_SDIMAIN::btn_KVSET_Click() {
    setpoints->btn_KVSET_Click();
}

void frm_SDIMAIN::btn_EMI_Click() {
    setpoints->btn_EMI_Click();
}

void frm_SDIMAIN::btn_REQSTAT_Click() {
    statusFrame->btn_REQSTAT_Click();
}

void frm_SDIMAIN::TickleWatchdog() {
    statusFrame->TickleWatchdog();
}

void frm_SDIMAIN::btn_HWREV_Click() {
    identity->btn_HWREV_Click();
}

void frm_SDIMAIN::btn_MODNUM_Click() {
    identity->btn_MODNUM_Click();
}

void frm_SDIMAIN::btn_SWREV_Click() {
    identity->btn_SWREV_Click();
}

void frm_SDIMAIN::btn_SWBuild_Click() {
    identity->btn_SWBuild_Click();
}

void frm_SDIMAIN::btn_serialNum_rqst_Click() {
    identity->btn_serialNum_rqst_Click();
}

void frm_SDIMAIN::btn_HVONOFF_Click() {
    hvEnable->btn_HVONOFF_Click();
}

} // namespace zor
