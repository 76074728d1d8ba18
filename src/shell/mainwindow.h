#pragma once

#include "link/devicelink.h"
#include "platform/timer.h"
#include "shell/formregistry.h"
#include "shell/mainmenu.h"
#include "shell/statuspanels.h"
#include "supply/supplystate.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QGroupBox;
class QPushButton;

namespace zor {

class ToggleSwitch;
class frm_EXTRAS;
class frm_RAWDATA;
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
class LinkHealth;
class TrafficTrace;

// The console's main window: owns the link, the shared state every window
// reads, the menu bar, the update modes, the poll and the three ways of ending.
class frm_SDIMAIN : public QMainWindow {
    Q_OBJECT
public:
    explicit frm_SDIMAIN(const PortFactory &ports = PortFactory::real(), QWidget *parent = nullptr);
    ~frm_SDIMAIN() override;

    // How the program ends; tests record the call instead of ending the process.
    void setProgramEnd(std::function<void()> end) { programEnd_ = std::move(end); }
    bool ended() const { return ended_; }

    // --- link -------------------------------------------------------------
    DeviceLink link;
    FormRegistry forms;
    SerialPortComponent &MSComm1() { return link.MSComm1(); }
    TcpClientComponent &tcpClient() { return link.tcpClient(); }
    void outputOutputString(const QByteArray &payload) { link.outputOutputString(payload); }
    QByteArray inputInputString() { return link.inputInputString(); }
    // Runs one handler's exchanges inside the command bracket.
    void command(std::function<void()> body) { link.command(this, std::move(body)); }

    // Whether the supply answers (shown beside the status panels) and the
    // last exchanges for the traffic trace window; both follow the link.
    LinkHealth *linkHealth;
    TrafficTrace *trace;
    void mnu_TRACE_Click();
    // Switches the high voltage off as the next frame on the wire, whatever
    // the switch shows, and ends a cycle test or seasoning run that would
    // switch it on again.
    void mnu_XRAYOFF_Click();

    // --- shared state -----------------------------------------------------
    // The supply as typed values, for the views that only observe it.
    SupplyState supply;
    QString &linkMode = link.linkMode;
    bool &autoUpdate = link.autoUpdate;
    int pollStep = 0;
    int exitStep = 0;
    double kvPerBit = 0.0;
    double maPerBit = 0.000341;
    qint32 commErrorCount = 0;
    qint16 dacNewA = 0, dacNewB = 0;
    qint16 dacAcceptedA = 0, dacAcceptedB = 0;
    QString hwRevDefault = QStringLiteral("A01");
    qint16 arcArmed = 1;
    qint16 arcCount = 0;
    QString commPortText;

    // Adds one failed reply and shows the count in the comm diagnostics window.
    void countCommError();
    frm_EXTRAS &extras();
    frm_RAWDATA &rawData();
    // Shows the comm diagnostics window with the current failed-reply count.
    void mnu_EXTRAS_Click();
    // Opens a modal page once no exchange is waiting: a page opened inside such
    // a wait would hold that exchange, and its own commands behind it, until it
    // closed. Clicks while a page is open or pending are ignored.
    void openModalPage(std::function<void()> page);
    bool modalPageBusy() const { return modalPageBusy_; }

    // --- timers -----------------------------------------------------------
    Timer tmr_UPDATE{66};
    Timer tmr_EXIT{75};
    Timer CycleTimer{1000};
    Timer &tmr_RCVTIMER = link.tmr_RCVTIMER;
    Timer &tmr_NETRCVTMR = link.tmr_NETRCVTMR;
    Timer &tmr_COMMWDT = link.tmr_COMMWDT;

    // --- panels and controls ----------------------------------------------
    StatusPanels *StatusBar1;
    MainMenu menu;
    StatusFrame *statusFrame;
    AnalogReadbacks *readbacks;
    IdentityFrame *identity;
    SetpointPanel *setpoints;
    HvEnableFrame *hvEnable;
    FaultResetFrame *faultReset;
    ArcFrame *arcFrame;
    LocalRemote *localRemote;
    // Ports menu handlers and their dialogs.
    TransportSelection *transport = nullptr;
    // Unscaled data page, pass-through and about screen entries.
    DiagnosticsMenu *diagnostics = nullptr;
    // Tube seasoning and the high-voltage cycle test.
    ConditioningMenu *conditioning = nullptr;
    // Factory configuration, serial number, unit baud rate and user option pages.
    ConfigMenu *configMenu = nullptr;
    // Trend, event log and data log.
    RecordsMenu *records = nullptr;
    ToggleSwitch *btn_UPDATEDATA;
    ToggleSwitch *btn_HVONOFF;
    QPushButton *btn_KVSET;
    QPushButton *btn_EMI;
    QPushButton *btn_FILLIM;
    QPushButton *btn_FILPREHEAT;
    QPushButton *btn_REQSTAT;
    QPushButton *btn_HWREV;
    QPushButton *btn_MODNUM;
    QPushButton *btn_SWREV;
    QPushButton *btn_SWBuild;
    QPushButton *btn_serialNum_rqst;
    QGroupBox *frame(const QString &title) const;

    // --- lifecycle --------------------------------------------------------
    // A port named on the command line makes the port prompt needless.
    void Form_Load(bool askForPort = true);
    void Form_Unload();
    void mnu_EXIT_Click();
    void mnu_SHUTDOWN_Click();
    void tmr_EXIT_Timer();

    // --- update modes and poll --------------------------------------------
    void mnu_AUTOUPDATE_Click();
    void mnu_MANUAL_Click();
    void tmr_UPDATE_Timer();
    void btn_UPDATEDATA_ValueChanged();
    void DisableManualControls();
    void EnableManualControls();

    // Operations other windows and the poll call; each runs its own command
    // bracket in the panel that owns it.
    void btn_HVONOFF_Click();
    void ReadMonitors();
    void btn_KVSET_Click();
    void btn_EMI_Click();
    void btn_REQSTAT_Click();
    void ReadAuxMonitors();
    void getScaling_Click();
    void TickleWatchdog();
    void btn_HWREV_Click();
    void btn_MODNUM_Click();
    void btn_SWREV_Click();
    void btn_SWBuild_Click();
    void btn_serialNum_rqst_Click();

    // Sends each payload and collects its reply, for reads whose display comes later.
    void readPayloads(std::initializer_list<const char *> payloads);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void connectMenu();
    void connectLink();
    QList<QWidget *> manualControls() const;
    void runPollStep();
    void endProgram();
    void showTcpError(const QString &description);

    std::function<void()> programEnd_;
    bool ended_ = false;
    bool tcpErrorShowing_ = false;
    bool modalPageBusy_ = false;
    QList<QGroupBox *> frames_;
};

} // namespace zor
