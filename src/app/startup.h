#pragma once

#include "app/commandline.h"
#include "link/devicelink.h"

namespace zor {

class MainWindow;

// Loads the main window and opens the link the command line names, as the
// matching Ports entry would but without its dialogs; without one the
// console asks for a port as usual. A network connection is waited for in
// the event loop. The line is taken by value: the coroutine outlives the
// caller's temporary once it suspends.
Task<> startConsole(MainWindow &window, CommandLine line);

} // namespace zor
