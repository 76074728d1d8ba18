#include "shell/mainwindow.h"

#include "control/localremote.h"
#include "platform/dialogs.h"
#include "platform/toggleswitch.h"
#include "shell/frm_extras.h"

#include <QAction>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace zor {

frm_SDIMAIN::frm_SDIMAIN(const PortFactory &ports, QWidget *parent)
    : QMainWindow(parent), link(ports), forms(link), StatusBar1(new StatusPanels(this)),
      menu(menuBar()) {
    setObjectName(QStringLiteral("frm_SDIMAIN"));
    setWindowTitle(QStringLiteral("ZOR80HR Interface"));
    setStatusBar(StatusBar1);
    link.setPollTimer(&tmr_UPDATE);
    programEnd_ = [] { QCoreApplication::exit(0); };
    buildLayout();
    connectMenu();
    connectLink();
    connect(&tmr_UPDATE, &Timer::tick, this, &frm_SDIMAIN::tmr_UPDATE_Timer);
    connect(&tmr_EXIT, &Timer::tick, this, &frm_SDIMAIN::tmr_EXIT_Timer);
}

frm_SDIMAIN::~frm_SDIMAIN() = default;

QGroupBox *frm_SDIMAIN::frame(const QString &title) const {
    for (QGroupBox *box : frames_)
        if (box->title() == title)
            return box;
    return nullptr;
}

void frm_SDIMAIN::buildLayout() {
    auto *central = new QWidget(this);
    auto *grid = new QGridLayout(central);
    const auto makeFrame = [this, central](const char *title) {
        auto *box = new QGroupBox(QString::fromLatin1(title), central);
        new QVBoxLayout(box);
        frames_.append(box);
        return box;
    };
    const auto button = [](QGroupBox *box, const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), box);
        b->setObjectName(QString::fromLatin1(name));
        box->layout()->addWidget(b);
        return b;
    };

    QGroupBox *readbacks = makeFrame("READBACKS");
    QGroupBox *aux = makeFrame("AUXILIARY VOLTAGE");
    QGroupBox *status = makeFrame("SYSTEM STATUS");
    QGroupBox *info = makeFrame("SYSTEM INFORMATION");
    QGroupBox *dac = makeFrame("SET DAC CHANNELS");
    QGroupBox *xray = makeFrame("X-Ray Enable");
    QGroupBox *reset = makeFrame("RESET FAULT");
    QGroupBox *arc = makeFrame("ARC");
    QGroupBox *update = makeFrame("UPDATE DATA");

    btn_REQSTAT = button(status, "btn_REQSTAT", "Request Status");
    btn_HWREV = button(info, "btn_HWREV", "Hardware Rev.");
    btn_MODNUM = button(info, "btn_MODNUM", "Model Number");
    btn_SWREV = button(info, "btn_SWREV", "Software Rev.");
    btn_SWBuild = button(info, "btn_SWBuild", "Software Build");
    btn_serialNum_rqst = button(info, "btn_serialNum_rqst", "Serial Number");
    btn_KVSET = button(dac, "btn_KVSET", "Voltage Setpoint");
    btn_EMI = button(dac, "btn_EMI", "Current Setpoint");
    // Present for the manual-control switching, never shown.
    btn_FILLIM = button(dac, "btn_FILLIM", "Filament Limit");
    btn_FILPREHEAT = button(dac, "btn_FILPREHEAT", "Filament PreHeat");
    btn_FILLIM->hide();
    btn_FILPREHEAT->hide();

    btn_HVONOFF = new ToggleSwitch(QStringLiteral("OFF"), QStringLiteral("ON"), xray);
    btn_HVONOFF->setObjectName(QStringLiteral("btn_HVONOFF"));
    xray->layout()->addWidget(btn_HVONOFF);

    btn_UPDATEDATA = new ToggleSwitch(QStringLiteral("UPDATE"), QStringLiteral("WAITING!"), update);
    btn_UPDATEDATA->setObjectName(QStringLiteral("btn_UPDATEDATA"));
    btn_UPDATEDATA->setToolTip(QStringLiteral("Update Analog Data Fields"));
    update->layout()->addWidget(btn_UPDATEDATA);
    connect(btn_UPDATEDATA, &ToggleSwitch::valueChanged, this,
            &frm_SDIMAIN::btn_UPDATEDATA_ValueChanged);

    localRemote = new LocalRemote(*this);
    localRemote->setParent(central);
    localRemote->hide();

    grid->addWidget(readbacks, 0, 0);
    grid->addWidget(aux, 0, 1);
    grid->addWidget(status, 0, 2, 2, 1);
    grid->addWidget(dac, 1, 0);
    grid->addWidget(xray, 1, 1);
    grid->addWidget(info, 2, 0);
    auto *small = new QGridLayout;
    small->addWidget(reset, 0, 0);
    small->addWidget(arc, 0, 1);
    small->addWidget(update, 1, 0, 1, 2);
    grid->addLayout(small, 2, 1, 1, 2);
    for (QGroupBox *box : frames_)
        static_cast<QVBoxLayout *>(box->layout())->addStretch();
    setCentralWidget(central);

    connect(btn_KVSET, &QPushButton::clicked, this, &frm_SDIMAIN::btn_KVSET_Click);
    connect(btn_EMI, &QPushButton::clicked, this, &frm_SDIMAIN::btn_EMI_Click);
    connect(btn_REQSTAT, &QPushButton::clicked, this, &frm_SDIMAIN::btn_REQSTAT_Click);
    connect(btn_HWREV, &QPushButton::clicked, this, &frm_SDIMAIN::btn_HWREV_Click);
    connect(btn_MODNUM, &QPushButton::clicked, this, &frm_SDIMAIN::btn_MODNUM_Click);
    connect(btn_SWREV, &QPushButton::clicked, this, &frm_SDIMAIN::btn_SWREV_Click);
    connect(btn_SWBuild, &QPushButton::clicked, this, &frm_SDIMAIN::btn_SWBuild_Click);
    connect(btn_serialNum_rqst, &QPushButton::clicked, this,
            &frm_SDIMAIN::btn_serialNum_rqst_Click);
}

void frm_SDIMAIN::connectMenu() {
    connect(menu.mnu_AUTOUPDATE, &QAction::triggered, this, &frm_SDIMAIN::mnu_AUTOUPDATE_Click);
    connect(menu.mnu_MANUAL, &QAction::triggered, this, &frm_SDIMAIN::mnu_MANUAL_Click);
    connect(menu.mnu_EXIT, &QAction::triggered, this, &frm_SDIMAIN::mnu_EXIT_Click);
    connect(menu.mnu_SHUTDOWN, &QAction::triggered, this, &frm_SDIMAIN::mnu_SHUTDOWN_Click);
}

void frm_SDIMAIN::connectLink() {
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
    });
    connect(&link, &DeviceLink::tcpError, this, &frm_SDIMAIN::showTcpError);
}

void frm_SDIMAIN::showTcpError(const QString &description) {
    // A dead peer raises errors in bursts; one box at a time is enough.
    if (tcpErrorShowing_)
        return;
    tcpErrorShowing_ = true;
    dialogs().message(QStringLiteral("TCP Error") + description);
    tcpErrorShowing_ = false;
}

frm_EXTRAS &frm_SDIMAIN::extras() {
    return forms.get<frm_EXTRAS>();
}

void frm_SDIMAIN::countCommError() {
    ++commErrorCount;
    extras().txt_COMMERRORS->setText(QStringLiteral(" %1").arg(commErrorCount));
}

} // namespace zor
