#pragma once

#include <QByteArray>
#include <QStringList>

namespace zor::factory {

// The texts the configuration page shows for the reply to "CONF;", in field
// order, ending before the first field that cannot be read: a field without
// its terminating comma, or one that should be a number and is not. Fields 3
// and 4 come out as converted full-scale texts ("88.89", "2.220"); fields 8,
// 11 and 12 in kV, mA and A through their masks; the others as received.
QStringList configurationTexts(const QByteArray &reply);

} // namespace zor::factory
