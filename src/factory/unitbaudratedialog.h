#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace zor {

class DeviceLink;
class Timer;

// "RS-232 Baud Rate Setting": switches the speed of the supply's own serial
// port. The console keeps its own speed; the user reopens the port to match.
class UnitBaudRateDialog : public QDialog {
    Q_OBJECT
public:
    // pollTimer: the main window's tmr_UPDATE, held off after a save.
    UnitBaudRateDialog(DeviceLink &link, Timer &pollTimer, QWidget *parent);

    QLabel *Text1;
    QComboBox *Bitslist;
    QPushButton *save;

    void Form_Load();
    void save_Click();

private:
    DeviceLink &link_;
    Timer &pollTimer_;
    bool saved_ = false;
};

} // namespace zor
