#pragma once

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace zor {

// The main window's menu bar: every entry with its caption, order and state at open.
struct MainMenu {
    explicit MainMenu(QMenuBar *bar);

    QMenu *mnu_Ports;
    QAction *mnu_comm1;
    QAction *mnu_comm2;
    QAction *mnu_userComm;
    QAction *mnu_ethernet;
    QAction *mnu_USB;

    QMenu *mnu_Controls;
    QAction *mnu_RAWDATA;
    QAction *mnu_SYSINFO;
    QAction *mnu_HWREV;
    QAction *mnu_EXTRAS;
    QAction *mnu_PASSTHRU;
    QAction *mnu_sep1;
    QAction *mnu_AUTOUPDATE;
    QAction *mnu_MANUAL;
    QAction *mnu_UserConfig;
    QAction *mnu_Serial;
    QAction *mnu_Config;
    QAction *mnu_Reset_total_hrs;
    QAction *mnu_BaudRate;
    QAction *enableWdt;
    QAction *menu_cycleHv;
    QAction *menu_Season;
    QAction *mnu_TRACE;
    QAction *mnu_sep2;
    // Esc in the main window, Ctrl+Shift+X in every window.
    QAction *mnu_XRAYOFF;

    QMenu *mnu_Help;
    QAction *mnu_GUIDE;
    QAction *mnu_ABOUT;

    QMenu *mnu_Exit;
    QAction *mnu_EXIT;
    QAction *mnu_SHUTDOWN;
};

} // namespace zor
