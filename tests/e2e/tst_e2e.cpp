// The console's own windows, offscreen, against the real zor-sim: one whole
// operator session over each transport, then the link faults the simulator
// can inject.
#include "broker.h"
#include "control/faultresetframe.h"
#include "control/localremote.h"
#include "control/setpointpanel.h"
#include "link/framecodec.h"
#include "monitor/analogreadbacks.h"
#include "monitor/statusframe.h"
#include "platform/isotime.h"
#include "platform/numedit.h"
#include "platform/toggleswitch.h"
#include "ports/hostbaudratedialog.h"
#include "ports/remotehost.h"
#include "ports/transportselection.h"
#include "simlauncher.h"
#include "telemetryui/telemetrymenu.h"
#include "testconsole.h"
#include "trend/recordsmenu.h"
#include "ui/mainmenu.h"

#include <QAction>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

using namespace zor;
using namespace Qt::StringLiterals;

namespace {

// One payload as the console sent it, and the reply it collected for it.
struct Exchange {
    QByteArray payload;
    // Nothing when no reply was collected: a send alone, or a receive that
    // found its port closed.
    std::optional<QByteArray> reply;
    qint64 sentMs = 0;
    qint64 doneMs = -1;

    bool empty() const { return !reply || reply->isEmpty(); }
    // Begins with STX and holds its transport's terminator.
    bool whole() const {
        return reply && reply->startsWith(STX) && (reply->contains(LF) || reply->contains(ETX));
    }
};

// Every exchange of the console, timed on a monotonic clock.
struct LinkTrace {
    explicit LinkTrace(DeviceLink &link) {
        clock.start();
        QObject::connect(
            &link, &DeviceLink::transmitted, &context, [this](const QByteArray &frame) {
                // Serial: STX payload checksum CR LF; network: STX payload ETX.
                const bool serial = frame.endsWith("\r\n");
                exchanges.push_back(
                    {frame.mid(1, frame.size() - (serial ? 4 : 2)), {}, clock.elapsed()});
                if (onSend)
                    onSend(exchanges.back().payload);
            });
        QObject::connect(&link, &DeviceLink::received, &context, [this](const QByteArray &reply) {
            if (!exchanges.empty())
                exchanges.back().reply = reply, exchanges.back().doneMs = clock.elapsed();
        });
    }
    int size() const { return static_cast<int>(exchanges.size()); }
    // The exchanges of `payload` from index `from` on.
    std::vector<Exchange> of(const QByteArray &payload, int from = 0) const {
        std::vector<Exchange> out;
        std::copy_if(exchanges.begin() + from, exchanges.end(), std::back_inserter(out),
                     [&](const Exchange &e) { return e.payload == payload; });
        return out;
    }

    std::vector<Exchange> exchanges;
    // Runs as each payload goes out, before it reaches the wire.
    std::function<void(const QByteArray &payload)> onSend;
    QElapsedTimer clock;
    QObject context; // ends the connections with the trace
};

// The console on real ports (Form_Load done, no port chosen) and a zor-sim for
// it to talk to: on a pseudo-terminal, on TCP, or on a pseudo-terminal that
// ser2net serves on TCP.
struct SimSession : test::Console {
    enum class Wire { Pty, Tcp, Ser2net };

    SimSession(Wire transport, const QStringList &simArgs = {})
        : Console(false, true), transport(transport), simArgs(simArgs) {
        // Quiet monitors, so every read-back has one right value.
        this->simArgs += QStringList{"--noise", "0", "--log", dir.filePath("sim.log")};
        dialogs.onModal = [this](QDialog &dialog) {
            if (auto *baud = qobject_cast<HostBaudRateDialog *>(&dialog)) {
                baud->ok_Click(); // the first rate offered, 115200
            } else if (auto *host = qobject_cast<RemoteHost *>(&dialog)) {
                host->txtHost->setText(QStringLiteral("127.0.0.1"));
                host->txtPortNumber->setText(QString::number(tcpPort));
                host->OKButton_Click();
            } else {
                QFAIL(qPrintable("unexpected page " + dialog.windowTitle()));
            }
        };
    }

