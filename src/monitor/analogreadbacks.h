#pragma once

#include "supply/supplystate.h"

#include <QObject>

class QGroupBox;
class QLineEdit;

namespace zor {

// "READBACKS" and "AUXILIARY VOLTAGE": the analog monitors as the supply
// model holds them, repainted only when a reading changes.
class AnalogReadbacks : public QObject {
    Q_OBJECT
public:
    AnalogReadbacks(SupplyState &state, QObject *parent);

    QGroupBox *fra_READBACKS;
    QGroupBox *fra_AUX;
    QLineEdit *txt_ADC2;
    QLineEdit *txt_ADC3;
    QLineEdit *txt_ADC13;
    QLineEdit *txt_ADC1;
    QLineEdit *txt_ADC6;

private:
    void show(Monitor m, const Reading &r);

    SupplyState &state_;
};

} // namespace zor
