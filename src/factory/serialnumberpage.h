#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zor {

class FormRegistry;
class MainWindow;

// "Serial Number": reads the supply's serial number; writes a new one after
// this page's own access key.
class SerialNumberPage : public QDialog {
    Q_OBJECT
public:
    static constexpr const char *AccessKey = "2958";

    SerialNumberPage(FormRegistry &registry, MainWindow &main);

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

    MainWindow &main_;
};

} // namespace zor
