#pragma once

#include <QGroupBox>

class QLineEdit;
class QPushButton;

namespace zor {

class frm_SDIMAIN;

// "SYSTEM INFORMATION": what the supply says about itself.
class IdentityFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit IdentityFrame(frm_SDIMAIN &main);

    QPushButton *btn_HWREV;
    QPushButton *btn_MODNUM;
    QPushButton *btn_SWREV;
    QPushButton *btn_SWBuild;
    QPushButton *btn_serialNum_rqst;
    QLineEdit *txt_HWREV;
    QLineEdit *txt_MODNUM;
    QLineEdit *txt_SWREV;
    QLineEdit *txt_SWBUILD;
    QLineEdit *txt_serialNum_rqst;

    void btn_HWREV_Click();
    void btn_MODNUM_Click();
    void btn_SWREV_Click();
    void btn_SWBuild_Click();
    void btn_serialNum_rqst_Click();
    void mnu_HWREV_Click();

private:
    // Reads a text that ends at the first ';' into one field.
    void readText(const QByteArray &payload, QLineEdit *field);
    // No reply: the fields show "Unknown" on red and one more failure is counted.
    void showUnknown(std::initializer_list<QLineEdit *> fields);

    frm_SDIMAIN &main_;
};

} // namespace zor
