#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace zor {

class DeviceLink;
class ShellActions;

// "GUI Baud Rate": the console's own serial speed, asked before a serial port
// is opened. OK unloads it, so every opening offers the remembered rate again.
class HostBaudRateDialog : public QDialog {
    Q_OBJECT
public:
    HostBaudRateDialog(DeviceLink &link, ShellActions &shell, QWidget *parent = nullptr);

    QLabel *lbl_CAPTION;
    QComboBox *Bitslist;
    QPushButton *ok;
    // The rate OK took ("9600"); empty when the dialog closed without it.
    QString chosenRate;

    void ok_Click();

private:
    void Form_Load();

    ShellActions &shell_;
};

} // namespace zor
