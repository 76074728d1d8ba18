#include "platform/counts.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace zor {

std::int64_t countFrom(double value) {
    if (!std::isfinite(value))
        return 0;
    value = std::clamp(value, -9.0e15, 9.0e15);
    const double cleaned = std::round(value * 1e9) / 1e9;
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(cleaned);
    std::fesetround(previous);
    return static_cast<std::int64_t>(rounded);
}

int dacCountFrom(double value) {
    return static_cast<int>(std::clamp<std::int64_t>(countFrom(value), 0, 4095));
}

} // namespace zor
