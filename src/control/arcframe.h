#pragma once

#include <QGroupBox>

class QLineEdit;
class QPushButton;

namespace zor {

class SupplyState;
class SupplyOps;

// "ARC": the console's arc counter.
class ArcFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit ArcFrame(SupplyOps &ops);

    QPushButton *btn_clrArc;
    QLineEdit *Txt_arcCount;

    void btn_clrArc_Click();

private:
    SupplyOps &ops_;
    SupplyState &state_;
};

} // namespace zor
