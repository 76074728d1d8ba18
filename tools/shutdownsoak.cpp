#include "shutdownsoak.h"

#include "simlauncher.h"

#include "conditioning/seasoningpage.h"
#include "conditioning/seasoningrunwindow.h"
#include "pause.h"
#include "platform/dialogs.h"
#include "ports/hostbaudratedialog.h"
#include "ports/transportselection.h"
#include "shell/mainwindow.h"
#include "ui/mainmenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <climits>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <thread>

namespace zor::tools {

namespace {

// What has to reach the wire after the click, in this order, and nothing else.
const QList<QByteArray> FinalSends = {"ENBL 0;", "99,0,", "10,0,", "11,0,", "12,0,", "13,0,"};
constexpr qint64 ZeroingGapMs = 75;
constexpr qint64 ZeroingSlackMs = 15;
constexpr qint64 EndLimitMs = 2500;
// A run whose console has not ended by then is reported and stopped.
constexpr qint64 GiveUpMs = 8000;
// How long a box is open before the click.
constexpr int BoxLeadMs = 200;

// The same clock as the simulator's log, so its times and ours line up.
qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

enum class Reply { Prompt, Late, Silent, Split, Garbled };
enum class Run { None, Cycle, Seasoning };
enum class Box { None, Plain, InHandler };

struct State {
    Reply reply = Reply::Prompt;
    int lateMs = 0;
    bool hvOn = false;
    Run run = Run::None;
    Box box = Box::None;
    // From the end of the set-up; with a box, to its opening.
    int clickAfterMs = 0;

    explicit State(quint32 seed) {
        QRandomGenerator random(seed);
        reply = static_cast<Reply>(random.bounded(5));
        lateMs = random.bounded(1501);
        hvOn = random.bounded(2) == 1;
        run = static_cast<Run>(random.bounded(3));
        box = static_cast<Box>(random.bounded(3));
        clickAfterMs = random.bounded(1500);
    }

    // The simulator's operator command that puts its replies in this state.
    QString injection() const {
        switch (reply) {
        case Reply::Prompt:
            break;
        case Reply::Late:
            return QStringLiteral("delay %1").arg(lateMs);
        case Reply::Silent:
            return QStringLiteral("silent on");
        case Reply::Split:
            return QStringLiteral("split on");
        case Reply::Garbled:
            return QStringLiteral("corrupt 0.5");
        }
        return {};
    }

    // Tally keys, one per aspect, e.g. "reply=late", "run=cycle".
    QStringList aspects() const {
        static const char *const replies[] = {"prompt", "late", "silent", "split", "garbled"};
        static const char *const runs[] = {"none", "cycle", "seasoning"};
        static const char *const boxes[] = {"none", "plain", "in-handler"};
        return {QStringLiteral("reply=%1").arg(QLatin1String(replies[int(reply)])),
                QStringLiteral("hv=%1").arg(hvOn ? "on" : "off"),
                QStringLiteral("run=%1").arg(QLatin1String(runs[int(run)])),
                QStringLiteral("box=%1").arg(QLatin1String(boxes[int(box)]))};
    }

    QString text() const {
        QString out = aspects().join(QLatin1Char(' '));
        if (reply == Reply::Late)
            out += QStringLiteral(" late=%1ms").arg(lateMs);
        return out + QStringLiteral(" click=+%1ms").arg(clickAfterMs);
    }
};

// Answers every box at once, as an operator who clicks OK would, except the
// one box this run leaves open: that stays until the program ends.
class RunBoxes final : public Dialogs {
public:
    QString portPath;
    std::function<void()> opened;

    void message(const QString &text, const QString &, Icon) override {
        if (text != OpenBox)
            return;
        if (opened)
            opened();
        QEventLoop box;
        box.exec();
    }
    bool confirm(const QString &, const QString &) override { return true; }
    // The default schedule goes past the simulated unit's full scale: run it anyway.
    int ask(const QString &text, const QStringList &buttons, const QString &) override {
        return text.endsWith(QLatin1String("Run the schedule anyway?")) ? 0
                                                                        : int(buttons.size()) - 1;
    }
    QString input(const QString &prompt, const QString &, const QString &) override {
        if (prompt.startsWith(QLatin1String("Enter your Comm Port")))
            return portPath;
        // The cycle test: on 1 s of a 2 s period.
        if (prompt.startsWith(QLatin1String("Enter the ON time")))
            return QStringLiteral("1");
        if (prompt.startsWith(QLatin1String("Enter the period")))
            return QStringLiteral("2");
        return {};
    }
    void runModal(QDialog &dialog) override {
        if (auto *baud = qobject_cast<HostBaudRateDialog *>(&dialog))
            baud->ok_Click();
        else if (auto *season = qobject_cast<SeasoningPage *>(&dialog))
            season->Command1_Click();
        else
            dialog.reject();
    }

