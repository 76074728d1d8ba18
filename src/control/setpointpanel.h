#pragma once

#include <QGroupBox>

class QLineEdit;
class QPushButton;

namespace zor {

class frm_SDIMAIN;

// "SET DAC CHANNELS": programming the kV and mA setpoints and reading them back.
class SetpointPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit SetpointPanel(frm_SDIMAIN &main);

    QPushButton *btn_KVSET;
    QPushButton *btn_EMI;
    QPushButton *btn_FILLIM;
    QPushButton *btn_FILPREHEAT;
    QLineEdit *txt_DACA;
    QLineEdit *txt_DACB;

    void btn_KVSET_Click();
    void btn_EMI_Click();

private:
    frm_SDIMAIN &main_;
};

} // namespace zor
