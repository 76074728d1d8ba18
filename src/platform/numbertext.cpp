#include "platform/numbertext.h"

#include "platform/counts.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace zor {

namespace {

std::optional<qint16> fitted(double whole) {
    if (!std::isfinite(whole) || whole < std::numeric_limits<qint16>::min() ||
        whole > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(whole);
}

} // namespace

std::optional<double> decimalNumber(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    // "1,000" would be a thousand to the C locale, and "88,2" half of a pair.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> plainWhole(const QString &text, int max) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > QString::number(max).size())
        return std::nullopt;
    for (const QChar c : trimmed)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    const qlonglong value = trimmed.toLongLong();
    if (value > max)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<qint16> roundedCount(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1.0e6)
        return std::nullopt;
    return fitted(static_cast<double>(countFrom(value)));
}

std::optional<qint16> flooredCount(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1.0e6)
        return std::nullopt;
    // 4.5 A must give 1842, not 1841 because the product came out a hair low.
    return fitted(std::floor(std::round(value * 1e9) / 1e9));
}

std::optional<QByteArray> shortestDecimal(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 1.0e15)
        return std::nullopt;
    const double significant = QByteArray::number(value, 'g', 15).toDouble();
    QByteArray text = QByteArray::number(significant, 'f', QLocale::FloatingPointShortest);
    if (text == "-0")
        text = "0";
    return text;
}

} // namespace zor
