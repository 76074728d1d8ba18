#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTextEdit;

namespace zor {

class FormRegistry;

// "USB Setup and Documentation": the COM number of the supply's USB bridge,
// with the set-up steps beside it. DONE stores the typed number in the shared
// chosen port text and unloads the dialog.
class UsbPortDialog : public QDialog {
    Q_OBJECT
public:
    UsbPortDialog(FormRegistry &registry, QString &chosenPortText, QWidget *parent = nullptr);

    QLineEdit *txt_USBPORT;
    QPushButton *btn_DONE;
    QTextEdit *rtf_USBDOCS;

    void btn_DONE_Click();

private:
    QString &chosenPortText_;
};

} // namespace zor
