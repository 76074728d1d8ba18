#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// Numbers typed into the factory pages' input boxes, and the counts made from them.
namespace zor::factory {

// A decimal number as a service technician types it ("20", "4.5", " .1 "),
// read the same whatever the PC's regional settings; anything else, the empty
// text of a cancelled box included, gives nothing.
std::optional<double> typedNumber(const QString &entry);

// Rounded to whole counts, halves to the even neighbour; nothing when the
// result does not fit a 16-bit signed count.
std::optional<qint16> roundedCount(double value);

// Cut down to whole counts; nothing when the result does not fit a 16-bit signed count.
std::optional<qint16> flooredCount(double value);

// A number as its shortest decimal text at 15 significant digits, never in
// exponent form: 8889 for 88.89 × 100, 8888.5 for 88.885 × 100. Nothing for a
// magnitude of 1e15 or more, which that many digits cannot hold whole.
std::optional<QByteArray> shortestDecimal(double value);

} // namespace zor::factory