    // Starts the simulator, again at the same link path or port after stopSim().
    bool startSim() {
        const bool tcp = transport == Wire::Tcp;
        QString error;
        // Behind ser2net only the server went away.
        if (!sim && !(sim = std::make_unique<tools::SimLauncher>())
                         ->start(simArgs + QStringList{tcp ? "--tcp" : "--pty",
                                                       tcp ? QString::number(tcpPort) : ptyLink()},
                                 1, &error))
            error.prepend("zor-sim did not start: ");
        else if (transport == Wire::Ser2net && !server.start(ptyLink()))
            error = "ser2net did not start: scripts/setup installs the ser2net package";
        tcpPort = tcp && error.isEmpty() ? sim->tcpPort() : server.port;
        if (!error.isEmpty())
            qWarning("%s", qPrintable(error));
        return error.isEmpty();
    }
    // Kills it: the pseudo-terminal vanishes, the TCP peer goes away; behind
    // ser2net the server goes and the supply stays.
    void stopSim() { transport == Wire::Ser2net ? server.kill() : sim.reset(); }
    // Ports > COMM USER with the simulator's link and then Auto Update Mode;
    // or the Ethernet handler (its menu entry stays disabled) with its host
    // dialog; or Ports > Serial over TCP... with the same dialog.
    void selectPort() {
        if (transport == Wire::Tcp)
            return window.menus.transport->mnu_ethernet_Click();
        if (transport == Wire::Ser2net)
            return window.menu.mnu_Ports->findChild<QAction *>("mnu_serialOverTcp")->trigger();
        dialogs.inputs = {ptyLink()};
        window.menu.mnu_userComm->trigger();
        window.menu.mnu_AUTOUPDATE->trigger();
    }
    // Returns right after the console's next reply. The supply sends its own
    // status messages only after a quiet spell, so a command sent now cannot
    // cross one on the wire, which would be taken for the command's reply.
    void afterNextReply() { (void)QSignalSpy(&window.link, &DeviceLink::received).wait(3000); }
    // An operator command at the simulator's prompt; its first line of output.
    QString simCommand(const QByteArray &line) { return sim ? sim->command(line) : QString(); }
    // The payloads in the simulator's --log ("<ms> <link> <payload>"), in order.
    QList<QByteArray> logged() const {
        QList<QByteArray> out;
        for (const auto &[ms, payload] : tools::readLog(dir.filePath("sim.log")))
            out << payload;
        return out;
    }
    QString ptyLink() const { return dir.filePath("ttyZOR"); }
    // zor-ctl, beside the simulator, on the same link.
    void startCtl(QProcess &ctl, const QStringList &args) const {
        const QString at = u"127.0.0.1:%1"_s.arg(tcpPort);
        ctl.start(QFileInfo(qEnvironmentVariable("ZOR_SIM")).dir().filePath("zor-ctl"),
                  (transport == Wire::Pty   ? QStringList{"--port", ptyLink()}
                   : transport == Wire::Tcp ? QStringList{"--host", at}
                                            : QStringList{"--serial-over-tcp", at}) +
                      args);
    }

