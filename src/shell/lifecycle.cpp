// Start-up and the three ways the console ends.
#include "conditioning/conditioningmenu.h"
#include "control/localremote.h"
#include "diagnostics/rawdatapage.h"
#include "platform/dialogs.h"
#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"
#include "trend/recordsmenu.h"

#include <QCloseEvent>

namespace zor {

void MainWindow::Form_Load(bool askForPort) {
    exitStep = 0;
    tmr_EXIT.setEnabled(false);
    state.setKvPerBit(convert::InitialKvPerBit);
    state.setMaPerBit(convert::InitialMaPerBit);
    autoUpdate = false;
    tmr_UPDATE.setEnabled(false);
    menu.mnu_EXTRAS->setEnabled(false);
    menu.mnu_EXTRAS->setVisible(false);
    state.setHvEnabled(false);
    link.tmr_COMMWDT.setEnabled(false);
    menu.mnu_PASSTHRU->setEnabled(false);
    menu.mnu_PASSTHRU->setVisible(false);
    show();
    if (askForPort)
        dialogs().message(QStringLiteral("        Please Select Port!          "));
    state.clearArcs();
}

void MainWindow::mnu_EXIT_Click() {
    tmr_UPDATE.setEnabled(false);
    EnableManualControls();
    link.closeSerial();
    if (link.isEthernet())
        link.closeTcp();
    link.tmr_COMMWDT.setEnabled(false);
    endProgram();
}

void MainWindow::mnu_SHUTDOWN_Click() {
    if (link.shuttingDown())
        return;
    menus.records->events.note(QStringLiteral("Shutdown"));
    // Nothing may reach the supply after the hand-back but the zeroing: the
    // poll, the runs and every timer that can send stop now. An exchange
    // already waiting finishes; the poll step it belongs to starts no other.
    autoUpdate = false;
    tmr_UPDATE.setEnabled(false);
    CycleTimer.setEnabled(false);
    menus.conditioning->haltRuns();
    link.beginShutdown();
    panels.localRemote->btn_local_remote->setValue(true);
    link.command(this, [this] {
        DeviceLink::FinalSends finalSends(link);
        // Off whatever the switch shows: an earlier off may have been lost.
        // Its reply is not awaited, so the hand-back is not delayed by it.
        link.outputOutputString("ENBL 0;");
        state.setHvEnabled(false);
        panels.localRemote->btn_local_remote_Click();
        tmr_EXIT.setEnabled(true);
    });
}

void MainWindow::tmr_EXIT_Timer() {
    // A zeroing send must not land inside another exchange's wait, where that
    // exchange would take its reply; the step waits for the next tick instead.
    if (link.exchangeWaiting() || ended_)
        return;
    DeviceLink::FinalSends finalSends(link);
    switch (exitStep) {
    case 1:
        link.sendAlone(this, "10,0,");
        break;
    case 2:
        link.sendAlone(this, "11,0,");
        break;
    case 3:
        link.sendAlone(this, "12,0,");
        break;
    case 4:
        tmr_EXIT.setEnabled(false);
        link.sendAlone(this, "13,0,");
        if (RawDataPage *page = forms.find<RawDataPage>())
            page->hide();
        tmr_UPDATE.setEnabled(false);
        EnableManualControls();
        link.closeSerial();
        link.closeTcp();
        link.tmr_COMMWDT.setEnabled(false);
        endProgram();
        return;
    default:
        break;
    }
    // A late tick must not bring the next one closer than a full interval:
    // enabling again restarts the interval from this send.
    if (exitStep > 0)
        tmr_EXIT.setEnabled(true);
    ++exitStep;
}

void MainWindow::Form_Unload() {
    panels.localRemote->btn_local_remote->setValue(false);
    forms.unloadAll();
    link.closeSerial();
    if (link.isEthernet())
        link.closeTcp();
    link.tmr_COMMWDT.setEnabled(false);
    endProgram();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    event->accept();
    if (!ended_)
        Form_Unload();
}

void MainWindow::endProgram() {
    ended_ = true;
    for (Timer *t : {&tmr_UPDATE, &tmr_EXIT, &CycleTimer, &link.tmr_RCVTIMER, &link.tmr_NETRCVTMR,
                     &link.tmr_COMMWDT})
        t->setEnabled(false);
    if (programEnd_)
        programEnd_();
}

} // namespace zor
