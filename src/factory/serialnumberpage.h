#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zor {

class DeviceLink;
class SupplyOps;
class SupplyState;

// "Serial Number": reads the supply's serial number; writes a new one after
// this page's own access key.
class SerialNumberPage : public QDialog {
    Q_OBJECT
public:
    static constexpr const char *AccessKey = "2958";

    SerialNumberPage(SupplyOps &ops, QWidget *parent);

    QLineEdit *Txt_serialNum;
    QPushButton *Btn_read_serialNum;
    QPushButton *Btn_serialNum;
    QPushButton *Command1;
    QPushButton *Btn_ok;

    void Form_Load();
    void Command1_Click();
    void Btn_read_serialNum_Click();
    void Btn_serialNum_Click();
    void Btn_ok_Click();

private:
    void setBackground(const QColor &colour);

    SupplyOps &ops_;
    DeviceLink &link_;
    SupplyState &state_;
};

} // namespace zor
