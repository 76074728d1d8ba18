// Runs the console in auto update against the simulated supply over a
// pseudo-terminal and prints one line per figure, each with its target.
#include "echoprobe.h"
#include "pause.h"
#include "platform/dialogs.h"
#include "shell/mainwindow.h"
#include "simlauncher.h"
#include "trend/recordsmenu.h"
#include "trend/trendwindow.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

// Counting instructions brackets only the polling phase; without valgrind's
// header the brackets are no-ops and the count is simply not taken.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_TOGGLE_COLLECT
#endif

namespace {

class QuietDialogs final : public zor::Dialogs {
public:
    void message(const QString &, const QString &, Icon) override {}
    bool confirm(const QString &, const QString &) override { return false; }
    QString input(const QString &, const QString &, const QString &) override { return {}; }
    void runModal(QDialog &) override {}
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double residentMiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0
                             : -1;
}

double median(std::vector<double> v) {
    if (v.empty())
        return -1;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

constexpr int RedrawRuns = 30;

struct PhaseResult {
    double cycleRatio = -1;
    double cpuPerSecond = -1;
    double exchangeMedianMs = -1;
    int cycles = 0;
    int exchanges = 0;
    // Every exchange that finished within the measured time, warm-up or not.
    int measuredExchanges = 0;
};

// `unit`: the simulator's behaviour options (a late or a mute command, ...).
PhaseResult runPhase(zor::MainWindow &window, const QString &simPath, int delayMs, int seconds,
                     bool countInstructions = false, const QStringList &unit = {}) {
    PhaseResult result;
    zor::tools::SimLauncher sim;
    QStringList extra = unit;
    if (delayMs > 0)
        extra << QStringLiteral("--delay") << QString::number(delayMs);
    if (!sim.startOnPty(simPath, extra))
        return result;
    const QString port = sim.ptyPath();

    // A serial port opens at once: nothing to wait for.
    window.link.open(zor::LinkTarget::serial(port, QStringLiteral("115200")));
    if (!window.link.transportOpen()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(port));
        return result;
    }

    QElapsedTimer clock;
    clock.start();
    qint64 sentAt = 0;
    qint64 cycleStart = -1;
    double cycleExchanges = 0;
    int skipCycles = 2; // the first cycles carry the identity reads and warm-up
    quint64 modelCycle = window.state.pollCycle();
    std::vector<double> exchanges;
    std::vector<double> ratios;
    bool measuring = false;
    auto tx =
        QObject::connect(&window.link, &zor::DeviceLink::transmitted, [&](const QByteArray &frame) {
            const qint64 now = clock.nsecsElapsed();
            if (frame.startsWith("\x02VMON;")) {
                // Closes the model's cycle here unless the poll already did.
                if (window.state.pollCycle() == modelCycle)
                    window.state.finishCycle(now, QDateTime::currentDateTime());
                modelCycle = window.state.pollCycle();
                if (cycleStart >= 0 && skipCycles-- <= 0) {
                    const double period = (now - cycleStart) / 1e6;
                    ratios.push_back(period / (7 * 66 + cycleExchanges));
                }
                cycleStart = now;
                cycleExchanges = 0;
            }
            sentAt = now;
        });
    auto rx = QObject::connect(&window.link, &zor::DeviceLink::received, [&](const QByteArray &) {
        const double ms = (clock.nsecsElapsed() - sentAt) / 1e6;
        cycleExchanges += ms;
        if (measuring)
            ++result.measuredExchanges;
        if (skipCycles <= 0)
            exchanges.push_back(ms);
    });

    window.mnu_AUTOUPDATE_Click();
    zor::sleepFor(1500);
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    measuring = true;
    if (countInstructions) {
        CALLGRIND_ZERO_STATS;
        CALLGRIND_TOGGLE_COLLECT;
    }
    zor::sleepFor(seconds * 1000);
    if (countInstructions)
        CALLGRIND_TOGGLE_COLLECT;
    measuring = false;
    const double cpu = cpuSeconds() - cpu0;
    const double elapsed = wall.elapsed() / 1000.0;

    window.mnu_MANUAL_Click();
    QObject::disconnect(tx);
    QObject::disconnect(rx);
    window.link.close();

    result.cycleRatio = median(ratios);
    result.cpuPerSecond = cpu / elapsed;
    result.exchangeMedianMs = median(exchanges);
    result.cycles = static_cast<int>(ratios.size());
    result.exchanges = static_cast<int>(exchanges.size());
    return result;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// A local mosquitto on a free port of 127.0.0.1; false when none would start.
bool startBroker(QProcess &broker, const QTemporaryDir &dir, quint16 port) {
    QFile config(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nlog_dest none\n")
                     .arg(port)
                     .toUtf8());
    config.close();
    broker.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config.fileName()});
    for (int i = 0; i < 50 && broker.waitForStarted(5000); ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            return true;
        zor::sleepFor(100);
    }
    return false;
}

