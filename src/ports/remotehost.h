#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zor {

class FormRegistry;
class MainWindow;

// "Remote Host": the supply's network address. Hidden rather than unloaded
// when it closes, so the last accepted texts stay until the console ends and
// Cancel can put them back.
class RemoteHost : public QDialog {
    Q_OBJECT
public:
    RemoteHost(FormRegistry &registry, MainWindow &main);

    QLineEdit *txtHost;
    QLineEdit *txtPortNumber;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void OKButton_Click();
    void CancelButton_Click();
    // The close box and Escape count as Cancel.
    void reject() override;

    QString rememberedHost() const { return rememberedHost_; }
    QString rememberedPort() const { return rememberedPort_; }

private:
    void Form_Load();

    MainWindow &main_;
    QString rememberedHost_;
    QString rememberedPort_;
};

} // namespace zor
