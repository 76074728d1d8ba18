#pragma once

#include <QGroupBox>

class QLineEdit;
class QPushButton;

namespace zor {

class SupplyState;

// "ARC": the console's arc counter.
class ArcFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit ArcFrame(SupplyState &state);

    QPushButton *btn_clrArc;
    QLineEdit *Txt_arcCount;

    void btn_clrArc_Click();

private:
    SupplyState &state_;
};

} // namespace zor
