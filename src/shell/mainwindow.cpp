#include "shell/mainwindow.h"

#include "audit/auditmenu.h"
#include "conditioning/conditioningmenu.h"
#include "conditioning/cycletest.h"
#include "conditioning/seasoningpage.h"
#include "control/arcframe.h"
#include "control/faultresetframe.h"
#include "control/hvenableframe.h"
#include "control/localremote.h"
#include "control/setpointpanel.h"
#include "diagnostics/commdiagnosticspage.h"
#include "diagnostics/diagnosticsmenu.h"
#include "diagnostics/rawdatapage.h"
#include "diagnostics/tracewindow.h"
#include "factory/configmenu.h"
#include "link/linkhealth.h"
#include "link/traffictrace.h"
#include "monitor/analogreadbacks.h"
#include "monitor/identityframe.h"
#include "monitor/statusframe.h"
#include "platform/dialogs.h"
#include "platform/numedit.h"
#include "platform/toggleswitch.h"
#include "ports/transportselection.h"
#include "shell/linkindicator.h"
#include "shell/windowplacement.h"
#include "telemetryui/telemetrymenu.h"
#include "trend/recordsmenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace zor {

namespace {

// Ctrl+Shift+X from any window of the console, modal boxes included, which a
// shortcut of the main window cannot reach while a box blocks it.
class XrayOffKey final : public QObject {
public:
    XrayOffKey(QObject *parent, std::function<void()> off) : QObject(parent), off_(std::move(off)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_X ||
            (key->modifiers() & ~Qt::KeypadModifier) != (Qt::ControlModifier | Qt::ShiftModifier))
            return false;
        if (!key->isAutoRepeat())
            off_();
        return true;
    }

private:
    std::function<void()> off_;
};

} // namespace

MainWindow::MainWindow(const PortFactory &ports, QWidget *parent)
    : QMainWindow(parent), link(ports), forms(link), linkHealth(new LinkHealth(link)),
      trace(new TrafficTrace(link)), StatusBar1(new StatusPanels(this)), menu(menuBar()) {
    setObjectName(QStringLiteral("frm_SDIMAIN"));
    setWindowTitle(QStringLiteral("ZOR80HR Interface"));
    setStatusBar(StatusBar1);
    // Every box belongs to this window, which outlives them all.
    setBoxParent(this);
    // The unit behind a port opened while polling is read again before
    // anything is programmed: its scale by the poll, its identity here.
    connect(&link, &DeviceLink::opened, this, [this] {
        if (autoUpdate)
            readUnit();
    });
    link.setPollTimer(&tmr_UPDATE);
    programEnd_ = [] { QCoreApplication::exit(0); };
    buildLayout();
    connectMenu();
    connectLink();
    connectState();
    connect(&tmr_UPDATE, &Timer::tick, this, &MainWindow::tmr_UPDATE_Timer);
    connect(&tmr_EXIT, &Timer::tick, this, &MainWindow::tmr_EXIT_Timer);
    StatusBar1->addIndicator(new LinkIndicator(*linkHealth, StatusBar1));
    new XrayOffKey(this, [this] { mnu_XRAYOFF_Click(); });
}

MainWindow::~MainWindow() = default;

ConsoleContext MainWindow::context() {
    return {link, state, ops, forms, menu};
}

