#pragma once

namespace zor {

class DeviceLink;
class SupplyState;
class SupplyOps;
class FormRegistry;
struct MainMenu;

// What a window of the console may reach: the link, the supply model and its
// operations, the single-instance windows and the menu bar. The main window
// hands this out instead of itself, so the windows do not depend on it.
struct ConsoleContext {
    DeviceLink &link;
    SupplyState &state;
    SupplyOps &ops;
    FormRegistry &forms;
    MainMenu &menu;
};

} // namespace zor
