#pragma once

#include <QtGlobal>
#include <chrono>

namespace zor::sim {

// Milliseconds on the monotonic clock (CLOCK_MONOTONIC on Linux), so time stamps
// from the simulator line up with those of other processes on the same machine.
inline qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace zor::sim
