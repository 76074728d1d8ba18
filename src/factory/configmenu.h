#pragma once

#include "ui/consolecontext.h"

#include <QObject>
#include <functional>

class QWidget;

namespace zor {

class ShellActions;

// The menu entries of the factory and user configuration pages, each a modal
// page over `window`, opened through the main window's modal-page gate.
class ConfigMenu : public QObject {
    Q_OBJECT
public:
    ConfigMenu(ConsoleContext ctx, ShellActions &shell, QWidget *window);

    void mnu_Config_Click();
    void mnu_Serial_Click();
    void mnu_BaudRate_Click();
    void mnu_UserConfig_Click();

private:
    template <class Page, class... Args> void run(Args &&...args);

    ConsoleContext ctx_;
    ShellActions &shell_;
    QWidget *window_;
};

} // namespace zor
