#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace zor {

class DeviceLink;
class ShellActions;

// "Remote Host": the supply's network address. Hidden rather than unloaded
// when it closes, so the last accepted texts stay until the console ends and
// Cancel can put them back.
class RemoteHost : public QDialog {
    Q_OBJECT
public:
    RemoteHost(DeviceLink &link, ShellActions &shell, QWidget *parent);

    QLineEdit *txtHost;
    QLineEdit *txtPortNumber;
    QPushButton *OKButton;
    QPushButton *CancelButton;
    // The address OK last took; empty until then.
    QString acceptedHost;
    int acceptedPort = 0;

    void OKButton_Click();
    void CancelButton_Click();
    // The close box and Escape count as Cancel.
    void reject() override;

private:
    void Form_Load();

    ShellActions &shell_;
    QString rememberedHost_;
    QString rememberedPort_;
};

} // namespace zor
