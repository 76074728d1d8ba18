#pragma once

#include "telemetry/publisher.h"

#include <QDialog>
#include <QObject>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;

namespace zor {

// "Telemetry": the broker and how to publish to it. OK keeps the dialog open
// while what was typed will not do, and says why.
class TelemetryDialog : public QDialog {
    Q_OBJECT
public:
    TelemetryDialog(const telemetry::BrokerSettings &shown, bool publishing, QWidget *parent);

    QCheckBox *chk_PUBLISH;
    QLineEdit *txt_URL;
    QLineEdit *txt_CA;
    QLineEdit *txt_USER;
    QLineEdit *txt_PASSWORDFILE;
    QLineEdit *txt_TOPIC;
    QLineEdit *txt_INTERVAL;
    QPushButton *OKButton;
    QPushButton *CancelButton;

    void OKButton_Click();
    // What OK accepted, password read.
    telemetry::BrokerSettings accepted;
};

// Controls > Telemetry... and the MQTT indicator beside LOG in the status bar,
// over the shell's publisher.
class TelemetryMenu : public QObject {
    Q_OBJECT
public:
    TelemetryMenu(telemetry::Publisher &publisher, QMenu *menu, QStatusBar *bar, QWidget *owner);

    telemetry::Publisher &publisher;
    QAction *mnu_TELEMETRY;
    QLabel *lbl_TELEMETRY;

    void mnu_TELEMETRY_Click();

private:
    void showStatus(telemetry::Publisher::Status status, const QString &reason);

    QWidget *owner_;
};

} // namespace zor
