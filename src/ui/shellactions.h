#pragma once

#include <QString>
#include <functional>

namespace zor {

// The few actions of the main window that other windows start: the update
// modes, the modal-page gate, the question before leaving a high voltage on,
// the first status panels and the comm diagnostics window. The main window
// implements it, so a window that needs one of them does not need the main
// window itself.
class ShellActions {
public:
    virtual void mnu_AUTOUPDATE_Click() = 0;
    virtual void mnu_MANUAL_Click() = 0;
    // Opens a modal page once no exchange is waiting: a page opened inside such
    // a wait would hold that exchange, and its own commands behind it, until it
    // closed. Clicks while a page is open or pending are ignored.
    virtual void openModalPage(std::function<void()> page) = 0;
    // Panels count from 1 as the operators' manuals do.
    virtual void setStatusPanelText(int panel, const QString &text) = 0;
    virtual QString statusPanelText(int panel) const = 0;
    // Shows the comm diagnostics window as it stands.
    virtual void showCommDiagnostics() = 0;
    // What leaving the supply (Exit, a port change) does to a high voltage
    // that is on: asks, unless a run is going, which is switched off without
    // a question since nothing would watch it.
    enum class Leaving { SwitchOff, AsItIs, Stay };
    virtual Leaving leavingHighVoltage(const QString &switchOffCaption) = 0;
    // The console has ended; whatever a handler still meant to do is void.
    virtual bool ended() const = 0;

protected:
    ~ShellActions() = default;
};

} // namespace zor
