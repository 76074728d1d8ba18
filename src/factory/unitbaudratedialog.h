#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace zor {

class DeviceLink;
class SupplyOps;

// "RS-232 Baud Rate Setting": switches the speed of the supply's own serial
// port. The console keeps its own speed; the user reopens the port to match.
class UnitBaudRateDialog : public QDialog {
    Q_OBJECT
public:
    explicit UnitBaudRateDialog(SupplyOps &ops, QWidget *parent = nullptr);

    QLabel *Text1;
    QComboBox *Bitslist;
    QPushButton *save;

    void Form_Load();
    void save_Click();

private:
    SupplyOps &ops_;
    DeviceLink &link_;
    bool saved_ = false;
};

} // namespace zor
