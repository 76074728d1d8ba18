#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace zor {

class FormRegistry;
class MainWindow;

// "GUI Baud Rate": the console's own serial speed, asked before a serial port
// is opened. OK unloads it, so every opening offers the remembered rate again.
class HostBaudRateDialog : public QDialog {
    Q_OBJECT
public:
    HostBaudRateDialog(FormRegistry &registry, MainWindow &main);

    QLabel *lbl_CAPTION;
    QComboBox *Bitslist;
    QPushButton *ok;

    void ok_Click();

private:
    void Form_Load();

    MainWindow &main_;
};

} // namespace zor