void MainWindow::buildLayout() {
    auto *central = new QWidget(this);
    auto *grid = new QGridLayout(central);

    const ConsoleContext ctx = context();
    panels.statusFrame = new StatusFrame(ctx);
    panels.readbacks = new AnalogReadbacks(state, this);
    panels.identity = new IdentityFrame(ctx);
    panels.setpoints = new SetpointPanel(ctx);
    panels.hvEnable = new HvEnableFrame(ctx);
    panels.faultReset = new FaultResetFrame(ctx);
    panels.arcFrame = new ArcFrame(ops);
    panels.localRemote = new LocalRemote(ctx);

    auto *update = new QGroupBox(QStringLiteral("UPDATE DATA"));
    update->setObjectName(QStringLiteral("fra_UPDATE"));
    auto *updateBox = new QVBoxLayout(update);
    btn_UPDATEDATA = new ToggleSwitch(QStringLiteral("UPDATE"), QStringLiteral("WAITING!"), update);
    btn_UPDATEDATA->setObjectName(QStringLiteral("btn_UPDATEDATA"));
    btn_UPDATEDATA->setToolTip(QStringLiteral("Update Analog Data Fields"));
    updateBox->addWidget(btn_UPDATEDATA);
    connect(btn_UPDATEDATA, &ToggleSwitch::valueChanged, this,
            &MainWindow::btn_UPDATEDATA_ValueChanged);

    grid->addWidget(panels.readbacks->fra_READBACKS, 0, 0);
    grid->addWidget(panels.readbacks->fra_AUX, 0, 1);
    grid->addWidget(panels.statusFrame, 0, 2, 3, 1);
    grid->addWidget(panels.setpoints, 1, 0);
    grid->addWidget(panels.hvEnable, 1, 1);
    grid->addWidget(panels.identity, 2, 0);
    auto *small = new QGridLayout;
    small->addWidget(panels.faultReset, 0, 0);
    small->addWidget(panels.arcFrame, 0, 1);
    small->addWidget(update, 1, 0, 1, 2);
    grid->addLayout(small, 2, 1);
    grid->addWidget(panels.localRemote, 3, 0);
    panels.localRemote->hide();
    setCentralWidget(central);

    btn_HVONOFF = panels.hvEnable->btn_HVONOFF;
    connect(panels.hvEnable, &HvEnableFrame::refused, StatusBar1, [this](const QString &text) {
        StatusBar1->showMessage(text, HvEnableFrame::RefusalShownMs);
    });
    menus.transport = new TransportSelection(ctx, *this, this);
    menus.diagnostics = new DiagnosticsMenu(ctx, *this, this);
    menus.conditioning = new ConditioningMenu(ctx, *this, CycleTimer, this);
    menus.configMenu = new ConfigMenu(ctx, *this, this);
    menus.records = new RecordsMenu(records, state, menu.mnu_Controls, StatusBar1, this);

    // Tab goes to what the operator changes first: the set-point editor and
    // PROGRAM, then the channel, the switches; the read-only fields follow.
    SetpointPanel &sp = *panels.setpoints;
    const QList<QWidget *> first{sp.ctrl_SCALVAL, sp.btn_ACCEPT, sp.btn_CANCEL,
                                 sp.opt_DACA,     sp.opt_DACB,   sp.btn_KVSET,
                                 sp.btn_EMI,      btn_HVONOFF,   btn_UPDATEDATA};
    for (qsizetype i = 1; i < first.size(); ++i)
        setTabOrder(first[i - 1], first[i]);
    sp.ctrl_SCALVAL->setFocus();
    new WindowPlacement(*this);
    menus.telemetry = new TelemetryMenu(publisher, menu.mnu_Controls, StatusBar1, this);
    menus.audit = new AuditMenu(ctx, StatusBar1, this);
    connect(&menus.audit->trail, &AuditTrail::appended, &publisher,
            &telemetry::Publisher::publishAudit);
}

void MainWindow::connectMenu() {
    connect(menu.mnu_AUTOUPDATE, &QAction::triggered, this, &MainWindow::mnu_AUTOUPDATE_Click);
    connect(menu.mnu_MANUAL, &QAction::triggered, this, &MainWindow::mnu_MANUAL_Click);
    connect(menu.mnu_EXIT, &QAction::triggered, this, &MainWindow::mnu_EXIT_Click);
    connect(menu.mnu_SHUTDOWN, &QAction::triggered, this, &MainWindow::mnu_SHUTDOWN_Click);
    connect(menu.mnu_EXTRAS, &QAction::triggered, this, &MainWindow::mnu_EXTRAS_Click);
    connect(menu.mnu_TRACE, &QAction::triggered, this, &MainWindow::mnu_TRACE_Click);
    connect(menu.mnu_XRAYOFF, &QAction::triggered, this, &MainWindow::mnu_XRAYOFF_Click);
}

