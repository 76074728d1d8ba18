// Renders every window of the console to PNG files: the main window while it
// polls the simulated supply with the high voltage on, then each dialog and
// page, opened through the menu handlers an operator would use.
//   zor-screenshots [--out DIR] [--sim PATH]
#include "simchild.h"

#include "conditioning/conditioningmenu.h"
#include "conditioning/frm_run_season.h"
#include "conditioning/frm_seasoning.h"
#include "control/setpointpanel.h"
#include "diagnostics/diagnosticsmenu.h"
#include "diagnostics/frm_rawdata.h"
#include "diagnostics/revscreen.h"
#include "factory/configmenu.h"
#include "factory/frm_config.h"
#include "factory/serialnumberpage.h"
#include "platform/dialogs.h"
#include "platform/numedit.h"
#include "ports/frm_gui_baudrate.h"
#include "ports/frm_usb.h"
#include "ports/remotehost.h"
#include "ports/transportselection.h"
#include "shell/frm_extras.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <map>

namespace {

using namespace zor;

using tools::pause;

class Camera {
public:
    explicit Camera(const QString &folder) : dir_(folder) { dir_.mkpath(QStringLiteral(".")); }

    void shoot(QWidget &window, const QString &name) {
        QApplication::processEvents();
        // Few colours: a palette image keeps the files small enough to commit.
        const QImage image = window.grab().toImage().convertToFormat(
            QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
        const QString path = dir_.filePath(name + QStringLiteral(".png"));
        if (!image.save(path, "PNG", 0)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
            return;
        }
        std::printf("%-40s %4d x %-4d\n", qPrintable(path), image.width(), image.height());
        ++written;
    }

    int written = 0;
    int failures = 0;

private:
    QDir dir_;
};

// Answers the console's boxes the way the walk-through needs, and photographs
// each modal page instead of waiting for a person to close it.
class ScriptedBoxes final : public Dialogs {
public:
    QString portPath;
    // Per page object name: what to do while it is open (it photographs the page).
    std::map<QString, std::function<void(QDialog &)>> pages;

