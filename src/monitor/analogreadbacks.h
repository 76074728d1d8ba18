#pragma once

#include "supply/supplystate.h"

#include <QObject>
#include <array>

class QGroupBox;
class QLineEdit;

namespace zor {

// "READBACKS" and "AUXILIARY VOLTAGE": a field for each quantity of those
// frames (txt_ADC2, txt_ADC1, ...), repainted only when its reading changes.
class AnalogReadbacks : public QObject {
    Q_OBJECT
public:
    AnalogReadbacks(SupplyState &state, QObject *parent);

    QGroupBox *fra_READBACKS;
    QGroupBox *fra_AUX;
    // The quantity's field; nullptr for one shown on no frame here.
    QLineEdit *field(Quantity q) const { return fields_[int(q)]; }

private:
    void show(Quantity q, const Reading &r);

    SupplyState &state_;
    std::array<QLineEdit *, QuantityCount> fields_{};
};

} // namespace zor
