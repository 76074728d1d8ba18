#pragma once

#include <cstdint>

namespace zor {

// Turns an engineering value into whole counts, halves to the even neighbour
// (512.5 gives 512, 513.5 gives 514). The value is first taken to nine decimal
// places so a product such as 10 / (80 / 4095) is not pushed across a half by
// binary noise.
std::int64_t countFrom(double value);

// The same, brought into a 12-bit channel: below 0 gives 0, above 4095 gives 4095.
int dacCountFrom(double value);

} // namespace zor
