#pragma once

#include <QString>

namespace zor {

// Formats a number through a display mask such as "#0.000" or "##.#0": "0" is a
// digit always shown, "#" a digit shown only when significant; a "#" decimal
// place before a "0" decimal place is always shown. Rounds half away from zero
// at the last decimal place, taking the value as its shortest decimal text so
// that 1.0005 rounds up as a person would expect.
QString formatMask(double value, const QString &mask);

} // namespace zor