void MainWindow::connectLink() {
    connect(&link, &DeviceLink::transmitted, this, [this](const QByteArray &frame) {
        StatusBar1->setPanelText(4, QStringLiteral("TX: ") + QString::fromLatin1(frame));
    });
    connect(&link, &DeviceLink::received, this, [this](const QByteArray &reply) {
        StatusBar1->setPanelText(3, QStringLiteral("RX: ") + QString::fromLatin1(reply));
    });
    connect(&link, &DeviceLink::serialLeftover, this, [this](const QByteArray &text) {
        extras().txt_MSCOMMBUFF->setText(QString::fromLatin1(text));
    });
    connect(&link, &DeviceLink::networkStatus, this, [this](const QByteArray &text) {
        StatusBar1->setPanelText(3, QString::fromLatin1(text));
        panels.statusFrame->decodeNetworkStatus(text);
    });
    connect(&link, &DeviceLink::tcpError, this, &MainWindow::showTcpError);
}

// What the model reports that the comm diagnostics and raw data pages show;
// both pages are loaded by the first report, shown or not.
void MainWindow::connectState() {
    connect(&state, &SupplyState::failedRepliesChanged, this, [this](int count) {
        extras().txt_COMMERRORS->setText(CommDiagnosticsPage::countText(count));
    });
    connect(&ops, &SupplyOps::answered, this, [this](SupplyOps::Operation op, parse::Ack ack) {
        using Op = SupplyOps::Operation;
        if (op != Op::ProgramKv && op != Op::ProgramMa && op != Op::HvOn && op != Op::HvOff)
            return;
        const bool hv = op == Op::HvOn || op == Op::HvOff;
        if (hv && ack == parse::Ack::Taken)
            rawData().showInterlock1(op == Op::HvOn);
        if (ack == parse::Ack::Refused)
            extras().txt_LASTERROR->setText(QStringLiteral("1"));
        extras().txt_COMMERRORS->setText(CommDiagnosticsPage::countText(state.failedReplies()));
    });
    // Any answer to the first monitor read ends an operator's update request.
    connect(&ops, &SupplyOps::monitorsAnswered, this, [this] { btn_UPDATEDATA->setValue(false); });
    connect(&state, &SupplyState::readingChanged, this,
            [this](Quantity q, const Reading &r) { rawData().showReading(q, r); });
}

void MainWindow::showTcpError(const QString &description) {
    // A dead peer raises errors in bursts; one box at a time is enough.
    if (tcpErrorShowing_)
        return;
    tcpErrorShowing_ = true;
    // The error may be raised from inside the link's own code; the box opens
    // from the event loop, where it holds up nothing.
    QTimer::singleShot(0, this, [this, description] {
        if (!ended_)
            dialogs().message(QStringLiteral("TCP Error") + description);
        tcpErrorShowing_ = false;
    });
}

CommDiagnosticsPage &MainWindow::extras() {
    return forms.get<CommDiagnosticsPage>();
}

RawDataPage &MainWindow::rawData() {
    return forms.get<RawDataPage>(state, *this);
}

void MainWindow::mnu_EXTRAS_Click() {
    CommDiagnosticsPage &page = extras();
    page.show();
    page.raise();
    page.txt_COMMERRORS->setText(CommDiagnosticsPage::countText(state.failedReplies()));
}

void MainWindow::showCommDiagnostics() {
    mnu_EXTRAS_Click();
}

void MainWindow::setStatusPanelText(int panel, const QString &text) {
    StatusBar1->setPanelText(panel, text);
}

QString MainWindow::statusPanelText(int panel) const {
    return StatusBar1->panelText(panel);
}

void MainWindow::openModalPage(std::function<void()> page) {
    if (modalPageBusy_ || ended_)
        return;
    // The link goes on while the page is open: nothing it waits for is held.
    modalPageBusy_ = true;
    page();
    modalPageBusy_ = false;
}

void MainWindow::mnu_TRACE_Click() {
    TraceWindow &window = forms.get<TraceWindow>(*trace);
    window.show();
    window.raise();
}

void MainWindow::readUnit() {
    if (!autoUpdate)
        ops.readScaling();
    for (int f = 0; f < IdentityFieldCount; ++f)
        ops.readIdentity(IdentityField(f));
}

void MainWindow::mnu_XRAYOFF_Click() {
    panels.hvEnable->switchOff(true);
    state.note(EventType::XrayOffKey, QStringLiteral("X-ray off key"));
    CycleTest &cycle = *menus.conditioning->cycleTest;
    if (cycle.cycleRunning)
        cycle.engine.stop(runs::RunEnd::XrayOff);
    if (SeasoningPage *season = forms.find<SeasoningPage>(); season && season->running())
        season->stopRun(runs::RunEnd::XrayOff);
}

} // namespace zor
