#include "platform/displaymask.h"

#include <cmath>
#include <cstdio>

namespace zor {

namespace {

// Adds one unit at the last digit of a string of decimal digits.
void carry(std::string &digits) {
    for (auto i = static_cast<int>(digits.size()) - 1; i >= 0; --i) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return;
        }
    }
    digits.insert(digits.begin(), '1');
}

} // namespace

QString formatMask(double value, const QString &mask) {
    if (!std::isfinite(value))
        return QString::number(value);

    const auto point = mask.indexOf(QLatin1Char('.'));
    const QString intMask = point < 0 ? mask : mask.left(point);
    const QString decMask = point < 0 ? QString() : mask.mid(point + 1);
    const int decimals = static_cast<int>(decMask.size());
    const int forcedDecimals = static_cast<int>(decMask.lastIndexOf(QLatin1Char('0')) + 1);
    const int forcedIntegers = static_cast<int>(intMask.count(QLatin1Char('0')));

    // Fifteen significant digits: the value as a person reads it, free of binary noise.
    const double magnitude = std::fabs(value);
    const int intDigits =
        magnitude >= 1 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 1;
    const int precision = std::max(0, 15 - intDigits);
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", precision, magnitude);
    std::string text(buffer);
    const auto dot = text.find('.');
    std::string intPart = dot == std::string::npos ? text : text.substr(0, dot);
    std::string decPart = dot == std::string::npos ? std::string() : text.substr(dot + 1);

    if (static_cast<int>(decPart.size()) > decimals) {
        const bool up = decPart[decimals] >= '5';
        decPart.resize(decimals);
        if (up) {
            std::string all = intPart + decPart;
            carry(all);
            intPart = all.substr(0, all.size() - decimals);
            decPart = all.substr(all.size() - decimals);
        }
    }
    decPart.resize(decimals, '0');
    while (static_cast<int>(decPart.size()) > forcedDecimals && decPart.back() == '0')
        decPart.pop_back();

    std::size_t firstNonZero = intPart.find_first_not_of('0');
    intPart = firstNonZero == std::string::npos ? std::string() : intPart.substr(firstNonZero);
    while (static_cast<int>(intPart.size()) < forcedIntegers)
        intPart.insert(intPart.begin(), '0');

    const bool zero = intPart.find_first_not_of('0') == std::string::npos &&
                      decPart.find_first_not_of('0') == std::string::npos;
    QString out = (value < 0 && !zero) ? QStringLiteral("-") : QString();
    out += QString::fromStdString(intPart);
    if (!decPart.empty())
        out += QLatin1Char('.') + QString::fromStdString(decPart);
    return out;
}

} // namespace zor
