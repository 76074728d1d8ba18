// Renders every window of the console to PNG files: the main window while it
// polls the simulated supply with the high voltage on, then each dialog and
// page, opened through the menu handlers an operator would use.
//   zor-screenshots [--out DIR] [--sim PATH]
#include "simlauncher.h"

#include "conditioning/conditioningmenu.h"
#include "conditioning/runendnotice.h"
#include "conditioning/runreportswindow.h"
#include "conditioning/seasoningpage.h"
#include "conditioning/seasoningrunwindow.h"
#include "conditioning/tubehistorywindow.h"
#include "control/setpointpanel.h"
#include "diagnostics/commdiagnosticspage.h"
#include "diagnostics/diagnosticsmenu.h"
#include "diagnostics/rawdatapage.h"
#include "diagnostics/revscreen.h"
#include "diagnostics/tracewindow.h"
#include "factory/configmenu.h"
#include "factory/factoryconfigpage.h"
#include "factory/serialnumberpage.h"
#include "pause.h"
#include "platform/dialogs.h"
#include "platform/numedit.h"
#include "ports/hostbaudratedialog.h"
#include "ports/remotehost.h"
#include "ports/transportselection.h"
#include "ports/usbportdialog.h"
#include "runs/runrecord.h"
#include "shell/mainwindow.h"
#include "trend/eventlogwindow.h"
#include "trend/recordsmenu.h"
#include "trend/trendwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

namespace {

using namespace zor;

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

    // A PDF's first page, as a viewer shows it (pdftoppm, from poppler-utils).
    void page(const QString &pdf, const QString &name) {
        const QString path = dir_.filePath(name);
        const int code = QProcess::execute(QStringLiteral("pdftoppm"),
                                           {QStringLiteral("-png"), QStringLiteral("-r"),
                                            QStringLiteral("72"), QStringLiteral("-singlefile"),
                                            QStringLiteral("-f"), QStringLiteral("1"), pdf, path});
        if (code != 0) {
            std::fprintf(stderr, "pdftoppm could not render %s\n", qPrintable(pdf));
            ++failures;
            return;
        }
        std::printf("%-40s from the PDF\n", qPrintable(path + QStringLiteral(".png")));
        ++written;
    }

    int written = 0;
    int failures = 0;

private:
    QDir dir_;
};

// Records of six monthly seasoning runs of a tube, as the console writes them:
// the tube arcs less and holds more kV month by month.
void writeEarlierRuns(const QString &folder, const QString &tube) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int month = 6; month >= 1; --month) {
        const QDateTime started = now.addDays(-30 * month);
        QFile file(folder + started.toString(QStringLiteral("/yyyyMMdd-HHmmss-")) +
                   QStringLiteral("seasoning.jsonl"));
        if (!file.open(QIODevice::WriteOnly))
            continue;
        const auto line = [&](const QJsonObject &o) {
            file.write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
        };
        line({{"record", "run"},
              {"kind", "seasoning"},
              {"tube", tube},
              {"started", isoTime(started)}});
        double seconds = 0;
        const int top = 80 - 2 * (month - 1);
        for (int step = 1; step <= 6; ++step) {
            const int kv = top - 10 * (6 - step);
            const double held = 270 + 5 * month * step;
            seconds += held;
            line({{"record", "step"},
                  {"step", step},
                  {"planned", QJsonObject{{"kv", kv}, {"ma", 0.5}, {"seconds", 240}}},
                  {"seconds", held},
                  {"arcs", month + (step > 4 ? month : 0)},
                  {"kv", QJsonObject{{"mean", kv - 0.1}}},
                  {"fil", QJsonObject{{"mean", 3.05 + 0.02 * month}}},
                  {"points", QJsonArray{QJsonArray{seconds, kv, 0.5}}}});
        }
        line({{"record", "end"}, {"end", "completed"}, {"seconds", seconds}});
    }
}

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
    // Only the seasoning schedule's question about steps beyond full scale is
    // answered OK, so that its run window can be shown; other questions Cancel.
    bool confirm(const QString &text, const QString &) override {
        std::printf("  confirm box: %s\n", qPrintable(text.simplified()));
        return text.endsWith(QLatin1String("Run the schedule anyway?"));
    }
    int ask(const QString &text, const QStringList &buttons, const QString &) override {
        std::printf("  question: %s\n", qPrintable(text.simplified()));
        return text.endsWith(QLatin1String("Run the schedule anyway?")) ? 0
                                                                        : int(buttons.size()) - 1;
    }
    QString input(const QString &prompt, const QString &title, const QString &) override {
        if (prompt.startsWith(QLatin1String("Enter your Comm Port")))
            return portPath;
        if (prompt.startsWith(QLatin1String("Enter Key to UnLock")))
            return QString::fromLatin1(title == QLatin1String("Serial Number")
                                           ? SerialNumberPage::AccessKey
                                           : FactoryConfigPage::AccessKey);
        return {};
    }
    void runModal(QDialog &dialog) override {
        QPointer<QDialog> open(&dialog);
        dialog.show();
        sleepFor(150);
        const auto page = pages.find(dialog.objectName());
        if (page != pages.end() && open)
            page->second(dialog);
        else
            std::fprintf(stderr, "no script for page %s\n", qPrintable(dialog.objectName()));
        if (open && open->isVisible())
            open->reject();
    }
};