    const Wire transport;
    QTemporaryDir dir;
    LinkTrace trace{window.link};
    quint16 tcpPort = 0;
    QStringList simArgs;
    std::unique_ptr<tools::SimLauncher> sim;
    test::Ser2net server;
};
using Wire = SimSession::Wire;

const QList<QByteArray> PollCycle = {"VMON;", "IMON;", "FMON;", "VSET;",  "ISET;", "STAT;",
                                     "FLT;",  "LVPS;", "TEMP;", "SLVR ;", "SLIR ;"};
// The 1.0 s reply limit, with room for a machine busy with other work.
constexpr qint64 ReplyLimitMs = 1000 + 250;
// The longest the console may go without sending: after a time-out the next
// send waits out the window in which the owed reply may still come (twice the
// reply limit from the timed-out send), then one poll tick.
constexpr qint64 SendGapLimitMs = 2 * 1000 + 250 + 66;

QList<QByteArray> payloadsOf(const std::vector<Exchange> &exchanges) {
    QList<QByteArray> out;
    for (const Exchange &e : exchanges)
        out << e.payload;
    return out;
}

// The payloads that set a channel or the control mode ("10,0," ... "99,0,").
QList<QByteArray> channelWrites(const QList<QByteArray> &payloads) {
    QList<QByteArray> out;
    std::copy_if(payloads.begin(), payloads.end(), std::back_inserter(out),
                 [](const QByteArray &p) { return p.startsWith('1') || p.startsWith('9'); });
    return out;
}

// Why the console stalled in these exchanges, or nothing when it never did.
QString stall(const std::vector<Exchange> &exchanges) {
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const Exchange &e = exchanges[i];
        if (e.doneMs >= 0 && e.doneMs - e.sentMs > ReplyLimitMs)
            return QStringLiteral("%1 waited %2 ms").arg(e.payload).arg(e.doneMs - e.sentMs);
        if (i > 0 && e.sentMs - exchanges[i - 1].sentMs > SendGapLimitMs)
            return QStringLiteral("nothing sent for %1 ms before %2")
                .arg(e.sentMs - exchanges[i - 1].sentMs)
                .arg(e.payload);
    }
    return {};
}

// A console on a fresh simulator, polling, with the supply's scaling read.
bool startPolling(SimSession &s) {
    if (!s.startSim())
        return false;
    s.selectPort();
    return QTest::qWaitFor([&] { return s.window.state.kvPerBit() > 0; }, 5000);
}

// The first whole poll cycle that starts after exchange `from`.
std::vector<Exchange> cycleAfter(const SimSession &s, int from) {
    std::vector<int> ticks;
    (void)QTest::qWaitFor(
        [&] {
            ticks.clear();
            for (int i = from; i < s.trace.size(); ++i)
                if (s.trace.exchanges[i].payload == "WDTT;")
                    ticks.push_back(i);
            return ticks.size() >= 2;
        },
        10000);
    if (ticks.size() < 2)
        return {};
    return {s.trace.exchanges.begin() + ticks[0] + 1, s.trace.exchanges.begin() + ticks[1]};
}

// A poll cycle in which every command was answered in full.
bool healthy(const std::vector<Exchange> &cycle) {
    return payloadsOf(cycle) == PollCycle &&
           std::all_of(cycle.begin(), cycle.end(), [](const Exchange &e) { return e.whole(); });
}

// How a reply was taken for another command's, or nothing. The supply's answers
// never change here, so such a reply differs from what its command got before.
QString misplaced(const SimSession &s) {
    std::map<QByteArray, QByteArray> first;
    for (const Exchange &e : s.trace.exchanges)
        if (e.whole() && first.try_emplace(e.payload, *e.reply).first->second != *e.reply)
            return e.payload + " got " + *e.reply + ", not " + first[e.payload];
    return {};
}

