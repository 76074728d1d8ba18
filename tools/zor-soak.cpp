// Soak run: the console polls the simulated supply in auto update with the
// high voltage on while faults are injected at random through the simulator's
// operator prompt, each followed by its recovery. Prints the exchanges, the
// failures and the resident memory at start and end; exits non-zero when the
// memory grew by more than 1 MiB or the console got stuck.
// With --shutdowns, clicks Shutdown and Exit N times instead (shutdownsoak.h).
//   zor-soak [--minutes M] [--seed N] [--sim PATH]
//   zor-soak --shutdowns N [--jobs J] [--seed N] [--sim PATH]
#include "shutdownsoak.h"
#include "simlauncher.h"

#include "control/faultresetframe.h"
#include "control/setpointpanel.h"
#include "link/framecodec.h"
#include "pause.h"
#include "platform/dialogs.h"
#include "platform/numedit.h"
#include "platform/toggleswitch.h"
#include "ports/hostbaudratedialog.h"
#include "ports/transportselection.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

using namespace zor;

// A pause in the poll longer than this is a stuck console: every exchange
// ends within 1.0 s, and the next one follows 66 ms later.
constexpr qint64 StuckMs = 5000;
// After a recovery the link must deliver replies again within StuckMs.
constexpr qint64 SettleMs = 2000;
constexpr double GrowthLimitMiB = 1.0;

double residentMiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    const double pages = fields.value(1).toDouble();
    return pages * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Bytes the program holds on the heap: tells a leak from the allocator's
// own growth when the resident size moves.
double heapMiB() {
#ifdef __GLIBC__
    return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0);
#else
    return -1;
#endif
}

class SoakBoxes final : public Dialogs {
public:
    QString portPath;
    int messages = 0;

    void message(const QString &text, const QString &, Icon) override {
        ++messages;
        std::printf("  message box: %s\n", qPrintable(text.simplified()));
    }
    bool confirm(const QString &, const QString &) override { return false; }
    QString input(const QString &prompt, const QString &, const QString &) override {
        return prompt.startsWith(QLatin1String("Enter your Comm Port")) ? portPath : QString();
    }
    void runModal(QDialog &dialog) override {
        if (auto *baud = qobject_cast<HostBaudRateDialog *>(&dialog))
            baud->ok_Click();
        else
            dialog.reject();
    }
};

struct Fault {
    const char *name;
    QStringList on;
    QStringList off;
    // Replies may go missing or arrive unusable while it lasts.
    bool hurtsLink;
};

class Soak : public QObject {
public:
    Soak(MainWindow &main, tools::SimLauncher &sim, quint32 seed)
        : main_(main), sim_(sim), random_(seed) {
        clock_.start();
        connect(&main_.link, &DeviceLink::transmitted, this, [this] {
            ++sent_;
            lastSent_ = clock_.elapsed();
        });
        connect(&main_.link, &DeviceLink::received, this, [this](const QByteArray &reply) {
            if (reply.isEmpty()) {
                ++timeouts_;
                return;
            }
            // One whole frame with the right checksum; anything else failed.
            if (reply.size() < 4 ||
                reply != ProcessOutputString(reply.mid(1, reply.size() - 4), false)) {
                ++malformed_;
                return;
            }
            ++replies_;
            lastReply_ = clock_.elapsed();
        });
        connect(&checker_, &QTimer::timeout, this, &Soak::check);
        checker_.start(250);
        next_.setSingleShot(true);
        connect(&next_, &QTimer::timeout, this, &Soak::inject);
    }

    void startInjecting() { next_.start(2000); }
    void stopInjecting() {
        next_.stop();
        if (active_)
            recover();
    }

    // Runs the event loop until `ms` have passed or the console got stuck.
    bool run(qint64 ms) {
        const qint64 end = clock_.elapsed() + ms;
        while (!stuck_ && clock_.elapsed() < end)
            sleepFor(static_cast<int>(qMin<qint64>(1000, end - clock_.elapsed())));
        return !stuck_;
    }

    void progress(const char *label, double rss) const {
        std::printf("%7.1f s %-6s exchanges %7lld  failed %5lld  comm errors %5d  "
                    "injections %4d  RSS %.2f MiB  heap %.2f MiB\n",
                    clock_.elapsed() / 1000.0, label, sent_, timeouts_ + malformed_,
                    main_.state.failedReplies(), injections_, rss, heapMiB());
        std::fflush(stdout);
    }

    void summary() const {
        std::printf("exchanges %lld (commands sent): %lld good replies, %lld failed (%lld no "
                    "reply, %lld garbled); console comm error count %d\n",
                    sent_, replies_, timeouts_ + malformed_, timeouts_, malformed_,
                    main_.state.failedReplies());
        std::printf("injections %d:", injections_);
        for (const auto &[name, count] : counts_)
            std::printf(" %s %d", name.c_str(), count);
        std::printf("\nlongest pause between commands %.2f s; longest wait for a reply on a "
                    "healthy link %.2f s\n",
                    longestSendGap_ / 1000.0, longestReplyGap_ / 1000.0);
    }

