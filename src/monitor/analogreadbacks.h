#pragma once

#include <QObject>

class QGroupBox;
class QLineEdit;

namespace zor {

class frm_SDIMAIN;

// "READBACKS" and "AUXILIARY VOLTAGE": the analog monitors, and the scale
// factors that turn counts into kV and mA.
class AnalogReadbacks : public QObject {
    Q_OBJECT
public:
    explicit AnalogReadbacks(frm_SDIMAIN &main);

    QGroupBox *fra_READBACKS;
    QGroupBox *fra_AUX;
    QLineEdit *txt_ADC2;
    QLineEdit *txt_ADC3;
    QLineEdit *txt_ADC13;
    QLineEdit *txt_ADC1;
    QLineEdit *txt_ADC6;

    void ReadMonitors();
    void ReadAuxMonitors();
    void getScaling_Click();

private:
    frm_SDIMAIN &main_;
};

} // namespace zor
