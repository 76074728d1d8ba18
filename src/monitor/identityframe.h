#pragma once

#include "supply/supplystate.h"
#include "ui/consolecontext.h"

#include <QGroupBox>

class QLineEdit;
class QPushButton;

namespace zor {

// "SYSTEM INFORMATION": what the supply says about itself.
class IdentityFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit IdentityFrame(ConsoleContext ctx);

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
    // Offered when the operator changes the hardware revision.
    QString hwRevDefault = QStringLiteral("A01");

private:
    QLineEdit *field(IdentityField f) const;
    void showChangeFailed();

    ConsoleContext ctx_;
};

} // namespace zor
