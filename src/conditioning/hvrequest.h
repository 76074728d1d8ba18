#pragma once

namespace zor {
class MainWindow;
}

namespace zor::conditioning {

// Brings the high-voltage switch to the wanted position through the operator's
// toggle, and sends nothing when it is already there. A toggle alone would
// invert its meaning once anything else (the operator, a status read-back) has
// moved the switch; a request cannot switch radiation on when off is wanted.
// Call it from inside a command body, so the position it reads is the one the
// toggle then acts on.
void requestHighVoltage(MainWindow &main, bool on);

} // namespace zor::conditioning
