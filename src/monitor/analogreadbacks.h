#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <optional>

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

    // The last value text cut from each monitor reply, as received.
    QByteArray vmonCount;
    QByteArray imonCount;
    QByteArray fmonCount;
    QByteArray lvpsCount;
    QByteArray tempCount;

    void ReadMonitors();
    void ReadAuxMonitors();
    void getScaling_Click();

private:
    // One monitor read: cut, keep and copy the count, then convert it. False
    // when the reply was bad and the rest of the operation is to be abandoned;
    // an empty reply skips only this read.
    bool readMonitor(const QByteArray &payload, QByteArray &count, int rawIndex,
                     const std::function<void(long long)> &show, bool endsUpdateRequest = false);
    // One full-scale read: the number in front of the ';' searched from position 5.
    std::optional<long long> readFullScale(const QByteArray &payload, bool &answered);

    frm_SDIMAIN &main_;
};

} // namespace zor
