#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace zor {

// The one clock format of everything written for machines: local time with
// milliseconds and its UTC offset ("2026-12-07T21:03:04.123+01:00"), so files
// join with other sources and stay unambiguous across a daylight-saving change.
QString isoTime(const QDateTime &t);
// Reads it back; a time without an offset (or "Z") is no time here.
std::optional<QDateTime> parseIsoTime(QStringView text);

} // namespace zor
