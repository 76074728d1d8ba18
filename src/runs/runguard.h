#pragma once

#include "supply/quantities.h"

#include <QObject>
#include <QString>

namespace zor {

class SupplyState;

namespace runs {

// What ends a run whatever its schedule says: another transport (the unit
// the run drove is gone), a fault or interlock lamp turning on, or an arc
// trip still latched at the next poll. Armed while a run goes.
class RunGuard : public QObject {
    Q_OBJECT
public:
    explicit RunGuard(SupplyState &state, QObject *parent = nullptr);

    static inline const QString PortChanged = QStringLiteral("port changed");
    static inline const QString ArcTrip = QStringLiteral("arc trip");
    static inline const QString Refused = QStringLiteral("switch-on refused");

    // Lamps already on at the start end nothing: their switch-on is refused.
    void arm();
    void disarm() { armed_ = false; }

signals:
    // Once per arming; the reason in the record's words.
    void tripped(const QString &why);

private:
    void trip(const QString &why);
    void statusChanged(const StatusBits &now);

    SupplyState &state_;
    bool armed_ = false;
    StatusBits last_;
    // Poll cycles in a row that ended with the arc lamp on.
    int arcPolls_ = 0;
};

} // namespace runs
} // namespace zor
