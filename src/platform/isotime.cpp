#include "platform/isotime.h"

#include <QRegularExpression>
#include <cstdlib>

namespace zor {

QString isoTime(const QDateTime &t) {
    const QDateTime local = t.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

std::optional<QDateTime> parseIsoTime(QStringView text) {
    static const QRegularExpression form(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{1,3})?(Z|[+-]\d\d:\d\d)$)"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const QDateTime t = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    if (!t.isValid())
        return std::nullopt;
    return t;
}

} // namespace zor
