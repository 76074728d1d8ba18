// Start-up and the three ways the console ends.
#include "conditioning/conditioningmenu.h"
#include "control/localremote.h"
#include "diagnostics/rawdatapage.h"
#include "link/linkhealth.h"
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
    link.watchdog().setEnabled(false);
    menu.mnu_PASSTHRU->setEnabled(false);
    menu.mnu_PASSTHRU->setVisible(false);
    show();
    if (askForPort)
        dialogs().message(QStringLiteral("        Please Select Port!          "));
    state.clearArcs();
}

ShellActions::Leaving MainWindow::leavingHighVoltage(const QString &switchOffCaption) {
    // A run left behind would keep the high voltage on with nothing watching it.
    if (menus.conditioning->runGoing())
        return Leaving::SwitchOff;
    if (!state.hvEnabled() && !state.xrayOn())
        return Leaving::AsItIs;
    const int answer =
        dialogs().ask(QStringLiteral("The high voltage is on."),
                      {switchOffCaption, QStringLiteral("Leave It On"), QStringLiteral("Cancel")});
    return answer == 0 ? Leaving::SwitchOff : answer == 1 ? Leaving::AsItIs : Leaving::Stay;
}

void MainWindow::mnu_EXIT_Click() {
    if (link.shuttingDown() || ended_)
        return;
    if (RawDataPage *page = forms.find<RawDataPage>())
        page->hide();
    // Without a port nothing can be sent, and what the switch last showed is
    // no knowledge of the supply.
    if (!link.transportOpen() &&
        (state.hvEnabled() || state.xrayOn() || menus.conditioning->runGoing() ||
         linkHealth->state() == LinkHealth::State::PortLost)) {
        if (dialogs().ask(QStringLiteral("The supply does not answer: the high voltage may still "
                                         "be on. Nothing could be sent."),
                          {QStringLiteral("Exit Anyway"), QStringLiteral("Cancel")}) != 0)
            return;
        records.events.note(
            EventType::Shutdown,
            QStringLiteral("Exit without a link: the high voltage may still be on"));
        stopEverything();
        closeLinkAndEnd();
        return;
    }
    switch (leavingHighVoltage(QStringLiteral("Switch Off and Exit"))) {
    case Leaving::Stay:
        return;
    case Leaving::SwitchOff:
        switchOffThen([this] { closeLinkAndEnd(); });
        return;
    case Leaving::AsItIs:
        break;
    }
    closeLinkAndEnd();
}

void MainWindow::closeLinkAndEnd() {
    tmr_UPDATE.setEnabled(false);
    EnableManualControls();
    link.close();
    endProgram();
}

void MainWindow::stopEverything() {
    autoUpdate = false;
    tmr_UPDATE.setEnabled(false);
    CycleTimer.setEnabled(false);
    menus.conditioning->haltRuns();
    link.beginShutdown();
}

void MainWindow::switchOffThen(std::function<void()> end) {
    stopEverything();
    // Behind the exchange in flight, if any: its command sends nothing more.
    link.commandFinal([this, end = std::move(end)]() -> Task<> {
        co_await ops.closingOffTask();
        end();
    });
}

void MainWindow::mnu_SHUTDOWN_Click() {
    if (link.shuttingDown() || ended_)
        return;
    records.events.note(EventType::Shutdown, QStringLiteral("Shutdown"));
    // Nothing may reach the supply after the hand-back but the zeroing: the
    // poll, the runs and every timer that can send stop now. An exchange
    // already waiting finishes; the command it belongs to sends no more.
    stopEverything();
    panels.localRemote->btn_local_remote->setValue(true);
    link.commandFinal([this]() -> Task<> {
        // Off whatever the switch shows: an earlier off may have been lost.
        // Its reply is not awaited, so the hand-back is not delayed by it.
        co_await ops.closingOffTask();
        co_await ops.localControlTask();
        tmr_EXIT.setEnabled(true);
    });
}

void MainWindow::tmr_EXIT_Timer() {
    if (ended_)
        return;
    if (exitStep >= 1 && exitStep <= SupplyOps::ZeroedChannels) {
        const bool last = exitStep == SupplyOps::ZeroedChannels;
        if (last)
            tmr_EXIT.setEnabled(false);
        // Queued behind whatever is on the wire, so no zeroing send lands inside
        // another exchange's wait.
        link.commandFinal([this, channel = exitStep - 1, last]() -> Task<> {
            co_await ops.zeroChannelTask(channel);
            if (!last)
                co_return;
            if (RawDataPage *page = forms.find<RawDataPage>())
                page->hide();
            tmr_UPDATE.setEnabled(false);
            EnableManualControls();
            link.close();
            endProgram();
        });
        if (last)
            return;
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
    link.close();
    endProgram();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (ended_) {
        event->accept();
        return;
    }
    if (link.shuttingDown()) {
        // The off or the closing sequence is on its way; the end follows it.
        event->ignore();
        return;
    }
    switch (leavingHighVoltage(QStringLiteral("Switch Off and Exit"))) {
    case Leaving::Stay:
        event->ignore();
        return;
    case Leaving::SwitchOff:
        event->ignore();
        switchOffThen([this] {
            Form_Unload();
            close();
        });
        return;
    case Leaving::AsItIs:
        break;
    }
    event->accept();
    Form_Unload();
}

void MainWindow::endProgram() {
    ended_ = true;
    for (Timer *t : {&tmr_UPDATE, &tmr_EXIT, &CycleTimer, &link.replyTimer(), &link.statusTimer(),
                     &link.watchdog()})
        t->setEnabled(false);
    if (programEnd_)
        programEnd_();
}

} // namespace zor
