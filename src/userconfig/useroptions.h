#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The wire form of the user options: nine comma-terminated fields, read from
// position 5 of the reply to their read (SupplyOps::userOptionsTask).
namespace zor::userconfig {

inline constexpr int OptionCount = 9;

// The fields in order, ending before the first one without its comma.
QList<QByteArray> optionFields(const QByteArray &reply);

// The supply's verdict on a write, from position 5 of its reply: the warning
// to show, or an empty text when there is nothing to say.
QString saveWarning(const QByteArray &reply);

} // namespace zor::userconfig
