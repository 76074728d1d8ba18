#include "supply/quantities.h"

#include "platform/displaymask.h"

namespace zor {

double quantityValue(Quantity q, long long count, double kvPerBit, double maPerBit) {
    const QuantityInfo &i = info(q);
    const double value = double(count - i.zero) * i.factor / i.divisor;
    switch (i.scale) {
    case Scale::KvPerBit:
        return value * kvPerBit;
    case Scale::MaPerBit:
        return value * maPerBit;
    case Scale::Fixed:
        break;
    }
    return value;
}

QString displayText(Quantity q, double value) {
    const QuantityInfo &i = info(q);
    const QString mask = QString::fromLatin1(i.mask);
    // A rail gone positive must not show as a doubled minus.
    const QString number = !i.signInFront || value > 0
                               ? formatMask(value, mask)
                               : QStringLiteral("-") + formatMask(-value, mask);
    return number + QString::fromLatin1(i.shownUnit);
}

} // namespace zor
