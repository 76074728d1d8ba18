#include "factory/configreadback.h"

#include "link/replycut.h"
#include "platform/displaymask.h"
#include "platform/numbertext.h"

namespace zor::factory {

namespace {

constexpr int FieldCount = 12;

// Full-scale kV arrives in hundredths: the point goes after the third digit
// from 10000 up, after the second below.
QString fullScaleKv(const QString &digits, long long value) {
    const int whole = value >= 10000 ? 3 : 2;
    return digits.left(whole) + QLatin1Char('.') + digits.mid(whole, 2);
}

// Full-scale mA arrives in thousandths.
QString fullScaleMa(const QString &digits) {
    return digits.left(1) + QLatin1Char('.') + digits.mid(1, 3);
}

} // namespace

QStringList configurationTexts(const QByteArray &reply) {
    QStringList out;
    double kvFull = 0.0;
    double maFull = 0.0;
    int from = 2;
    for (int field = 1; field <= FieldCount; ++field) {
        const auto raw = reply::fieldUntil(reply, from, ',');
        if (!raw)
            break;
        from += static_cast<int>(raw->size()) + 1;
        const QString text = QString::fromLatin1(*raw);
        QString shown = text;
        if (field == 3 || field == 4 || field == 8 || field == 11 || field == 12) {
            const auto count = reply::toInteger(*raw);
            if (!count)
                break;
            const double counts = static_cast<double>(*count);
            if (field == 3) {
                shown = fullScaleKv(text, *count);
                const auto value = decimalNumber(shown);
                if (!value)
                    break;
                kvFull = *value;
            } else if (field == 4) {
                shown = fullScaleMa(text);
                const auto value = decimalNumber(shown);
                if (!value)
                    break;
                maFull = *value;
            } else if (field == 8) {
                shown = formatMask(counts * kvFull / 4095.0, QStringLiteral("#0.00"));
            } else if (field == 11) {
                shown = formatMask(counts * maFull / 4095.0, QStringLiteral("#0.00"));
            } else {
                shown = formatMask(counts * 10.0 / 4095.0, QStringLiteral("#.00"));
            }
        }
        out.append(shown);
    }
    return out;
}

} // namespace zor::factory
