#include "ui/mainmenu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace zor {

namespace {

enum State { Available = 0, Off = 1, Hidden = 2, Checkable = 4 };

QAction *entry(QMenu *menu, const char *name, const char *caption, int state = Available) {
    QAction *action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    action->setEnabled(!(state & Off));
    action->setVisible(!(state & Hidden));
    if (state & Checkable)
        action->setCheckable(true);
    return action;
}

} // namespace

MainMenu::MainMenu(QMenuBar *bar) {
    // Check marks are set by the handlers, so every entry that carries one is checkable.
    mnu_Ports = bar->addMenu(QStringLiteral("Ports"));
    mnu_comm1 = entry(mnu_Ports, "mnu_comm1", "COMM1", Checkable);
    mnu_comm2 = entry(mnu_Ports, "mnu_comm2", "COMM2", Checkable);
    mnu_userComm = entry(mnu_Ports, "mnu_userComm", "COMM USER", Checkable);
    mnu_ethernet = entry(mnu_Ports, "mnu_ethernet", "Ethernet", Off | Checkable);
    mnu_USB = entry(mnu_Ports, "mnu_USB", "USB", Off | Checkable);

    mnu_Controls = bar->addMenu(QStringLiteral("Controls"));
    mnu_RAWDATA = entry(mnu_Controls, "mnu_RAWDATA", "View Unscaled Data", Off | Hidden);
    mnu_SYSINFO = entry(mnu_Controls, "mnu_SYSINFO", "System Information", Off | Hidden);
    mnu_HWREV = entry(mnu_Controls, "mnu_HWREV", "Set H/W Revision", Off | Hidden);
    mnu_EXTRAS = entry(mnu_Controls, "mnu_EXTRAS", "Extras Window", Off | Hidden);
    mnu_PASSTHRU = entry(mnu_Controls, "mnu_PASSTHRU", "Toggle Passthrough", Off | Hidden);
    mnu_sep1 = mnu_Controls->addSeparator();
    mnu_sep1->setObjectName(QStringLiteral("mnu_sep1"));
    mnu_AUTOUPDATE = entry(mnu_Controls, "mnu_AUTOUPDATE", "Auto Update Mode", Checkable);
    mnu_MANUAL = entry(mnu_Controls, "mnu_MANUAL", "Manual Update Mode", Checkable);
    mnu_UserConfig = entry(mnu_Controls, "mnu_UserConfig", "User Option Config", Off);
    mnu_Serial = entry(mnu_Controls, "mnu_Serial", "Serial Number");
    mnu_Config = entry(mnu_Controls, "mnu_Config", "Factory Config");
    mnu_Reset_total_hrs = entry(mnu_Controls, "mnu_Reset_total_hrs", "Reset Total Hours", Off);
    mnu_BaudRate = entry(mnu_Controls, "mnu_BaudRate", "Set Unit BaudRate");
    enableWdt = entry(mnu_Controls, "enableWdt", "Enable WatchDog Timer");
    menu_cycleHv = entry(mnu_Controls, "menu_cycleHv", "Cycle Test On");
    menu_Season = entry(mnu_Controls, "menu_Season", "Start Tube Seasoning ");
    mnu_TRACE = entry(mnu_Controls, "mnu_TRACE", "Traffic Trace");
    mnu_sep2 = mnu_Controls->addSeparator();
    // The text after the tab is the menu's key column: both keys, not just the first.
    mnu_XRAYOFF = entry(mnu_Controls, "mnu_XRAYOFF", "X-Ray Off\tEsc, Ctrl+Shift+X");
    mnu_XRAYOFF->setShortcuts(
        {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X)});

    mnu_Help = bar->addMenu(QStringLiteral("Help"));
    mnu_GUIDE = entry(mnu_Help, "mnu_GUIDE", "Operator Guide");
    mnu_ABOUT = entry(mnu_Help, "mnu_ABOUT", "About");

    mnu_Exit = bar->addMenu(QStringLiteral("Exit"));
    mnu_EXIT = entry(mnu_Exit, "mnu_EXIT", "Exit");
    mnu_SHUTDOWN = entry(mnu_Exit, "mnu_SHUTDOWN", "Shutdown and Exit");
}

} // namespace zor
