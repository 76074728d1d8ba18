#pragma once

#include "ui/consolecontext.h"

#include <QGroupBox>

namespace zor {

class ToggleSwitch;

// "LOCAL/REMOTE": never shown; its switch is the state of the hand-back to
// local control that Shutdown and Exit performs.
class LocalRemote : public QGroupBox {
    Q_OBJECT
public:
    explicit LocalRemote(ConsoleContext ctx);

    ToggleSwitch *btn_local_remote;
    // Sends "99,0,"; the switch goes off (local) only when the supply acknowledged.
    void btn_local_remote_Click();

private:
    ConsoleContext ctx_;
};

} // namespace zor
