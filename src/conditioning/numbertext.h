#pragma once

#include <QString>
#include <optional>

// Reading the numbers an operator types into lists and input boxes.
namespace zor::conditioning {

// A plain decimal number ("30", "0.25", " 1.0 "), finite; anything else, the
// empty text included, gives nothing.
std::optional<double> numberFrom(const QString &text);

// Digits only ("300"), 0 to 32767: a step time in whole seconds.
std::optional<qint16> wholeSecondsFrom(const QString &text);

// A number rounded to whole units, halves to the even neighbour ("2.5" gives 2),
// within -32768 to 32767.
std::optional<qint16> roundedFrom(const QString &text);

} // namespace zor::conditioning