    static inline const QString OpenBox = QStringLiteral("A box the operator left open");
};

} // namespace

int shutdownOnce(const QString &simProgram, quint32 seed) {
    const State state(seed);
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("sim.log"));
    auto sim = std::make_unique<SimLauncher>();
    if (!sim->startOnPty(simProgram, {QStringLiteral("--log"), logPath, QStringLiteral("--seed"),
                                      QString::number(seed)}))
        return 2;

    RunBoxes boxes;
    boxes.portPath = sim->ptyPath();
    installDialogs(&boxes);
    auto main = std::make_unique<MainWindow>();
    qint64 clickedAt = -1;
    qint64 endedAt = -1;
    int sentBeforeClick = 0;
    // The box opened inside an exchange's wait for its reply.
    bool boxInWait = false;
    int sent = 0;
    QObject::connect(&main->link, &DeviceLink::transmitted, [&sent] { ++sent; });
    main->setProgramEnd([&endedAt] {
        endedAt = monotonicMs();
        QCoreApplication::exit(0);
    });
    main->Form_Load();
    main->menus.transport->mnu_userComm_Click();
    if (!main->link.transportOpen()) {
        std::printf("run %u: the console did not open %s\n", seed, qPrintable(sim->ptyPath()));
        return 2;
    }
    main->mnu_AUTOUPDATE_Click();
    // The identity read and a few poll steps, so the scale factors are known
    // (a seasoning run will not start without them).
    for (int waited = 0; main->state.kvPerBit() <= 0 && waited < 5000; waited += 100)
        sleepFor(100);
    sleepFor(200);
    if (state.hvOn)
        main->btn_HVONOFF_Click();
    if (state.run == Run::Cycle)
        main->menu.menu_cycleHv->trigger();
    else if (state.run == Run::Seasoning)
        main->menu.menu_Season->trigger();
    const bool runGoing = state.run != Run::Seasoning || main->forms.find<SeasoningRunWindow>();
    if (const QString injection = state.injection(); !injection.isEmpty())
        sim->send(injection);

    const auto click = [&] {
        clickedAt = monotonicMs();
        sentBeforeClick = sent;
        main->menu.mnu_SHUTDOWN->trigger();
    };
    if (state.box == Box::None) {
        QTimer::singleShot(state.clickAfterMs, main.get(), click);
    } else {
        // The click comes while the box is open: opened from the event loop,
        // at once or once a command is waiting for its reply.
        boxes.opened = [&] {
            boxInWait = main->link.busy();
            QTimer::singleShot(BoxLeadMs, main.get(), click);
        };
        QTimer::singleShot(state.clickAfterMs, main.get(), [&] {
            if (state.box == Box::Plain) {
                dialogs().message(RunBoxes::OpenBox);
                return;
            }
            auto *poll = new QTimer(main.get());
            QObject::connect(poll, &QTimer::timeout, [&main, poll] {
                if (!main->link.busy())
                    return;
                poll->stop();
                poll->deleteLater();
                dialogs().message(RunBoxes::OpenBox);
            });
            poll->start(2);
        });
    }
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    // A box held behind a silent supply's exchanges opens up to 2 s late.
    giveUp.start(state.clickAfterMs + 2000 + BoxLeadMs + GiveUpMs);
    QCoreApplication::exec();

    // The last frame left with the port's close; give the simulator a moment to log it.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto log = readLog(logPath);
    QStringList problems;
    if (!runGoing)
        problems << QStringLiteral("the seasoning run did not start");
    if (clickedAt < 0)
        problems << QString::fromLatin1(state.box == Box::None ? "never clicked"
                                                               : "the box never opened");
    QList<QByteArray> after;
    QList<qint64> times;
    for (qsizetype i = sentBeforeClick; i < log.size(); ++i) {
        after << log[i].second;
        times << log[i].first;
    }
    if (after != FinalSends)
        problems
            << QStringLiteral("wire after the click: %1").arg(QString::fromLatin1(after.join(' ')));
    QStringList gaps;
    // From "10,0," on, each zeroing send after the one before, wherever they stand.
    const qsizetype first = after.indexOf(FinalSends[2]);
    for (qsizetype i = first + 1; first >= 0 && i < after.size() && i - first < 4; ++i) {
        const qint64 gap = times[i] - times[i - 1];
        gaps << QString::number(gap);
        if (std::abs(gap - ZeroingGapMs) > ZeroingSlackMs)
            problems << QStringLiteral("%1 %2 ms after %3")
                            .arg(QString::fromLatin1(after[i]))
                            .arg(gap)
                            .arg(QString::fromLatin1(after[i - 1]));
    }
    if (endedAt < 0)
        problems << QStringLiteral("not ended %1 ms after the click").arg(GiveUpMs);
    else if (clickedAt >= 0 && endedAt - clickedAt > EndLimitMs)
        problems << QStringLiteral("ended %1 ms after the click").arg(endedAt - clickedAt);
    std::printf(
        "run %u %s: %s%s\n", seed, qPrintable(state.text()),
        problems.isEmpty() ? "ok" : "FAIL: ", qPrintable(problems.join(QLatin1String("; "))));
    std::printf("  ended %lld ms after the click; zeroing gaps %s ms%s\n",
                endedAt >= 0 && clickedAt >= 0 ? endedAt - clickedAt : -1LL,
                qPrintable(gaps.join(QLatin1Char(' '))),
                boxInWait ? "; the box opened while an exchange waited" : "");
    std::fflush(stdout);
    // The windows and the link go without further traffic: the port is shut.
    installDialogs(nullptr);
    // The simulator is a process of its own: it goes first, the rest need not.
    sim.reset();
    std::_Exit(problems.isEmpty() ? 0 : 1);
}

