#pragma once

#include "records/datalog.h"
#include "records/eventlog.h"
#include "records/trendhistory.h"

#include <QObject>

namespace zor {

class SupplyOps;

// What the console keeps of the supply, fed from the model: the trend's
// history and the opt-in data log from each poll cycle, and the event log from
// the model's changes and the operations' answers.
class Records : public QObject {
    Q_OBJECT
public:
    Records(SupplyState &state, SupplyOps &ops, QObject *parent = nullptr);

    TrendHistory history;
    DataLog dataLog;
    EventLog events;
};

} // namespace zor