    bool stuck() const { return stuck_; }
    // Replies are arriving right now.
    bool replying() const { return clock_.elapsed() - lastReply_ < SettleMs; }
    std::atomic<qint64> heartbeat{0};

private:
    void inject() {
        static const QStringList faults = {QStringLiteral("arc"), QStringLiteral("temp"),
                                           QStringLiteral("ov"),  QStringLiteral("uv"),
                                           QStringLiteral("oc"),  QStringLiteral("uc"),
                                           QStringLiteral("wdt"), QStringLiteral("op")};
        const QString flag = faults[random_.bounded(static_cast<int>(faults.size()))];
        const Fault table[] = {
            {"silence", {"silent on"}, {"silent off"}, true},
            {"late", {"delay 1300"}, {"delay 0"}, true},
            {"slow", {"delay 250"}, {"delay 0"}, false},
            {"split", {"split on"}, {"split off"}, false},
            {"corrupt", {"corrupt 0.4"}, {"corrupt 0"}, true},
            {"wrong", {"wrong on"}, {"wrong off"}, true},
            {"arcs", {"arc-every 400"}, {"arc-every 0"}, false},
            {"interlock", {"interlock open"}, {"interlock close"}, false},
            {"fault", {"fault " + flag}, {"clear all"}, false},
        };
        const Fault &fault = table[random_.bounded(static_cast<int>(std::size(table)))];
        active_ = fault;
        ++injections_;
        ++counts_[fault.name];
        for (const QString &line : fault.on)
            sim_.send(line);
        const int lasting = 500 + random_.bounded(3500);
        QTimer::singleShot(lasting, this, [this] {
            if (active_)
                recover();
            next_.start(1000 + random_.bounded(2000));
        });
    }

    void recover() {
        for (const QString &line : active_->off)
            sim_.send(line);
        const QString name = QString::fromLatin1(active_->name);
        healthyFrom_ = clock_.elapsed() + SettleMs;
        active_.reset();
        // The operator resets what latched and switches the voltage on again.
        if (name == QLatin1String("fault") || name == QLatin1String("interlock") ||
            name == QLatin1String("arcs")) {
            QTimer::singleShot(300, this, [this] { main_.panels.faultReset->btn_RSTTIME_Click(); });
            QTimer::singleShot(700, this, [this] {
                if (!main_.btn_HVONOFF->value())
                    main_.btn_HVONOFF_Click();
            });
        }
    }

    void check() {
        heartbeat = clock_.elapsed();
        const qint64 now = clock_.elapsed();
        const qint64 sendGap = now - lastSent_;
        longestSendGap_ = qMax(longestSendGap_, sendGap);
        const bool healthy = (!active_ || !active_->hurtsLink) && now >= healthyFrom_;
        const qint64 replyGap = now - qMax(lastReply_, healthyFrom_ - SettleMs);
        if (healthy)
            longestReplyGap_ = qMax(longestReplyGap_, replyGap);
        if (stuck_)
            return;
        if (sendGap > StuckMs) {
            std::printf("STUCK: no command sent for %.1f s\n", sendGap / 1000.0);
            stuck_ = true;
        } else if (healthy && replyGap > StuckMs) {
            std::printf("STUCK: no reply for %.1f s on a healthy link\n", replyGap / 1000.0);
            stuck_ = true;
        }
        if (stuck_)
            std::printf("  active injection: %s, poll timer %s, link busy %d, held %d\n",
                        active_ ? active_->name : "none",
                        main_.tmr_UPDATE.isEnabled() ? "on" : "off", main_.link.busy(),
                        main_.link.queuedCount());
    }

    MainWindow &main_;
    tools::SimLauncher &sim_;
    QRandomGenerator random_;
    QElapsedTimer clock_;
    QTimer checker_;
    QTimer next_;
    std::optional<Fault> active_;
    std::map<std::string, int> counts_;
    int injections_ = 0;
    long long sent_ = 0;
    long long replies_ = 0;
    long long timeouts_ = 0;
    long long malformed_ = 0;
    qint64 lastSent_ = 0;
    qint64 lastReply_ = 0;
    qint64 healthyFrom_ = 0;
    qint64 longestSendGap_ = 0;
    qint64 longestReplyGap_ = 0;
    bool stuck_ = false;
};