int runShutdowns(const QString &self, const QString &simProgram, int count, int jobs,
                 quint32 seed) {
    struct Child {
        quint32 seed;
        std::unique_ptr<QProcess> process;
        QElapsedTimer age;
    };
    std::deque<Child> running;
    quint32 next = seed;
    int started = 0;
    int failed = 0;
    std::map<QString, std::pair<int, int>> tally; // aspect: runs, failures
    int slowestEnd = -1;
    std::pair<int, int> gapRange{INT_MAX, -1};
    const auto finish = [&](Child &child) {
        QProcess &p = *child.process;
        const bool exited = p.waitForFinished(0) || p.state() == QProcess::NotRunning;
        const QByteArray out = p.readAllStandardOutput();
        const bool ok = exited && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        for (const QString &aspect : State(child.seed).aspects()) {
            ++tally[aspect].first;
            tally[aspect].second += ok ? 0 : 1;
        }
        // "ended E ms after the click; zeroing gaps G G G ms"
        static const QRegularExpression timing(
            QStringLiteral("ended (-?\\d+) ms after the click; zeroing gaps ([\\d ]*) ms"));
        if (const auto m = timing.match(QString::fromLatin1(out)); m.hasMatch()) {
            if (const int ended = m.captured(1).toInt(); ended >= 0)
                slowestEnd = std::max(slowestEnd, ended);
            for (const QString &gap : m.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                gapRange.first = std::min(gapRange.first, gap.toInt());
                gapRange.second = std::max(gapRange.second, gap.toInt());
            }
        }
        if (!ok) {
            ++failed;
            std::printf("%s", out.isEmpty() ? qPrintable(QStringLiteral("run %1 %2: FAIL: no "
                                                                        "result (exit %3)\n")
                                                             .arg(child.seed)
                                                             .arg(State(child.seed).text())
                                                             .arg(p.exitCode()))
                                            : out.constData());
            std::fflush(stdout);
        }
    };
    QElapsedTimer clock;
    clock.start();
    while (started < count || !running.empty()) {
        while (started < count && static_cast<int>(running.size()) < jobs) {
            Child child{next++, std::make_unique<QProcess>(), {}};
            child.age.start();
            child.process->setProcessChannelMode(QProcess::SeparateChannels);
            child.process->setStandardErrorFile(QProcess::nullDevice());
            child.process->start(self,
                                 {QStringLiteral("--shutdown-run"), QString::number(child.seed),
                                  QStringLiteral("--sim"), simProgram});
            running.push_back(std::move(child));
            ++started;
        }
        for (auto it = running.begin(); it != running.end();) {
            QProcess &p = *it->process;
            // A child that outlives its own give-up time is hung past help.
            if (p.state() != QProcess::NotRunning && !p.waitForFinished(20)) {
                if (it->age.elapsed() < GiveUpMs * 4) {
                    ++it;
                    continue;
                }
                p.kill();
                p.waitForFinished(1000);
            }
            finish(*it);
            it = running.erase(it);
            const int done = started - static_cast<int>(running.size());
            if (done % 50 == 0)
                std::printf("%d of %d runs, %d failed, %.0f s\n", done, count, failed,
                            clock.elapsed() / 1000.0);
        }
    }
    std::printf("shutdowns %d (seeds %u..%u): %d passed, %d failed in %.0f s\n", count, seed,
                next - 1, count - failed, failed, clock.elapsed() / 1000.0);
    std::printf("slowest end %d ms after the click; zeroing gaps %d..%d ms\n", slowestEnd,
                gapRange.second < 0 ? -1 : gapRange.first, gapRange.second);
    for (const auto &[aspect, counts] : tally)
        std::printf("  %-18s %4d runs, %4d failed\n", qPrintable(aspect), counts.first,
                    counts.second);
    return failed == 0 ? 0 : 1;
}

} // namespace zor::tools
