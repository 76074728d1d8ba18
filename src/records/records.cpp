#include "records/records.h"

namespace zor {

Records::Records(SupplyState &state, SupplyOps &ops, QObject *parent)
    : QObject(parent), events(state) {
    events.watch(ops);
    connect(&state, &SupplyState::sampled, this, [this](const SupplySample &s) {
        history.add(s);
        dataLog.write(s);
    });
}

} // namespace zor
