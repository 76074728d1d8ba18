#include "factory/configmenu.h"

#include "factory/factoryconfigpage.h"
#include "factory/serialnumberpage.h"
#include "factory/unitbaudratedialog.h"
#include "platform/dialogs.h"
#include "shell/mainwindow.h"
#include "userconfig/useroptionspage.h"

#include <QAction>
#include <QPointer>

namespace zor {

ConfigMenu::ConfigMenu(MainWindow &main) : QObject(&main), main_(main) {
    connect(main.menu.mnu_Config, &QAction::triggered, this, &ConfigMenu::mnu_Config_Click);
    connect(main.menu.mnu_Serial, &QAction::triggered, this, &ConfigMenu::mnu_Serial_Click);
    connect(main.menu.mnu_BaudRate, &QAction::triggered, this, &ConfigMenu::mnu_BaudRate_Click);
    connect(main.menu.mnu_UserConfig, &QAction::triggered, this, &ConfigMenu::mnu_UserConfig_Click);
}

void ConfigMenu::mnu_Config_Click() {
    open([this] { run<FactoryConfigPage>(); });
}

void ConfigMenu::mnu_Serial_Click() {
    open([this] { run<SerialNumberPage>(); });
}

void ConfigMenu::mnu_BaudRate_Click() {
    open([this] { run<UnitBaudRateDialog>(); });
}

void ConfigMenu::mnu_UserConfig_Click() {
    open([this] { run<UserOptionsPage>(); });
}

template <class Page> void ConfigMenu::run() {
    // Loading the page runs its load handler, which may already talk to the supply.
    Page &page = main_.forms.get<Page>(main_);
    QPointer<QDialog> guard(&page);
    dialogs().runModal(page);
    if (guard)
        main_.forms.unload(guard);
}

void ConfigMenu::open(std::function<void()> page) {
    main_.openModalPage(std::move(page));
}

} // namespace zor