void program(MainWindow &main, QRadioButton *channel, double value) {
    channel->click();
    main.panels.setpoints->ctrl_SCALVAL->setValue(value);
    main.panels.setpoints->btn_ACCEPT_Click();
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZOR80HR Interface"));
    zor::tools::useScratchSettings();
    const QStringList args = QApplication::arguments();
    const auto option = [&](const char *name, const QString &fallback) {
        const qsizetype at = args.indexOf(QString::fromLatin1(name));
        return at > 0 && at + 1 < args.size() ? args[at + 1] : fallback;
    };
    const double minutes = option("--minutes", QStringLiteral("10")).toDouble();
    const quint32 seed = option("--seed", QStringLiteral("1")).toUInt();
    const QString simProgram = tools::SimLauncher::defaultProgram(args);
    if (args.contains(QLatin1String("--shutdown-run")))
        return tools::shutdownOnce(simProgram, option("--shutdown-run", {}).toUInt());
    const int shutdowns = option("--shutdowns", QStringLiteral("0")).toInt();
    // Each run spends most of its time waiting for the console's timers.
    const int jobs =
        option("--jobs", QString::number(2 * std::thread::hardware_concurrency())).toInt();
    if (!(minutes > 0) || shutdowns < 0 || jobs < 1) {
        std::fprintf(stderr, "usage: zor-soak [--minutes M] [--seed N] [--sim PATH]\n"
                             "       zor-soak --shutdowns N [--jobs J] [--seed N] [--sim PATH]\n");
        return 2;
    }
    if (shutdowns > 0)
        return tools::runShutdowns(QCoreApplication::applicationFilePath(), simProgram, shutdowns,
                                   jobs, seed);
    const qint64 totalMs = static_cast<qint64>(minutes * 60000);
    // Windows created on first use, lazily grown buffers and the allocator's
    // first arenas settle in this time; growth is measured after it.
    const qint64 warmUpMs = std::clamp<qint64>(totalMs / 8, 5000, 30000);

    tools::SimLauncher sim;
    if (!sim.startOnPty(simProgram, {QStringLiteral("--ramp-ms"), QStringLiteral("500"),
                                     QStringLiteral("--seed"), QString::number(seed)}))
        return 2;

    SoakBoxes boxes;
    boxes.portPath = sim.ptyPath();
    installDialogs(&boxes);
    MainWindow main;
    main.setProgramEnd([] {});
    main.Form_Load();
    main.menus.transport->mnu_userComm_Click();
    if (!main.link.transportOpen()) {
        std::fprintf(stderr, "the console did not open %s\n", qPrintable(sim.ptyPath()));
        return 2;
    }
    main.mnu_AUTOUPDATE_Click();
    std::printf("soak: %.1f min against %s, seed %u, warm-up %.0f s\n", minutes,
                qPrintable(sim.ptyPath()), seed, warmUpMs / 1000.0);

    Soak soak(main, sim, seed);
    // A console that stops serving events cannot notice it itself.
    std::atomic<bool> done{false};
    std::thread hangWatch([&] {
        qint64 seen = -1;
        auto since = std::chrono::steady_clock::now();
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            const qint64 beat = soak.heartbeat;
            if (beat != seen) {
                seen = beat;
                since = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - since > std::chrono::seconds(10)) {
                std::printf("STUCK: the console served no events for 10 s\n");
                std::fflush(stdout);
                std::_Exit(3);
            }
        }
    });

    soak.run(1500);
    program(main, main.panels.setpoints->opt_DACA, 40.0);
    program(main, main.panels.setpoints->opt_DACB, 0.5);
    main.btn_HVONOFF_Click();
    soak.startInjecting();

    bool ok = soak.run(warmUpMs);
    const double rssStart = residentMiB();
    soak.progress("start", rssStart);
    qint64 left = totalMs - warmUpMs;
    while (ok && left > 0) {
        const qint64 slice = qMin<qint64>(left, qEnvironmentVariableIntValue("SOAK_SLICE")
                                                    ? qEnvironmentVariableIntValue("SOAK_SLICE")
                                                    : 30000);
        ok = soak.run(slice);
        left -= slice;
        soak.progress("", residentMiB());
    }
    soak.stopInjecting();
    // Everything back to normal: the console must be polling successfully again.
    for (const char *line : {"silent off", "delay 0", "split off", "corrupt 0", "wrong off",
                             "arc-every 0", "interlock close", "clear all"})
        sim.send(QString::fromLatin1(line));
    if (ok)
        ok = soak.run(3000);
    const bool recovered = soak.replying();
    const double rssEnd = residentMiB();
    soak.progress("end", rssEnd);
    if (qEnvironmentVariableIsSet("SOAK_EXIT_NOW")) {
        std::fflush(stdout);
        std::_Exit(0);
    }
    done = true;
    hangWatch.join();

    if (main.btn_HVONOFF->value())
        main.btn_HVONOFF_Click();
    main.mnu_MANUAL_Click();
    main.mnu_EXIT_Click();
    installDialogs(nullptr);

    const double growth = rssEnd - rssStart;
    soak.summary();
    std::printf("message boxes %d, simulator commands refused %d\n", boxes.messages, sim.refused());
    std::printf("resident memory: start %.2f MiB, end %.2f MiB, growth %+.2f MiB (limit %.1f)\n",
                rssStart, rssEnd, growth, GrowthLimitMiB);
    bool pass = ok && recovered;
    if (!recovered)
        std::printf("FAIL: no replies after every fault was cleared\n");
    if (growth > GrowthLimitMiB) {
        std::printf("FAIL: resident memory grew by more than %.1f MiB\n", GrowthLimitMiB);
        pass = false;
    }
    if (soak.stuck())
        std::printf("FAIL: the console got stuck\n");
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
