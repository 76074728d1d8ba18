#pragma once

#include "link/devicelink.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace zor {

class DeviceLink;
class SupplyOps;
class NumEdit;

// "Form1": the supply's user protection options (over-voltage, ramp rate,
// over-current, arc handling). Reads them when it loads, writes all at once.
class UserOptionsPage : public QDialog {
    Q_OBJECT
public:
    UserOptionsPage(SupplyOps &ops, QWidget *parent);

    // The nine options as they travel on the wire, in wire order.
    QString optRov;
    QString optOvLevel;
    QString optRampTenths;
    QString optAol;
    QString optArcCount;
    QString optArcPeriod;
    QString optQuenchTime;
    QString optReRamp;
    QString optNad;

    QGroupBox *fra_overVoltage;
    QGroupBox *fra_rampRate;
    QGroupBox *fra_overCurrent;
    QGroupBox *fra_arc;
    QCheckBox *check_rov;
    NumEdit *CWNumEdit1;
    NumEdit *CWNumEdit2;
    QCheckBox *check_aol;
    NumEdit *CWNumEdit3;
    NumEdit *CWNumEdit4;
    NumEdit *CWNumEdit5;
    QCheckBox *Check1;
    QCheckBox *Check2;
    QPushButton *Command1;

    void Form_Load();
    void check_rov_Click();
    void check_aol_Click();
    void Check1_Click();
    void Check2_Click();
    void CWNumEdit1_ValueChanged();
    void CWNumEdit2_ValueChanged();
    void CWNumEdit3_ValueChanged();
    void CWNumEdit4_ValueChanged();
    void CWNumEdit5_ValueChanged();
    void Command1_Click();

private:
    void buildLayout();
    void readOptions();
    Task<> saveOptions();
    // Sets the controls from the members, stopping at the first one that
    // cannot take its text; true when all nine took theirs.
    bool showOptions();
    QList<QString *> members();

    SupplyOps &ops_;
    DeviceLink &link_;
    // The last read gave all nine options; only then may they be saved.
    bool readOk_ = false;
};

} // namespace zor