// A phase with the console publishing to url (every poll cycle, under zor/bench).
PhaseResult publishingPhase(zor::MainWindow &window, const QString &simPath, const QString &url,
                            int seconds, zor::telemetry::Publisher::Status *ended) {
    zor::telemetry::BrokerSettings settings;
    settings.url = url;
    settings.topicPrefix = QStringLiteral("zor/bench");
    zor::telemetry::completeSettings(settings);
    zor::telemetry::Publisher &publisher = window.publisher;
    publisher.start(settings);
    const PhaseResult result = runPhase(window, simPath, 0, seconds);
    *ended = publisher.status();
    publisher.stop();
    return result;
}

void line(const char *name, double value, const char *unit, const char *op, double target) {
    const bool ok = std::string(op) == "<=" ? value <= target : value >= target;
    std::printf("%-48s %10.4f %-4s target %s %.4g  %s\n", name, value, unit, op, target,
                ok && value >= 0 ? "ok" : "MISSED");
}

} // namespace

int main(int argc, char *argv[]) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZOR80HR Interface"));
    zor::tools::useScratchSettings();

    int seconds = 20;
    const QStringList args = QApplication::arguments();
    const QString simPath = zor::tools::SimLauncher::defaultProgram(args);
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == QLatin1String("--seconds"))
            seconds = std::max(1, args[i + 1].toInt());
    // Under `valgrind --tool=callgrind --collect-atstart=no`: one phase of
    // immediate replies, instructions collected only while it polls.
    const bool callgrind = args.contains(QLatin1String("--callgrind"));

    QuietDialogs dialogs;
    zor::installDialogs(&dialogs);
    zor::MainWindow window;
    window.setProgramEnd([] {});
    window.Form_Load();
    QApplication::processEvents();
    const double startupSeconds = sinceStart.elapsed() / 1000.0;

    if (callgrind) {
        const PhaseResult counted = runPhase(window, simPath, 0, seconds, true);
        std::printf("exchanges counted: %d\n", counted.measuredExchanges);
        return counted.measuredExchanges > 0 ? 0 : 1;
    }

    const double echoHotMs = bareEchoMedianMs(2000);
    // Each console exchange follows a 66 ms poll tick; so does each echo here.
    const double echoMs = bareEchoMedianMs(120, 66);
    const PhaseResult fast = runPhase(window, simPath, 0, seconds);
    const PhaseResult slow = runPhase(window, simPath, 20, seconds);
    // A unit may leave "WDTT;" unanswered: the poll must not wait for it.
    const PhaseResult mute =
        runPhase(window, simPath, 0, seconds, false, {QStringLiteral("--no-wdtt-reply")});

    // Publishing to a local broker, then with the broker's port closed.
    QTemporaryDir brokerDir;
    QProcess broker;
    const quint16 brokerPort = freePort();
    const bool brokerUp = startBroker(broker, brokerDir, brokerPort);
    using Status = zor::telemetry::Publisher::Status;
    Status published = Status::Off, unreachable = Status::Off;
    PhaseResult mqtt, mqttDown;
    if (brokerUp) {
        mqtt =
            publishingPhase(window, simPath, QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort),
                            seconds, &published);
        broker.kill();
        broker.waitForFinished();
        mqttDown =
            publishingPhase(window, simPath, QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort),
                            seconds, &unreachable);
    }

    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const double peakMiB = static_cast<double>(u.ru_maxrss) / 1024.0;

    // The trend open at 1 h and every cycle logged, while polling.
    QTemporaryDir logDir;
    zor::TrendWindow &trend = window.menus.records->trend();
    trend.setSpanMinutes(60);
    trend.show();
    window.menus.records->startLogging(logDir.filePath(QStringLiteral("bench.csv")));
    const PhaseResult records = runPhase(window, simPath, 0, seconds);
    window.menus.records->stopLogging();

    // Eight hours of samples fed at once, with the trend hidden.
    trend.hide();
    window.records.history.clear();
    const double before = residentMiB();
    zor::SupplySample sample = window.state.sample();
    const qint64 cycleNs = zor::TrendHistory::CycleFloorNs;
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(-8 * 3600);
    for (qint64 i = 0; i < 8 * zor::TrendHistory::HourNs / cycleNs; ++i) {
        sample.monotonicNs = i * cycleNs;
        sample.wallClock = t0.addMSecs(sample.monotonicNs / 1000000);
        sample.readings[int(zor::Quantity::KvMonitor)].value =
            40 + 10 * ((i / 40) % 2) - (i % 997 == 0 ? 30 : 0);
        sample.readings[int(zor::Quantity::MaMonitor)].value = 2 + (i % 13) * 0.01;
        sample.arcCount = int(i / 997);
        emit window.state.sampled(sample);
    }
    const double historyMiB = residentMiB() - before;
    trend.show();
    // The median and the slowest redraw, painting included.
    const auto redrawTimes = [&](int minutes) {
        trend.setSpanMinutes(minutes);
        std::vector<double> ms;
        for (int i = 0; i < RedrawRuns; ++i) {
            QElapsedTimer t;
            t.start();
            trend.redraw();
            // The chart lays out and paints from the event loop.
            QApplication::processEvents();
            ms.push_back(t.nsecsElapsed() / 1e6);
        }
        return std::pair{median(ms), *std::max_element(ms.begin(), ms.end())};
    };
    const auto redraw1h = redrawTimes(60);
    const auto redraw8h = redrawTimes(480);

    std::printf("# %d s per phase; %d cycles / %d exchanges (immediate), %d cycles / %d exchanges "
                "(20 ms late)\n",
                seconds, fast.cycles, fast.exchanges, slow.cycles, slow.exchanges);
    line("poll cycle period / floor (immediate replies)", fast.cycleRatio, "", "<=", 1.005);
    line("poll cycle period / floor (no reply to WDTT;)", mute.cycleRatio, "", "<=", 1.005);
    line("poll cycle period / floor (replies after 20 ms)", slow.cycleRatio, "", "<=", 1.05);
    line("CPU per second of polling (immediate replies)", fast.cpuPerSecond, "s", "<=", 0.005);
    line("CPU per second of polling (replies after 20 ms)", slow.cpuPerSecond, "s", "<=", 0.005);
    line("median exchange minus bare pty echo", fast.exchangeMedianMs - echoMs, "ms", "<=", 0.05);
    std::printf("%-48s %10.4f ms (median exchange %.4f ms)\n",
                "  bare pty echo, 66 ms apart like the poll", echoMs, fast.exchangeMedianMs);
    std::printf("%-48s %10.4f ms\n", "  bare pty echo, back to back", echoHotMs);
    line("peak resident memory, trend closed", peakMiB, "MiB", "<=", 30);
    if (brokerUp) {
        line("poll cycle period / floor (publishing to MQTT)", mqtt.cycleRatio, "", "<=", 1.02);
        line("CPU per second of polling (publishing to MQTT)", mqtt.cpuPerSecond, "s", "<=", 0.015);
        line("poll cycle period / floor (MQTT unreachable)", mqttDown.cycleRatio, "", "<=", 1.02);
        std::printf("%-48s %s / %s\n", "  publisher at the end (published / unreachable)",
                    qPrintable(zor::telemetry::Publisher::statusText(published)),
                    qPrintable(zor::telemetry::Publisher::statusText(unreachable)));
    } else {
        std::printf("MQTT figures: not measured, mosquitto did not start\n");
    }
    line("poll cycle period / floor (trend 1 h, logging)", records.cycleRatio, "", "<=", 1.02);
    line("CPU per second of polling (trend 1 h, logging)", records.cpuPerSecond, "s", "<=", 0.02);
    line("8 h of trend history at the poll rate", historyMiB, "MiB", "<=", 20);
    line("trend redraw, 1 h span of a full history", redraw1h.first, "ms", "<=", 10);
    std::printf("%-48s %10.4f ms (median of %d)\n", "  trend redraw, 8 h span of a full history",
                redraw8h.first, RedrawRuns);
    std::printf("%-48s %10.4f ms / %.4f ms (1 h / 8 h)\n", "  slowest trend redraw",
                redraw1h.second, redraw8h.second);
    line("start-up to main window shown", startupSeconds, "s", "<=", 0.03);
    return 0;
}
