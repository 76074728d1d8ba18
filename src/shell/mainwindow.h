#pragma once

#include "link/devicelink.h"
#include "platform/timer.h"
#include "records/records.h"
#include "shell/statuspanels.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"
#include "telemetry/publisher.h"
#include "ui/consolecontext.h"
#include "ui/formregistry.h"
#include "ui/mainmenu.h"
#include "ui/shellactions.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QGroupBox;
class QPushButton;

namespace zor {

class ToggleSwitch;
class CommDiagnosticsPage;
class RawDataPage;
class LocalRemote;
class StatusFrame;
class AnalogReadbacks;
class IdentityFrame;
class SetpointPanel;
class HvEnableFrame;
class FaultResetFrame;
class ArcFrame;
class TransportSelection;
class DiagnosticsMenu;
class ConditioningMenu;
class ConfigMenu;
class RecordsMenu;
class TelemetryMenu;
class AuditMenu;
class LinkHealth;
class TrafficTrace;

// The console's main window: owns the link, the supply model every window
// reads, the menu bar, the update modes, the poll and the three ways of ending.
class MainWindow : public QMainWindow, public ShellActions {
    Q_OBJECT
public:
    explicit MainWindow(const PortFactory &ports = PortFactory::real(), QWidget *parent = nullptr);
    ~MainWindow() override;

    // How the program ends; tests record the call instead of ending the process.
    void setProgramEnd(std::function<void()> end) { programEnd_ = std::move(end); }
    Leaving leavingHighVoltage(const QString &switchOffCaption) override;
    bool ended() const override { return ended_; }

    // --- link and the supply model ----------------------------------------
    DeviceLink link;
    SupplyState state;
    SupplyOps ops{link, state};
    // The trend's history, the data log and the event log.
    Records records{state, ops};
    // Telemetry to a broker, fed by the model and the event log.
    telemetry::Publisher publisher{state, &records.events};
    FormRegistry forms;
    // What the windows get instead of the main window.
    ConsoleContext context();
    // Queues one handler's exchanges, run inside the command bracket.
    void command(DeviceLink::Body body) { link.command(this, std::move(body)); }

private:
    // Whether the supply answers, shown beside the status panels.
    LinkHealth *linkHealth;

public:
    // The last exchanges for the traffic trace window.
    TrafficTrace *trace;
    void mnu_TRACE_Click();

    QString linkMode() const { return link.linkMode(); }
    bool &autoUpdate = link.autoUpdate;

    CommDiagnosticsPage &extras();
    RawDataPage &rawData();
    // Shows the comm diagnostics window with the current failed-reply count.
    void mnu_EXTRAS_Click();
    void openModalPage(std::function<void()> page) override;

    // --- timers -----------------------------------------------------------
    Timer tmr_UPDATE{66};
    Timer tmr_EXIT{75};
    Timer CycleTimer{1000};

    // --- panels and controls ----------------------------------------------
    StatusPanels *StatusBar1;
    MainMenu menu;
    // The frames of the window, each owning its controls and handlers.
    struct Panels {
        StatusFrame *statusFrame;
        AnalogReadbacks *readbacks;
        IdentityFrame *identity;
        SetpointPanel *setpoints;
        HvEnableFrame *hvEnable;
        FaultResetFrame *faultReset;
        ArcFrame *arcFrame;
        LocalRemote *localRemote;
    } panels{};
    // Menu objects that connect their own entries: the Ports menu with its
    // dialogs; raw data, pass-through and about; seasoning and the cycle test;
    // factory configuration, serial number, unit baud rate and user options.
    struct Menus {
        TransportSelection *transport = nullptr;
        DiagnosticsMenu *diagnostics = nullptr;
        ConditioningMenu *conditioning = nullptr;
        ConfigMenu *configMenu = nullptr;
        // Trend, event log and data log.
        RecordsMenu *records = nullptr;
        // The MQTT publisher, its dialog and status bar indicator.
        TelemetryMenu *telemetry = nullptr;
        // The audit trail, its window and the warning before X-rays.
        AuditMenu *audit = nullptr;
    } menus;
    ToggleSwitch *btn_UPDATEDATA;
    ToggleSwitch *btn_HVONOFF;

    // --- lifecycle --------------------------------------------------------
    // A port named on the command line makes the port prompt needless.
    void Form_Load(bool askForPort = true);
    void Form_Unload();
    void mnu_EXIT_Click();
    void mnu_SHUTDOWN_Click();
    void tmr_EXIT_Timer();

    // --- update modes and poll --------------------------------------------
    void mnu_AUTOUPDATE_Click() override;
    void mnu_MANUAL_Click() override;
    void tmr_UPDATE_Timer();
    void btn_UPDATEDATA_ValueChanged();

    // Operations other windows call; each runs in the panel that owns it.
    void btn_HVONOFF_Click();
    void btn_KVSET_Click();
    void btn_REQSTAT_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setStatusPanelText(int panel, const QString &text) override;
    QString statusPanelText(int panel) const override;
    void showCommDiagnostics() override;
    // Switches the high voltage off as the next frame on the wire, whatever
    // the switch shows, and ends a cycle test or seasoning run that would
    // switch it on again.
    void mnu_XRAYOFF_Click();
    // The scale (unless the poll reads it) and the identity of the unit now
    // connected.
    void readUnit();
    void DisableManualControls();
    void EnableManualControls();
    void buildLayout();
    void connectMenu();
    void connectLink();
    void connectState();
    QList<QWidget *> manualControls() const;
    void endProgram();
    void closeLinkAndEnd();
    // Stops the poll, the runs and every command but the closing ones.
    void stopEverything();
    // Sends "ENBL 0;" behind the exchange in flight, then ends with `end`.
    void switchOffThen(std::function<void()> end);
    void showTcpError(const QString &description);

    int exitStep = 0;
    std::function<void()> programEnd_;
    bool ended_ = false;
    bool tcpErrorShowing_ = false;
    bool modalPageBusy_ = false;
};

} // namespace zor