    void message(const QString &text, const QString &, Icon) override {
        std::printf("  message box: %s\n", qPrintable(text.simplified()));
    }
    bool confirm(const QString &, const QString &) override { return false; }
    QString input(const QString &prompt, const QString &title, const QString &) override {
        if (prompt.startsWith(QLatin1String("Enter your Comm Port")))
            return portPath;
        if (prompt.startsWith(QLatin1String("Enter Key to UnLock")))
            return QString::fromLatin1(
                title == QLatin1String("Serial Number") ? Form1::AccessKey : frm_config::AccessKey);
        return {};
    }
    void runModal(QDialog &dialog) override {
        QPointer<QDialog> open(&dialog);
        dialog.show();
        pause(150);
        const auto page = pages.find(dialog.objectName());
        if (page != pages.end() && open)
            page->second(dialog);
        else
            std::fprintf(stderr, "no script for page %s\n", qPrintable(dialog.objectName()));
        if (open && open->isVisible())
            open->reject();
    }
};

void program(frm_SDIMAIN &main, QRadioButton *channel, double value) {
    SetpointPanel &panel = *main.panels.setpoints;
    channel->click();
    panel.ctrl_SCALVAL->setValue(value);
    panel.btn_ACCEPT_Click();
}

} // namespace

int main(int argc, char *argv[]) {
    // A desktop-sized virtual screen: windows open at the size they would
    // have on an operator's monitor, not squeezed into the default 800 x 600.
    QTemporaryDir screenDir;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const QString config = screenDir.filePath(QStringLiteral("screen.json"));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly))
            file.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920,
                "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZOR80HR Interface"));
    const QStringList args = QApplication::arguments();
    QString out = QStringLiteral("docs/screenshots");
    if (const qsizetype at = args.indexOf(QStringLiteral("--out")); at > 0 && at + 1 < args.size())
        out = args[at + 1];

    tools::SimChild sim;
    if (!sim.start(tools::SimChild::defaultProgram(args),
                   {QStringLiteral("--ramp-ms"), QStringLiteral("800"), QStringLiteral("--seed"),
                    QStringLiteral("7")}))
        return 2;

    Camera camera(out);
    ScriptedBoxes boxes;
    boxes.portPath = sim.ptyPath();
    installDialogs(&boxes);

    frm_SDIMAIN main;
    main.setProgramEnd([] {});
    if (qEnvironmentVariableIsSet("TRACE_TMP")) {
        QObject::connect(&main.link, &DeviceLink::transmitted, [](const QByteArray &f) {
            std::printf("TX %s\n", f.toPercentEncoding().constData());
        });
        QObject::connect(&main.link, &DeviceLink::received, [](const QByteArray &f) {
            std::printf("RX %s\n", f.toPercentEncoding().constData());
        });
    }
    main.Form_Load();
    pause(200);

    // The transport dialogs, answered so that the user-typed port is chosen.
    boxes.pages[QStringLiteral("frm_USB")] = [&](QDialog &d) { camera.shoot(d, "usb-setup"); };
    boxes.pages[QStringLiteral("RemoteHost")] = [&](QDialog &d) {
        auto &host = static_cast<RemoteHost &>(d);
        host.txtHost->setText(QStringLiteral("127.0.0.1"));
        host.txtPortNumber->setText(QStringLiteral("4001"));
        camera.shoot(d, "remote-host");
    };
    boxes.pages[QStringLiteral("frm_gui_baudrate")] = [&](QDialog &d) {
        camera.shoot(d, "gui-baud-rate");
        static_cast<frm_gui_baudrate &>(d).ok_Click();
    };
    main.menus.transport->mnu_USB_Click();
    main.menus.transport->mnu_ethernet_Click();
    main.menus.transport->mnu_userComm_Click();
    if (!main.link.MSComm1().isOpen()) {
        std::fprintf(stderr, "the console did not open %s\n", qPrintable(sim.ptyPath()));
        return 1;
    }

    // Auto update fills identity, scaling and monitors; then kV, mA and HV on.
    main.mnu_AUTOUPDATE_Click();
    pause(1500);
    program(main, main.panels.setpoints->opt_DACA, 45.0);
    program(main, main.panels.setpoints->opt_DACB, 0.8);
    main.btn_HVONOFF_Click();
    sim.command(QStringLiteral("arc"));
    pause(2500);
    camera.shoot(main, "main-window");
    main.menu.mnu_Controls->adjustSize();
    camera.shoot(*main.menu.mnu_Controls, "controls-menu");

    main.menus.diagnostics->mnu_RAWDATA_Click();
    pause(1200);
    camera.shoot(main.rawData(), "raw-data");
    main.rawData().close();
    main.mnu_EXTRAS_Click();
    pause(200);
    camera.shoot(main.extras(), "extras");
    main.extras().close();
    main.menus.diagnostics->mnu_ABOUT_Click();
    pause(200);
    if (RevScreen *about = main.forms.find<RevScreen>()) {
        camera.shoot(*about, "about");
        about->close();
    }

    // Seasoning: the schedule, then a run of it, stopped after a moment.
    boxes.pages[QStringLiteral("frm_seasoning")] = [&](QDialog &d) {
        camera.shoot(d, "seasoning-schedule");
        static_cast<frm_seasoning &>(d).Command1_Click();
    };
    main.menus.conditioning->menu_Season_Click();
    pause(2200);
    if (frm_run_season *run = main.forms.find<frm_run_season>()) {
        camera.shoot(*run, "seasoning-run");
        run->Command1_Click();
    } else {
        std::fprintf(stderr, "the seasoning run window did not open\n");
        ++camera.failures;
    }
    pause(300);

    // Factory and user configuration pages.
    boxes.pages[QStringLiteral("frm_config")] = [&](QDialog &d) {
        auto &page = static_cast<frm_config &>(d);
        page.Command2_Click();
        pause(300); // the operator's pace: the key's answer has come and gone
        page.btn_getConf_Click();
        camera.shoot(d, "factory-config");
    };
    boxes.pages[QStringLiteral("Form1")] = [&](QDialog &d) {
        auto &page = static_cast<Form1 &>(d);
        page.Command1_Click();
        pause(300);
        page.Btn_read_serialNum_Click();
        camera.shoot(d, "serial-number");
    };
    boxes.pages[QStringLiteral("frm_baudRate")] = [&](QDialog &d) {
        camera.shoot(d, "unit-baud-rate");
    };
    boxes.pages[QStringLiteral("frm_prog_conf")] = [&](QDialog &d) {
        camera.shoot(d, "user-options");
    };
    main.menus.configMenu->mnu_Config_Click();
    main.menus.configMenu->mnu_Serial_Click();
    main.menus.configMenu->mnu_BaudRate_Click();
    main.menus.configMenu->mnu_UserConfig_Click();

    main.mnu_EXIT_Click();
    installDialogs(nullptr);
    std::printf("%d screenshots written to %s, %d failed\n", camera.written, qPrintable(out),
                camera.failures);
    return camera.failures == 0 && camera.written >= 14 ? 0 : 1;
}
