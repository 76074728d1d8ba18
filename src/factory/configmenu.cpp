#include "factory/configmenu.h"

#include "factory/frm_baudrate.h"
#include "factory/frm_config.h"
#include "factory/serialnumberpage.h"
#include "platform/dialogs.h"
#include "shell/mainwindow.h"
#include "userconfig/frm_prog_conf.h"

#include <QAction>
#include <QPointer>

namespace zor {

ConfigMenu::ConfigMenu(frm_SDIMAIN &main) : QObject(&main), main_(main) {
    connect(main.menu.mnu_Config, &QAction::triggered, this, &ConfigMenu::mnu_Config_Click);
    connect(main.menu.mnu_Serial, &QAction::triggered, this, &ConfigMenu::mnu_Serial_Click);
    connect(main.menu.mnu_BaudRate, &QAction::triggered, this, &ConfigMenu::mnu_BaudRate_Click);
    connect(main.menu.mnu_UserConfig, &QAction::triggered, this, &ConfigMenu::mnu_UserConfig_Click);
}

void ConfigMenu::mnu_Config_Click() {
    open([this] { run<frm_config>(); });
}

void ConfigMenu::mnu_Serial_Click() {
    open([this] { run<Form1>(); });
}

void ConfigMenu::mnu_BaudRate_Click() {
    open([this] { run<frm_baudRate>(); });
}

void ConfigMenu::mnu_UserConfig_Click() {
    open([this] { run<frm_prog_conf>(); });
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
