#pragma once

#include <QGroupBox>

class QLineEdit;
class QPushButton;

namespace zor {

class frm_SDIMAIN;

// "ARC": the console's arc counter.
class ArcFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit ArcFrame(frm_SDIMAIN &main);

    QPushButton *btn_clrArc;
    QLineEdit *Txt_arcCount;
    void btn_clrArc_Click();

private:
    frm_SDIMAIN &main_;
};

} // namespace zor
