#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// Numbers as people type them into lists, input boxes and command lines, and
// the counts and texts made from them. Read the same whatever the PC's
// regional settings.
namespace zor {

// A decimal number ("20", "4.5", " .1 ", "-3", "1e3"), finite; anything else
// gives nothing: the empty text of a cancelled box, digit groups ("1,000"),
// trailing garbage ("5a"), a magnitude beyond a double.
std::optional<double> decimalNumber(const QString &text);

// Plain digits ("300", blanks around allowed), no sign, at most as many digits
// as `max` has and not above it: a time in whole seconds, a TCP port.
std::optional<int> plainWhole(const QString &text, int max);

// Rounded to whole counts, halves to the even neighbour; nothing when the
// result does not fit a 16-bit signed count.
std::optional<qint16> roundedCount(double value);

// Cut down to whole counts; nothing when the result does not fit a 16-bit signed count.
std::optional<qint16> flooredCount(double value);

// A number as its shortest decimal text at 15 significant digits, never in
// exponent form: 8889 for 88.89 × 100, 8888.5 for 88.885 × 100. Nothing for a
// magnitude of 1e15 or more, which that many digits cannot hold whole.
std::optional<QByteArray> shortestDecimal(double value);

} // namespace zor