void program(MainWindow &main, QRadioButton *channel, double value) {
    SetpointPanel &panel = *main.panels.setpoints;
    channel->click();
    panel.ctrl_SCALVAL->setValue(value);
    panel.btn_ACCEPT_Click();
}

// Feeds the model minutes of a conditioning run at once, ending now: the high
// voltage comes on, kV and mA ramp to their set-points, two arcs trip.
void feedRecords(MainWindow &main, int seconds) {
    SupplyState &s = main.state;
    main.records.history.clear(); // the fed minutes end now, after any polled sample
    const qint64 cycleNs = TrendHistory::CycleFloorNs;
    const int cycles = int(seconds * 1000000000LL / cycleNs);
    const qint64 endNs = std::chrono::steady_clock::now().time_since_epoch().count();
    const QDateTime end = QDateTime::currentDateTime();
    QDateTime at;
    main.records.events.setClock([&] { return at; });
    const auto reading = [](double value, double perCount) {
        const long long count = std::llround(value / perCount);
        return Reading{QByteArray::number(count), count, value};
    };
    s.setKvPerBit(0.017094);
    s.setMaPerBit(0.000209);
    s.setStatus({{true, true, true, true, true, true, true, false, true}, false});
    for (int i = 0; i < cycles; ++i) {
        const double t = i * cycleNs / 1e9;
        at = end.addMSecs(qint64((t - seconds) * 1000));
        if (i == 40)
            main.records.events.note(EventType::SetpointProgrammed,
                                     QStringLiteral("kV setpoint programmed: 45.000 kV"));
        if (i == 45)
            main.records.events.note(EventType::SetpointProgrammed,
                                     QStringLiteral("mA setpoint programmed: 0.800 mA"));
        const bool on = t > 25;
        s.setHvEnabled(on);
        s.setXrayOn(t > 25.5);
        const double ramp = on ? std::min(1.0, (t - 25) / 40) : 0;
        const bool arc = i == 400 || i == 830;
        StatusBits bits = s.status();
        bits.faults.arcOk = !arc;
        s.setStatus(bits);
        if (arc)
            s.countArc();
        else if (i == 420 || i == 850)
            s.setArcArmed(true);
        const double wobble = std::sin(t / 7) * 0.15 + std::sin(t * 3.1) * 0.05;
        s.setReading(Quantity::KvSetpoint, reading(45.0, 0.017094));
        s.setReading(Quantity::MaSetpoint, reading(0.8, 0.000209));
        s.setReading(Quantity::KvMonitor,
                     reading(arc ? 6.2 : 45.0 * ramp + wobble * ramp, 0.017094));
        s.setReading(Quantity::MaMonitor,
                     reading(arc ? 0.05 : 0.8 * ramp + wobble * 0.02, 0.000209));
        s.setReading(Quantity::FilamentMonitor,
                     reading(1.2 + 0.9 * ramp + wobble * 0.01, 0.0014652));
        s.finishCycle(endNs - (cycles - i) * cycleNs, at);
    }
    main.records.events.setClock([] { return QDateTime::currentDateTime(); });
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
    // The seasoning run's report goes to a scratch data folder, not the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(screenDir.filePath(QStringLiteral("data"))));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZOR80HR Interface"));
    zor::tools::useScratchSettings();
    const QStringList args = QApplication::arguments();
    QString out = QStringLiteral("docs/screenshots");
    if (const qsizetype at = args.indexOf(QStringLiteral("--out")); at > 0 && at + 1 < args.size())
        out = args[at + 1];

    tools::SimLauncher sim;
    if (!sim.startOnPty(tools::SimLauncher::defaultProgram(args),
                        {QStringLiteral("--ramp-ms"), QStringLiteral("800"),
                         QStringLiteral("--seed"), QStringLiteral("7")}))
        return 2;

    Camera camera(out);
    ScriptedBoxes boxes;
    boxes.portPath = sim.ptyPath();
    installDialogs(&boxes);

    MainWindow main;
    main.setProgramEnd([] {});
    // A picture shows the last exchange's RX and TX, not the one before.
    main.StatusBar1->repaintIntervalMs = 0;
    if (qEnvironmentVariableIsSet("TRACE_TMP")) {
        QObject::connect(&main.link, &DeviceLink::transmitted, [](const QByteArray &f) {
            std::printf("TX %s\n", f.toPercentEncoding().constData());
        });
        QObject::connect(&main.link, &DeviceLink::received, [](const QByteArray &f) {
            std::printf("RX %s\n", f.toPercentEncoding().constData());
        });
    }
    main.Form_Load();
    sleepFor(200);

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
        static_cast<HostBaudRateDialog &>(d).ok_Click();
    };
    main.menus.transport->mnu_USB_Click();
    main.menus.transport->mnu_ethernet_Click();
    main.menus.transport->mnu_userComm_Click();
    if (!main.link.transportOpen()) {
        std::fprintf(stderr, "the console did not open %s\n", qPrintable(sim.ptyPath()));
        return 1;
    }

    // Auto update fills identity, scaling and monitors; then kV, mA and HV on.
    main.mnu_AUTOUPDATE_Click();
    sleepFor(1500);
    program(main, main.panels.setpoints->opt_DACA, 45.0);
    program(main, main.panels.setpoints->opt_DACB, 0.8);
    main.btn_HVONOFF_Click();
    sleepFor(300); // the on is queued behind the poll; the arc needs it done
    sim.send(QStringLiteral("arc"));
    sleepFor(2500);
    camera.shoot(main, "main-window");
    main.menu.mnu_Controls->adjustSize();
    camera.shoot(*main.menu.mnu_Controls, "controls-menu");

    // The trend after minutes of a run, with the cursor on the second arc, and the event log.
    feedRecords(main, 570);
    TrendWindow &trend = main.menus.records->trend();
    trend.resize(1000, 560);
    main.menus.records->mnu_TREND_Click();
    sleepFor(300);
    trend.lbl_CURSOR->setText(trend.readout(QDateTime::currentMSecsSinceEpoch() - 186000));
    camera.shoot(trend, "trend");
    trend.close();
    main.menus.records->mnu_EVENTLOG_Click();
    sleepFor(200);
    camera.shoot(main.menus.records->eventLog(), "event-log");
    main.menus.records->eventLog().close();

    main.menus.diagnostics->mnu_RAWDATA_Click();
    sleepFor(1200);
    camera.shoot(main.rawData(), "raw-data");
    main.rawData().close();
    main.mnu_EXTRAS_Click();
    sleepFor(200);
    camera.shoot(main.extras(), "extras");
    main.extras().close();
    main.mnu_TRACE_Click();
    sleepFor(200);
    if (auto *trace = main.forms.find<TraceWindow>()) {
        camera.shoot(*trace, "trace");
        trace->close();
    }
    main.menus.diagnostics->mnu_ABOUT_Click();
    sleepFor(200);
    if (RevScreen *about = main.forms.find<RevScreen>()) {
        camera.shoot(*about, "about");
        about->close();
    }

    // Seasoning: the schedule, then a short run of it for tube T7, stopped at
    // its fourth step: the run window, the notice at its end, the report.
    boxes.pages[QStringLiteral("frm_seasoning")] = [&](QDialog &d) {
        auto &page = static_cast<SeasoningPage &>(d);
        camera.shoot(d, "seasoning-schedule");
        for (int row = 0; row < runs::FinalRow; ++row) {
            const bool used = row < 6;
            page.combo_kv[row]->setEditText(used ? QString::number(30 + 10 * row) : QString());
            page.combo_ma[row]->setEditText(used ? QString::number(0.2 + 0.1 * row) : QString());
            page.combo_time[row]->setEditText(used ? QStringLiteral("4") : QString());
        }
        page.txt_tube->setText(QStringLiteral("T7"));
        page.txt_operator->setText(QStringLiteral("J. Meyer"));
        page.txt_customer->setText(QStringLiteral("Clinic Nord, room 3"));
        page.Command1_Click();
    };
    main.menus.conditioning->menu_Season_Click();
    sleepFor(6000);
    sim.send(QStringLiteral("arc"));
    sleepFor(7000);
    if (SeasoningRunWindow *run = main.forms.find<SeasoningRunWindow>()) {
        camera.shoot(*run, "seasoning-run");
        run->Command1_Click();
    } else {
        std::fprintf(stderr, "the seasoning run window did not open\n");
        ++camera.failures;
    }
    sleepFor(600);
    if (RunEndNotice *notice = main.forms.find<RunEndNotice>()) {
        camera.shoot(*notice, "run-end");
        notice->close();
    } else {
        ++camera.failures;
    }
    if (const QStringList reports = runs::listReports(runs::defaultRunFolder()); !reports.isEmpty())
        camera.page(reports.first(), QStringLiteral("run-report"));
    else
        ++camera.failures;
    main.menus.conditioning->mnu_RunReports_Click();
    sleepFor(200);
    if (RunReportsWindow *list = main.forms.find<RunReportsWindow>()) {
        camera.shoot(*list, "run-reports");
        list->close();
    }
    // Tube History over this run and half a year of earlier ones.
    writeEarlierRuns(runs::defaultRunFolder(), QStringLiteral("T7"));
    main.menus.conditioning->mnu_TubeHistory_Click();
    sleepFor(300);
    if (TubeHistoryWindow *history = main.forms.find<TubeHistoryWindow>()) {
        history->cmb_TUBE->setCurrentText(QStringLiteral("T7"));
        camera.shoot(*history, "tube-history");
        history->close();
    } else {
        ++camera.failures;
    }

    // The same schedule with rules, holding on an arc.
    boxes.pages[QStringLiteral("frm_seasoning")] = [&](QDialog &d) {
        auto &page = static_cast<SeasoningPage &>(d);
        runs::Schedule schedule = page.schedule();
        schedule.name = QStringLiteral("Tube 7 after six months");
        schedule.adaptive = runs::Adaptive{};
        page.loadSchedule(schedule);
        page.Command1_Click();
    };
    main.menus.conditioning->menu_Season_Click();
    sleepFor(1500);
    sim.send(QStringLiteral("arc"));
    SeasoningRunWindow *held = nullptr;
    for (int i = 0; i < 40 && !(held && held->lbl_state->text().startsWith(QLatin1String("Hold")));
         ++i) {
        sleepFor(100);
        held = main.forms.find<SeasoningRunWindow>();
    }
    if (held && held->lbl_state->text().startsWith(QLatin1String("Hold"))) {
        camera.shoot(*held, "seasoning-holding");
        held->Command1_Click();
    } else {
        std::fprintf(stderr, "the seasoning run did not hold on its arc\n");
        ++camera.failures;
    }
    sleepFor(300);

    // Factory and user configuration pages.
    boxes.pages[QStringLiteral("frm_config")] = [&](QDialog &d) {
        auto &page = static_cast<FactoryConfigPage &>(d);
        page.Command2_Click();
        sleepFor(300); // the operator's pace: the key's answer has come and gone
        page.btn_getConf_Click();
        camera.shoot(d, "factory-config");
    };
    boxes.pages[QStringLiteral("Form1")] = [&](QDialog &d) {
        auto &page = static_cast<SerialNumberPage &>(d);
        page.Command1_Click();
        sleepFor(300);
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
    return camera.failures == 0 && camera.written >= 19 ? 0 : 1;
}
