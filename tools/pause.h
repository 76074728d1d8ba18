#pragma once

#include <QtGlobal>

namespace zor {

// The pace of a scripted scene (screenshots, soak, bench): waits the whole of
// `ms` by the monotonic clock while the event loop serves the console. For
// these driver programs only; the console itself never waits like this.
void sleepFor(qint64 ms);

} // namespace zor
