#include "factory/configmenu.h"

#include "factory/factoryconfigpage.h"
#include "factory/serialnumberpage.h"
#include "factory/unitbaudratedialog.h"
#include "platform/dialogs.h"
#include "ui/formregistry.h"
#include "ui/mainmenu.h"
#include "ui/shellactions.h"
#include "userconfig/useroptionspage.h"

#include <QAction>
#include <QPointer>

namespace zor {

ConfigMenu::ConfigMenu(ConsoleContext ctx, ShellActions &shell, QWidget *window)
    : QObject(window), ctx_(ctx), shell_(shell), window_(window) {
    connect(ctx_.menu.mnu_Config, &QAction::triggered, this, &ConfigMenu::mnu_Config_Click);
    connect(ctx_.menu.mnu_Serial, &QAction::triggered, this, &ConfigMenu::mnu_Serial_Click);
    connect(ctx_.menu.mnu_BaudRate, &QAction::triggered, this, &ConfigMenu::mnu_BaudRate_Click);
    connect(ctx_.menu.mnu_UserConfig, &QAction::triggered, this, &ConfigMenu::mnu_UserConfig_Click);
}

void ConfigMenu::mnu_Config_Click() {
    shell_.openModalPage([this] { run<FactoryConfigPage>(ctx_.ops, window_); });
}

void ConfigMenu::mnu_Serial_Click() {
    shell_.openModalPage([this] { run<SerialNumberPage>(ctx_.ops, window_); });
}

void ConfigMenu::mnu_BaudRate_Click() {
    shell_.openModalPage([this] { run<UnitBaudRateDialog>(ctx_.ops, window_); });
}

void ConfigMenu::mnu_UserConfig_Click() {
    shell_.openModalPage([this] { run<UserOptionsPage>(ctx_.ops, window_); });
}

template <class Page, class... Args> void ConfigMenu::run(Args &&...args) {
    // Loading the page runs its load handler, which may already talk to the supply.
    Page &page = ctx_.forms.get<Page>(std::forward<Args>(args)...);
    QPointer<QDialog> guard(&page);
    dialogs().runModal(page);
    if (guard)
        ctx_.forms.unload(guard);
}

} // namespace zor