void addTransportRows() {
    test::columns<Wire>("wire");
    test::row("pseudo-terminal", Wire::Pty);
    test::row("tcp", Wire::Tcp);
    test::row("ser2net", Wire::Ser2net);
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void operatorSession_data() { addTransportRows(); }

    void operatorSession() {
        QFETCH(Wire, wire);
        // Network status messages when the supply's state changes, not on a clock.
        SimSession s(wire, {"--status-ms", "600000"});
        QVERIFY(s.startSim());
        MainWindow &w = s.window;

        // The port; auto update reads the identity before the poll starts.
        s.selectPort();
        QCOMPARE(w.StatusBar1->panelText(2),
                 wire == Wire::Pty ? "Comm Port:  " + s.ptyLink() : u"IP: 127.0.0.1"_s);
        // The network entry goes on once connected.
        QTRY_VERIFY(w.menu.mnu_AUTOUPDATE->isChecked() &&
                    !w.panels.setpoints->btn_KVSET->isEnabled());
        QCOMPARE(s.texts({"txt_MODNUM", "txt_SWREV", "txt_SWBUILD"}),
                 QStringList({"ZOR80HR", "ZORSIM 1.00", "0103"}));
        QTRY_COMPARE(w.state.kvPerBit(), 80.0 / 4095);
        QTRY_COMPARE(s.texts({"txt_ADC1", "txt_ADC6", "txt_ADC2"}),
                     QStringList({"-15.00 V", "25.0", "0.000 kV"}));
        QCOMPARE(w.panels.statusFrame->lbl_INTRLKSTAT->text(), "Interlock Closed");

        // kV and mA setpoints.
        SetpointPanel &panel = *w.panels.setpoints;
        panel.opt_DACA->click();
        panel.ctrl_SCALVAL->setValue(40);
        s.afterNextReply();
        QTest::mouseClick(panel.btn_ACCEPT, Qt::LeftButton);
        QTRY_COMPARE(panel.txt_DACA->text(), "40.010 kV");
        panel.opt_DACB->click();
        panel.ctrl_SCALVAL->setValue(1);
        s.afterNextReply();
        QTest::mouseClick(panel.btn_ACCEPT, Qt::LeftButton);
        QTRY_COMPARE(panel.txt_DACB->text(), "1.000 mA");
        QVERIFY(s.logged().contains("VREF 2048;"));
        QVERIFY(s.logged().contains("IREF 2925;"));

        // High voltage on: the monitors reach the setpoints.
        s.afterNextReply();
        QTest::mouseClick(w.btn_HVONOFF, Qt::LeftButton);
        QTRY_COMPARE(w.panels.statusFrame->lbl_HVSTAT->text(), "X-RAY ON");
        QTRY_COMPARE_WITH_TIMEOUT(w.panels.readbacks->field(Quantity::KvMonitor)->text(),
                                  "40.010 kV", 5000);
        QTRY_COMPARE(w.panels.readbacks->field(Quantity::MaMonitor)->text(), "1.000 mA");

        // The X-ray off key, and on again.
        QTest::keyClick(&w, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(w.panels.statusFrame->lbl_HVSTAT->text(), "X-RAY OFF");
        QCOMPARE(s.logged().count("ENBL 0;"), 1);
        s.afterNextReply();
        QTest::mouseClick(w.btn_HVONOFF, Qt::LeftButton);
        QTRY_COMPARE(w.panels.statusFrame->lbl_HVSTAT->text(), "X-RAY ON");

        // The interlock opens: the supply drops the voltage and the switch follows.
        QCOMPARE(s.simCommand("interlock open"), "ok");
        QTRY_VERIFY(!w.btn_HVONOFF->value());
        QTRY_COMPARE(w.panels.statusFrame->lbl_INTRLKSTAT->text(), "Interlock Open");
        QTRY_COMPARE(w.panels.statusFrame->lbl_HVSTAT->text(), "X-RAY OFF");
        QCOMPARE(s.simCommand("interlock close"), "ok");
        QTRY_COMPARE(w.panels.statusFrame->lbl_INTRLKSTAT->text(), "Interlock Closed");

        // A latched fault and its reset.
        QCOMPARE(s.simCommand("fault ov"), "ok");
        QTRY_COMPARE(w.panels.statusFrame->lbl_OV->text(), "Over Voltage Error");
        if (wire == Wire::Tcp) // only the supply's own network messages carry the fault summary
            QTRY_COMPARE(w.panels.statusFrame->lbl_FAULT->text(), "P.S. FAULT");
        s.afterNextReply();
        QTest::mouseClick(w.panels.faultReset->btn_RSTTIME, Qt::LeftButton);
        s.settle();
        // Acknowledged with ";", not "$".
        QCOMPARE(w.panels.faultReset->btn_RSTTIME->text(), "RESET");
        QTRY_COMPARE(w.panels.statusFrame->lbl_OV->text(), "Over Voltage OK");
        QTRY_COMPARE(w.panels.statusFrame->lbl_FAULT->text(),
                     wire == Wire::Tcp ? "NO P.S. FAULT" : "NO PS  FAULT");
        QVERIFY(s.logged().contains("CLR;"));

        // Shutdown and Exit: local control, all four channels to zero, port closed.
        const qsizetype shutdownFrom = s.logged().size();
        s.afterNextReply();
        w.menu.mnu_SHUTDOWN->trigger();
        QTRY_COMPARE(s.ends, 1);
        QVERIFY(!w.panels.localRemote->btn_local_remote->value());
        QVERIFY(!w.link.transportOpen());
        QTRY_COMPARE(s.logged().last(), "13,0,");
        QCOMPARE(channelWrites(s.logged().mid(shutdownFrom)),
                 QByteArrayList({"99,0,", "10,0,", "11,0,", "12,0,", "13,0,"}));

        // A script reaches the same supply on the link the console let go.
        QCOMPARE(s.simCommand("interlock open"), "ok");
        QProcess ctl;
        s.startCtl(ctl, {"status"});
        QTRY_COMPARE_WITH_TIMEOUT(ctl.state(), QProcess::NotRunning, 15000);
        const QString status = QString(ctl.readAllStandardOutput()).simplified();
        QVERIFY2(ctl.exitCode() == 0 && status.contains("lvps -15.000 V") &&
                     status.contains("interlock_open yes"),
                 qPrintable(status));
    }

    // The supply answers badly while the console reads the mA setpoint and the
    // status; then it answers well again.
    void replyFaults_data() {
        test::columns<QByteArray, QByteArray, bool, int>("inject", "heal", "firstTimesOut",
                                                         "errors");
        test::row("no answer", "silent on"_ba, "silent off"_ba, true, 1);
        // After the limit: each late reply is drained before the next send, so
        // no read takes another's reply; all three come up empty.
        test::row("late answer", "delay 1200"_ba, "delay 0"_ba, true, 1);
        test::row("split answers", "split on"_ba, "split off"_ba, false, 0);
        test::row("corrupted answers", "corrupt 1"_ba, "corrupt 0"_ba, false, 0);
    }

    void replyFaults() {
        const auto [inject, heal, firstTimesOut, errors] =
            test::fetch<QByteArray, QByteArray, bool, int>("inject", "heal", "firstTimesOut",
                                                           "errors");
        SimSession s(Wire::Pty);
        QVERIFY(startPolling(s));
        // Exchange index, error count, mA setpoint and arc count at the inject and the heal.
        struct Mark {
            int at = -1;
            qint32 errors = 0;
            QString maSetpoint;
            int arcs = 0;
        } at[2];
        s.trace.onSend = [&](const QByteArray &payload) {
            const int i = at[0].at < 0 ? 0 : 1;
            if (payload == (i ? "LVPS;" : "ISET;") && at[i].at < 0) {
                at[i] = {s.trace.size() - 1, s.window.state.failedReplies(),
                         s.window.panels.setpoints->txt_DACB->text(), s.window.state.arcCount()};
                s.simCommand(i ? heal : inject);
            }
        };
        const int &from = at[0].at, &to = at[1].at;
        QTRY_VERIFY_WITH_TIMEOUT(to >= 0, 10000);
        const std::vector<Exchange> bad(s.trace.exchanges.begin() + from,
                                        s.trace.exchanges.begin() + to + 1);
        QVERIFY2(stall(bad).isEmpty(), qPrintable(stall(bad)));
        QCOMPARE(payloadsOf(bad), QByteArrayList({"ISET;", "STAT;", "FLT;", "LVPS;"}));
        QCOMPARE(bad[0].empty(), firstTimesOut);
        for (std::size_t i = 0; i < 3; ++i)
            QVERIFY2(bad[i].empty() || bad[i].whole(), bad[i].reply->constData());
        // Only a status read that got nothing counts.
        QCOMPARE(at[1].errors - at[0].errors, errors);
        // No shifted reply reached a field: no arc counted, the mA setpoint kept.
        QCOMPARE(at[1].arcs, at[0].arcs);
        if (firstTimesOut) {
            QCOMPARE(at[1].maSetpoint, at[0].maSetpoint);
            QVERIFY(bad[1].empty() && bad[2].empty());
        }

        QVERIFY(healthy(cycleAfter(s, to)));
        QCOMPARE(s.window.state.failedReplies(), at[1].errors);
        QCOMPARE(s.window.state.kvPerBit(), 80.0 / 4095);
        QCOMPARE(s.texts({"txt_ADC1", "txt_ADC6"}), QStringList({"-15.00 V", "25.0"}));
    }

    // The supply, or the terminal server before it, goes away in the middle of
    // the poll and comes back.
    void peerVanishes_data() { addTransportRows(); }

    void peerVanishes() {
        QFETCH(Wire, wire);
        SimSession s(wire);
        QVERIFY(startPolling(s));
        s.window.link.watchdog().setInterval(100);
        QStringList notes;
        QObject::connect(
            &s.window.state, &SupplyState::noted, &s.window,
            [&](EventType, const QString &text, const QJsonObject &) { notes << text; });
        // The operator takes longer over a box than the reply limit.
        s.dialogs.readingMs = 1500;
        // Gone while the console waits for the kV setpoint, which comes late.
        QCOMPARE(s.simCommand("delay 400"), "ok");
        // Counted from the moment the supply is really gone, which a busy machine delays.
        int gone = -1, stopped = -1, inFlight = -1;
        qint32 errorsBefore = 0;
        s.trace.onSend = [&](const QByteArray &payload) {
            if (gone < 0 && payload == "VSET;") {
                gone = s.trace.size() - 1;
                QTimer::singleShot(150, &s.window, [&] {
                    s.stopSim();
                    stopped = s.trace.size();
                    inFlight = s.trace.exchanges.back().doneMs < 0 ? stopped - 1 : -1;
                    errorsBefore = s.window.state.failedReplies();
                });
            }
        };
        QTRY_VERIFY(stopped >= 0);
        // The poll goes on without its supply, counting each status read that got nothing.
        QTRY_VERIFY(s.trace.of("STAT;", stopped).size() >= 3);
        s.trace.onSend = nullptr;
        const std::vector<Exchange> down(s.trace.exchanges.begin() + gone, s.trace.exchanges.end());
        QVERIFY2(stall(down).isEmpty(), qPrintable(stall(down)));
        const std::vector<Exchange> stats = s.trace.of("STAT;", stopped);
        for (const Exchange &e : stats)
            QVERIFY2(e.empty(), e.reply.value_or("").toHex().constData());
        // A status read under way at the stop may have caught its reply or not.
        const bool lostInFlight = inFlight >= 0 && s.trace.exchanges[inFlight].payload == "STAT;" &&
                                  s.trace.exchanges[inFlight].empty();
        QCOMPARE(s.window.state.failedReplies() - errorsBefore,
                 qint32(stats.size()) + lostInFlight);
        if (wire != Wire::Pty)
            QCOMPARE(s.dialogs.messages().filter("TCP Error"),
                     QStringList{"TCP ErrorThe remote host closed the connection"});
        else
            QVERIFY(!s.window.link.transportOpen());

        // The supply returns at the same place; the console comes back by itself,
        // the network link within its longest retry pause.
        s.simCommand("delay 0"); // a supply that stayed up
        const int returned = s.trace.size();
        QVERIFY(s.startSim());
        QElapsedTimer back;
        back.start();
        QTRY_VERIFY_WITH_TIMEOUT(s.window.link.transportOpen(), 10000);
        QVERIFY(back.elapsed() < 10000 + 250);
        if (wire != Wire::Pty)
            QCOMPARE(notes.filter(u"Link to 127.0.0.1:"_s).size(), 2);
        const qint32 errorsBack = s.window.state.failedReplies();
        // The unit is read again on its return, between two poll steps.
        QTRY_VERIFY(!s.trace.of("SNUR;", returned).empty());
        QVERIFY(healthy(cycleAfter(s, s.trace.size())));
        QCOMPARE(s.window.state.failedReplies(), errorsBack);
        QVERIFY(!s.window.ended());
        // Network status messages may cross a command (see afterNextReply).
        QVERIFY2(wire == Wire::Tcp || misplaced(s).isEmpty(), qPrintable(misplaced(s)));
    }

    // Behind a terminal server the reply to a command cut off by a drop waits
    // on the serial line, and is handed to the next connection: it is dropped,
    // not taken for the next command's.
    void handover() {
        SimSession s(Wire::Ser2net);
        QVERIFY(startPolling(s));
        s.window.menu.mnu_MANUAL->trigger();
        s.settle();
        QCOMPARE(s.simCommand("delay 400"), "ok");
        s.window.ops.readIdentity(IdentityField::HardwareRevision);
        QTRY_COMPARE(s.trace.exchanges.back().payload, "HWVR;");
        QTest::qWait(150);
        // Back after the window in which the console itself waits for that reply.
        s.stopSim();
        QTest::qWait(DeviceLink::LateWindowMs - 500);
        s.simCommand("delay 0");
        QVERIFY(s.startSim());
        // Back, it reads the scale and identity again.
        QTRY_VERIFY_WITH_TIMEOUT(
            s.trace.exchanges.back().payload == "SNUR;" && s.trace.exchanges.back().whole(), 10000);
        QVERIFY2(misplaced(s).isEmpty(), qPrintable(misplaced(s)));
        QCOMPARE(s.dialogs.messages(),
                 QStringList{"TCP ErrorThe remote host closed the connection"});
    }

    // One CSV truth: the console's data log and zor-ctl watch --csv, on the same
    // simulator at once, write the same columns and the same values.
    void oneCsvTruth() {
        SimSession s(Wire::Tcp);
        QVERIFY(startPolling(s));
        const QString path = s.dir.filePath("log.csv");
        QCOMPARE(s.window.records.dataLog.start(path), QString());
        QProcess ctl;
        s.startCtl(ctl, {"watch", "--count", "3", "--interval", "500", "--csv"});
        QTRY_COMPARE_WITH_TIMEOUT(ctl.state(), QProcess::NotRunning, 15000);
        s.window.records.dataLog.stop();
        QFile log(path);
        QVERIFY(log.open(QIODevice::ReadOnly));
        // The header and the last row without its time, each time read with the one parser.
        int times = 0, written = 0;
        const auto rows = [&](const QByteArray &text) {
            const QList<QByteArray> lines = text.trimmed().split('\n');
            written += int(lines.size()) - 1;
            for (const QByteArray &l : lines.mid(1))
                times += parseIsoTime(QString::fromLatin1(l.left(l.indexOf(',')))).has_value();
            return QList<QByteArray>{lines.first(), lines.last().mid(lines.last().indexOf(','))};
        };
        const QList<QByteArray> console = rows(log.readAll()),
                                tool = rows(ctl.readAllStandardOutput());
        QCOMPARE(tool, console);
        QVERIFY(written >= 4 && times == written);
        QVERIFY(console[1].contains(",1,0,0,0")); // PS fault reported 0 by the status message
    }

    // The console publishes what it polls to a real broker, which dies and
    // comes back, then refuses the console, while the poll goes on.
    void telemetry() {
        test::Broker broker;
        QVERIFY(broker.start());
        test::Subscriber sub(broker, "zor/e2e/#");
        QVERIFY(sub.subscribed());
        SimSession s(Wire::Pty);
        MainWindow &w = s.window;
        QLabel &indicator = *w.menus.telemetry->lbl_TELEMETRY;
        telemetry::BrokerSettings settings;
        settings.url = broker.url();
        settings.topicPrefix = "zor/e2e";
        QVERIFY(telemetry::completeSettings(settings).isEmpty());
        w.publisher.setBackoff(100, 400);
        w.publisher.start(settings);
        QVERIFY(startPolling(s));
        QTRY_COMPARE(indicator.text(), "MQTT: connected");

        // 40 kV and 1 mA with the high voltage on: the samples say what the console shows.
        s.settle();
        w.ops.program(Channel::Kv, 2048);
        s.settle();
        w.ops.program(Channel::Ma, 2925);
        s.settle();
        QTest::mouseClick(w.btn_HVONOFF, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.panels.readbacks->field(Quantity::MaMonitor)->text(),
                                  "1.000 mA", 5000);
        const auto shown = [&] {
            const QStringList samples = sub.on("zor/e2e/sample");
            const QJsonObject o =
                QJsonDocument::fromJson(samples.value(samples.size() - 1).toUtf8()).object();
            return QStringList{QString::number(o["kv_monitor"].toDouble(), 'f', 3) + " kV",
                               QString::number(o["ma_monitor"].toDouble(), 'f', 3) + " mA"};
        };
        QTRY_COMPARE(shown(), QStringList({"40.010 kV", "1.000 mA"}));
        QCOMPARE(s.texts({"txt_ADC2", "txt_ADC3"}), shown());
        QTRY_VERIFY(sub.on("zor/e2e/event").join('\n').contains(R"("text":"HV on confirmed")"));
        test::Subscriber late(broker, "zor/e2e/state", {"-C", "1"});
        QTRY_VERIFY(late.on("zor/e2e/state").value(0).contains(R"("hv_on":true)"));
        QVERIFY(late.on("zor/e2e/state")[0].contains(R"("console":"running")"));

        // The broker dies and returns: every poll step comes on time, and the
        // console reconnects and says it is online again.
        const int from = s.trace.size();
        broker.kill();
        QTRY_VERIFY(indicator.text().startsWith("MQTT: down"));
        QTest::qWait(1000);
        QVERIFY(broker.start());
        QTRY_COMPARE_WITH_TIMEOUT(indicator.text(), "MQTT: connected", 5000);
        QTest::qWait(500);
        // A step waits one tick after the reply before it (the reply's own time is
        // the simulator's): at most two ticks, with room for a busy machine.
        qint64 latest = 0;
        for (int i = from + 1; i < s.trace.size(); ++i) {
            const Exchange &before = s.trace.exchanges[i - 1];
            latest = std::max(latest, s.trace.exchanges[i].sentMs -
                                          (before.doneMs >= 0 ? before.doneMs : before.sentMs));
        }
        QVERIFY2(s.trace.size() - from > 20 && latest <= 2 * 66 + 250,
                 qPrintable(QString("a step came %1 ms after the reply before it").arg(latest)));
        test::Subscriber back(broker, "zor/e2e/state", {"-C", "1"});
        QTRY_VERIFY(back.on("zor/e2e/state").value(0).contains(R"("console":"running")"));
        QStringList noted;
        for (const EventLog::Entry &e : w.records.events.entries())
            noted << e.text.section(':', 0, 0);
        QCOMPARE(noted.filter("Telemetry"),
                 QStringList({"Telemetry connected to mqtt", "Telemetry connection lost",
                              "Telemetry cannot connect to mqtt", "Telemetry connected to mqtt"}));

        // A broker that refuses the console: "down" with its reason, and the poll goes on.
        broker.kill();
        QVERIFY(broker.start("allow_anonymous false"));
        // The label is cut to its room; its tip holds the reason whole.
        QTRY_VERIFY_WITH_TIMEOUT(
            indicator.toolTip().startsWith("MQTT: down (Connection Refused: not authorised.)\n"),
            5000);
        const quint64 cycles = w.state.pollCycle();
        QTRY_VERIFY(w.state.pollCycle() >= cycles + 2);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
