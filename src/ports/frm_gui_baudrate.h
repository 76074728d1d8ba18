#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace zor {

class FormRegistry;
class frm_SDIMAIN;

// "GUI Baud Rate": the console's own serial speed, asked before a serial port
// is opened. OK unloads it, so every opening offers the remembered rate again.
class frm_gui_baudrate : public QDialog {
    Q_OBJECT
public:
    frm_gui_baudrate(FormRegistry &registry, frm_SDIMAIN &main);

    QLabel *lbl_CAPTION;
    QComboBox *Bitslist;
    QPushButton *ok;

    void ok_Click();

private:
    void Form_Load();

    frm_SDIMAIN &main_;
};

} // namespace zor
