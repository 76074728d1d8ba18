#pragma once

#include "ui/consolecontext.h"

#include <QObject>

namespace zor {

class ShellActions;

// The main window's service entries: the unscaled data page, the pass-through
// toggle and the about screen (which reveals the special function mode).
class DiagnosticsMenu : public QObject {
    Q_OBJECT
public:
    DiagnosticsMenu(ConsoleContext ctx, ShellActions &shell, QObject *parent);

    void mnu_RAWDATA_Click();
    void mnu_PASSTHRU_Click();
    void mnu_ABOUT_Click();

private:
    ConsoleContext ctx_;
    ShellActions &shell_;
};

} // namespace zor
