#include "conditioning/numbertext.h"

#include "platform/counts.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace zor::conditioning {

std::optional<double> numberFrom(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    // The C locale reads "0.25" the same on every PC, whatever its regional settings.
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint16> wholeSecondsFrom(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 5)
        return std::nullopt;
    for (const QChar c : trimmed)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    const int value = trimmed.toInt();
    if (value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(value);
}

std::optional<qint16> roundedFrom(const QString &text) {
    const auto value = numberFrom(text);
    if (!value)
        return std::nullopt;
    const std::int64_t whole = countFrom(*value);
    if (whole < std::numeric_limits<qint16>::min() || whole > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(whole);
}

} // namespace zor::conditioning
