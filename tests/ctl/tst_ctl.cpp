#include "broker.h"
#include "datarows.h"
#include "platform/isotime.h"
#include "simlauncher.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

using zor::test::columns;
using zor::test::row;
using zor::tools::SimLauncher;
using namespace Qt::StringLiterals;

namespace {

using Wire = QByteArrayList;

const Wire Scaling{"SLVR ;", "SLIR ;"};
const Wire Cycle{"VMON;", "IMON;", "FMON;", "VSET;",  "ISET;",  "STAT;",
                 "FLT;",  "LVPS;", "TEMP;", "SLVR ;", "SLIR ;", "WDTT;"};
const Wire Identity{"HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"};

} // namespace

// zor-ctl as a script runs it, against the real simulator over a
// pseudo-terminal and over loopback TCP; the simulator's --log is the wire.
class TestCtl : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<SimLauncher> sim_;

    QString logPath() const { return dir_.filePath(QStringLiteral("sim.log")); }

    // A fresh simulator; returns zor-ctl's link options for it.
    QStringList startSim(bool tcp, const QStringList &extra) {
        sim_ = std::make_unique<SimLauncher>();
        QFile::remove(logPath());
        const QString link = dir_.filePath(QStringLiteral("ttyZOR"));
        QString error;
        const QStringList args = QStringList{"--pty", link,    "--noise", "0",     "--ramp-ms",
                                             "50",    "--log", logPath(), "--tcp", "0"} +
                                 extra;
        if (!sim_->start(args, 2, &error))
            qWarning("%s", qPrintable(error));
        if (tcp)
            return {"--host", QStringLiteral("127.0.0.1:%1").arg(sim_->tcpPort())};
        return {"--port", link};
    }

    QList<std::pair<qint64, QByteArray>> logged() const { return zor::tools::readLog(logPath()); }
    Wire sent() const {
        Wire out;
        for (const auto &[ms, payload] : logged())
            out << payload;
        return out;
    }

    static QString ctl() { return qEnvironmentVariable("ZOR_CTL"); }

    // zor-ctl on a fresh simulator, unless the arguments name their own link.
    void run(QProcess &process, bool tcp, const QString &sim, const QString &argText) {
        const QStringList link = startSim(tcp, words(sim)), args = words(argText);
        process.start(
            ctl(), args.first().startsWith("--") && args.first() != "--json" ? args : link + args);
        QVERIFY(process.waitForFinished(15000));
    }
    // "~" is a blank inside one argument.
    static QStringList words(const QString &text) {
        return text.split(' ', Qt::SkipEmptyParts).replaceInStrings("~", " ");
    }
    // A schedule that could run: a refusal must come from something else.
    QString validSchedule() {
        QFile f(dir_.filePath("valid.json"));
        if (f.open(QIODevice::WriteOnly))
            f.write(R"({"name": "V", "steps": [{"kv": 20, "ma": 0.35, "seconds": 2}]})");
        return f.fileName();
    }

private slots:
    void initTestCase() {
        if (SimLauncher::program().isEmpty() || ctl().isEmpty())
            QSKIP("ZOR_SIM or ZOR_CTL is not set");
        QVERIFY(dir_.isValid());
    }

    void commands_data() {
        columns<bool, QString, QString, int, QString, Wire>("tcp", "sim", "args", "code", "out",
                                                            "wire");
        const QString none = "^$";
        row("identity", false, "", "identity", 0,
            "^hardware  A01\nmodel     ZOR80HR\nsoftware  ZORSIM 1.00\n"
            "build     0103\nserial    100000001-A00001\n$",
            Identity);
        row("identity json", true, "", "--json identity", 0,
            "^\\{\"build\":\"0103\",\"command\":\"identity\",\"hardware\":\"A01\","
            "\"model\":\"ZOR80HR\",\"serial\":\"100000001-A00001\","
            "\"software\":\"ZORSIM 1.00\"\\}\n$",
            Identity);
        // 40 kV of 80 is 2047.5 counts: halves go to the even neighbour.
        row("set then status", false, "", "set kv 40 then status", 0,
            "^kV setpoint 40.010 kV \\(2048 counts\\): taken\n.*lvps +-15.000 V\n"
            "temperature +24.98 degC\nkv_setpoint +40.010 kV\nma_setpoint +0.000 mA\n"
            "hv_switch +no\nhv_on +no\n(.*_ok +yes\n){8}ps_fault +\\?\ninterlock_open +no\n",
            Scaling + Wire{"VREF 2048;"} + Scaling + Cycle);
        row("status json", true, "--interlock-open", "--json status", 0,
            "^\\{\"arc_count\":0,\"arc_ok\":true,\"command\":\"status\",.*"
            "\"interlock_open\":true,\"kv_monitor\":0,\"kv_setpoint\":0,"
            "\"lvps\":-15,.*\"temperature\":24.98,\"time\":\"\\d{4}-.*\\}\n$",
            Scaling + Cycle);
        row("set mA json", false, "", "--json set ma 0.7", 0,
            "^\\{\"channel\":\"ma\",\"command\":\"set\",\"count\":2048,"
            "\"result\":\"taken\",\"value\":0.7\\}\n$",
            Scaling + Wire{"IREF 2048;"});
        row("full scale is allowed", true, "", "set kv 80", 0,
            "^kV setpoint 80.000 kV \\(4095 counts\\): taken\n$", Scaling + Wire{"VREF 4095;"});
        row("above full scale", true, "", "set kv 80.01", 2, none, Scaling);
        row("hv on unconfirmed", false, "", "hv on", 2, none, Wire{});
        row("send an off needs no --confirm", false, "", "send ENBL~0;", 0, "^<STX>;",
            Wire{"ENBL 0;"});
        // A refusal is followed by a status read that names its cause.
        row("hv on refused", false, "--interlock-open", "hv on --confirm", 4,
            "^High voltage on: refused\n$", Wire{"ENBL 1;", "STAT;", "FLT;"});
        row("hv on then off", true, "", "hv on --confirm then hv off", 0,
            "^High voltage on: taken\nHigh voltage off: taken\n$", Wire{"ENBL 1;", "ENBL 0;"});
        row("shutdown", true, "", "shutdown", 0,
            "^Setpoints zeroed: 10,0, 11,0, 12,0, 13,0,\nLocal control: taken\n$",
            Wire{"ENBL 0;", "99,0,", "10,0,", "11,0,", "12,0,", "13,0,"});
        row("shutdown silent", false, "--silent", "shutdown", 3, "^Setpoints zeroed.*no reply\n$",
            Wire{"ENBL 0;", "99,0,", "10,0,", "11,0,", "12,0,", "13,0,"});
        row("send serial", false, "", "send VSET;", 0, "^<STX>0;.<CR><LF>\n$", Wire{"VSET;"});
        row("send tcp json", true, "", "--json send HWVR;", 0,
            "^\\{\"command\":\"send\",\"payload\":\"HWVR;\","
            "\"reply\":\"<STX>A01;<ETX>\"\\}\n$",
            Wire{"HWVR;"});
        row("send framing", false, "", "send VSET;\r", 2, none, Wire{});
        row("silent supply", true, "--silent", "--json hv off", 3,
            "^\\{\"command\":\"hv\",\"on\":false,\"result\":\"no reply\"\\}\n$", Wire{"ENBL 0;"});
        row("watch csv", false, "", "watch --count 2 --interval 500 --csv", 0,
            "^time \\[ISO 8601 with UTC offset\\],HV monitor \\[kV\\],mA monitor \\[mA\\],"
            "filament monitor \\[A\\],LVPS \\[V\\],temperature \\[degC\\],.*,"
            "failed replies "
            "\\[replies\\]\n(\\d{4}-\\d\\d-\\d\\dT[\\d:.]+[+-]\\d\\d:\\d\\d,0.000,0.000,"
            "0.000,-15.000,24.98,0.000,0.000,0,0(,1){8},,0,0,0\n){2}$",
            Scaling + Cycle + Cycle);
        row("watch people", false, "--fault temp --interlock-open", "watch --count 1", 0,
            "^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  0.000 kV  0.000 mA  fil 0.000 A  set 0.000 kV "
            "0.000 mA  hv off  interlock open  faults temp  arcs 0\n$",
            Scaling + Cycle);
        row("reset then shutdown json", true, "--fault temp", "--json reset then shutdown", 0,
            "^\\{\"clearing\":false,\"command\":\"reset\",\"result\":\"taken\"\\}\n"
            "\\{\"command\":\"shutdown\",\"result\":\"taken\",\"zeroed\":"
            "\\[\"10,0,\",\"11,0,\",\"12,0,\",\"13,0,\"\\]\\}\n$",
            Wire{"CLR;", "ENBL 0;", "99,0,", "10,0,", "11,0,", "12,0,", "13,0,"});
        const QString missing = dir_.filePath("missing");
        row("missing port", false, "", "--port " + missing + " status", 3, none, Wire{});
        row("closed tcp port", false, "", "--host 127.0.0.1:1 status", 3, none, Wire{});
        // Link options are the console's own (its command-line table).
        row("unknown command", false, "", "status then dance", 2, none, Wire{});
        row("negative value", false, "", "set ma -1", 2, none, Wire{});
        row("refused json", false, "--fault temp", "--json hv on --confirm", 4,
            "^\\{\"command\":\"hv\",\"on\":true,\"reason\":\"fault temp\",\"result\":"
            "\"refused\"\\}\n$",
            Wire{"ENBL 1;", "STAT;", "FLT;"});
        row("malformed broker", false, "", "watch --mqtt mqtt//broker", 2, none, Wire{});
        // Units as the protocol allows them: each reply still reaches its own command.
        const QString setStatus =
            "^kV setpoint 40.010 kV \\(2048 counts\\): taken\n.*kv_setpoint +40.010 kV\n"
            "ma_setpoint +0.000 mA\nhv_switch +no\n";
        const Wire setWire = Scaling + Wire{"VREF 2048;"} + Scaling + Cycle;
        const QString watched =
            "^time [^\n]+\n(\\d{4}-[^,]+,0.000,0.000,0.000,-15.000,24.98,0.000,0.000,0,0"
            "(,1){8},,0,0,0\n){3}$";
        const QString watch = "watch --count 3 --interval 500 --csv";
        for (const char *unit : {"--no-wdtt-reply", "--late WDTT=150", "--mute WDTT"})
            row(unit, false, unit, watch, 0, watched, Scaling + Cycle + Cycle + Cycle);
        for (const char *unit : {"--late VSET=300", "--late VREF=300 --line-noise 6",
                                 "--line-noise 12", "--pace 9600"})
            row(unit, false, unit, "set kv 40 then status", 0, setStatus, setWire);
        row("--mute HWVR", false, "--mute HWVR", "identity", 3, none, Wire{"HWVR;"});
    }
    void commands() {
        auto [tcp, sim, argText, code, out, wire] =
            zor::test::fetch<bool, QString, QString, int, QString, Wire>("tcp", "sim", "args",
                                                                         "code", "out", "wire");
        QProcess process;
        run(process, tcp, sim, argText);
        const QString printed = QString::fromUtf8(process.readAllStandardOutput());
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(QRegularExpression(out, QRegularExpression::DotMatchesEverythingOption)
                     .match(printed)
                     .hasMatch(),
                 qPrintable(printed));
        QVERIFY2(process.exitCode() == code, qPrintable(errors));
        // Every failure says why on stderr, and only a failure does; with
        // --json as one object that carries the exit code.
        QCOMPARE(errors.isEmpty(), code == 0);
        if (code != 0 && argText.contains("--json")) {
            const QJsonObject error = QJsonDocument::fromJson(errors.toUtf8()).object();
            QVERIFY2(errors.count('\n') == 1 && !error.value("error").toString().isEmpty() &&
                         error.value("exit").toInt() == code,
                     qPrintable(errors));
        }
        QTRY_COMPARE_WITH_TIMEOUT(sent(), wire, 2000);
        if (wire.contains("99,0,")) {
            // Two exit ticks to the first zero, then a tick apart each (less arrival jitter).
            const auto log = logged().mid(wire.indexOf("99,0,"));
            QVERIFY(log[1].first - log[0].first >= 140);
            for (int i = 2; i < log.size(); ++i)
                QVERIFY(log[i].first - log[i - 1].first >= 50);
            QVERIFY(log.last().first - log[1].first >= 3 * 75 - 10);
        }
    }

    // What a failure says on stderr, for people and with --json.
    void errors_data() {
        columns<QString, QString, int, QString>("sim", "args", "code", "err");
        row("refusal names the interlock", "--interlock-open", "hv on --confirm", 4,
            "^zor-ctl: hv: the supply refused \\(interlock open\\)\n$");
        row("refusal names the faults", "--fault temp --interlock-open", "--json hv on --confirm",
            4,
            "^\\{\"error\":\"hv: the supply refused \\(interlock open; fault temp\\)\","
            "\"exit\":4\\}\n$");
        row("negative value", "", "set ma -1", 2,
            "^zor-ctl: set ma -1: must not be negative\nTry 'zor-ctl --help'.\n$");
        row("negative value json", "", "set kv -0.5 --json", 2,
            "^\\{\"error\":\"set kv -0.5: must not be negative\",\"exit\":2\\}\n$");
        row("not a number", "", "set kv 1x", 2, "^zor-ctl: set: '1x' is not a number\n");
        row("interval below the cycle", "", "watch --interval 200", 2,
            "^zor-ctl: watch: --interval takes 500 to 86400000 ms: one poll cycle takes about "
            "470 ms\n");
        row("usage json", "", "--json status then dance", 2,
            "^\\{\"error\":\"not a command: dance\",\"exit\":2\\}\n$");
        row("season unconfirmed", "", "season " + validSchedule(), 2,
            "zor-ctl: season switches radiation on: add --confirm\n");
        row("send ENBL 1 unconfirmed", "", "send ENBL~1;", 2,
            "zor-ctl: send \"ENBL 1;\" switches radiation on: add --confirm\n");
        row("no answer json", "--silent", "--json status", 3,
            "^\\{\"error\":\"status: the supply did not answer\",\"exit\":3\\}\n$");
    }
    void errors() {
        auto [sim, argText, code, err] =
            zor::test::fetch<QString, QString, int, QString>("sim", "args", "code", "err");
        QProcess process;
        run(process, false, sim, argText);
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(QRegularExpression(err).match(errors).hasMatch(), qPrintable(errors));
        QCOMPARE(process.exitCode(), code);
    }

    // Ctrl+C, a hang-up, or a supply that goes away, during a watch after
    // "hv on": the high voltage goes off (when there is anyone left to hear
    // it) and the tool ends. Switched on by an earlier run, it is left on.
    void endsAWatch_data() {
        columns<bool, int, bool, int, QString>("tcp", "signal", "onBefore", "code", "err");
        row("Ctrl+C serial", false, SIGINT, false, 130, u"switched off"_s);
        row("Ctrl+C tcp", true, SIGINT, false, 130, u"switched off"_s);
        row("hang-up serial", false, SIGHUP, false, 129, u"switched off"_s);
        row("Ctrl+C, on before the run", false, SIGINT, true, 130,
            u"zor-ctl: interrupted; the high voltage was on before this run and is left on\n"_s);
        row("supply gone serial", false, 0, false, 3, u"did not answer"_s);
        row("supply gone tcp", true, 0, false, 3, u"did not answer"_s);
    }
    void endsAWatch() {
        auto [tcp, signal, onBefore, code, err] = zor::test::fetch<bool, int, bool, int, QString>(
            "tcp", "signal", "onBefore", "code", "err");
        const QStringList link = startSim(tcp, {});
        QProcess process;
        if (onBefore) {
            process.start(ctl(), link + QStringList{"hv", "on", "--confirm"});
            QVERIFY(process.waitForFinished(5000));
        }
        process.start(
            ctl(), link +
                       (onBefore ? QStringList{} : QStringList{"hv", "on", "--confirm", "then"}) +
                       QStringList{"watch", "--interval", "500"});
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT((printed += process.readAllStandardOutput()).contains(" hv on "),
                                 5000);
        const int before = sent().size();
        QElapsedTimer clock;
        clock.start();
        if (!signal)
            sim_.reset();
        else
            ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), code);
        // Within the reply limit of the exchange under way and the one after it.
        QVERIFY(clock.elapsed() < 2000 + 250 + 500);
        // The poll stops and the switch-off is the last thing sent.
        if (signal)
            QTRY_VERIFY_WITH_TIMEOUT(sent().mid(before).endsWith("ENBL 0;") != onBefore, 2000);
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(errors.contains(err), qPrintable(errors));
    }

    // Ctrl+C while a season reads the unit (its replies slowed): the run is
    // never started and nothing is switched on.
    void interruptBeforeTheOn() {
        QProcess process;
        process.start(ctl(), startSim(false, {"--delay", "300"}) +
                                 QStringList{"season", validSchedule(), "--confirm", "--report-dir",
                                             dir_.filePath("cut")});
        QTRY_VERIFY_WITH_TIMEOUT(sent().contains("HWVR;"), 5000);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 130);
        QTest::qWait(300);
        QVERIFY(!sent().contains("ENBL 1;"));
    }

    // A three-step schedule of 2 s steps run to its end, ended by Ctrl+C, and
    // ended by a supply gone silent: the console's wire order, then the record
    // and report, whose path is printed last.
    void season_data() {
        columns<QString, int, QString, Wire>("cut", "code", "end", "wire");
        const Wire on{"ENBL 1;"}, zeros{"IREF 0;", "VREF 0;", "IREF 0;"};
        const Wire steps{"IREF 0;",    "VREF 1024;", "IREF 1024;", "IREF 0;",   "VREF 2048;",
                         "IREF 2048;", "IREF 0;",    "VREF 3071;", "IREF 3071;"};
        row("completed", "", 0, "completed", on + steps + zeros + Wire{"ENBL 0;"});
        row("Ctrl+C", "Step 2", 130, "stopped", on + steps.mid(0, 6) + Wire{"ENBL 0;"} + zeros);
        row("supply gone", "Step 1", 3, "link lost", on + steps.mid(0, 3));
    }
    void season() {
        auto [cut, code, end, wire] =
            zor::test::fetch<QString, int, QString, Wire>("cut", "code", "end", "wire");
        const QString file = dir_.filePath("three.json"), reports = dir_.filePath(cut + "reports");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"name": "Three", "steps": [{"kv": 20, "ma": 0.35, "seconds": 2},
            {"kv": 40, "ma": 0.7, "seconds": 2}, {"kv": 60, "ma": 1.05, "seconds": 2}]})");
        f.close();
        QProcess process;
        process.start(ctl(), startSim(false, {}) +
                                 QStringList{"season", file, "--confirm", "--report-dir", reports});
        QByteArray printed;
        if (!cut.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(
                (printed += process.readAllStandardOutput()).contains(cut.toUtf8()), 10000);
            // Once the step's setpoints are out: a stop cuts short any not yet sent.
            const QByteArray last = code == 3 ? wire.last() : wire[wire.indexOf("ENBL 0;") - 1];
            QTRY_VERIFY_WITH_TIMEOUT(sent().contains(last), 3000);
            if (code == 3)
                sim_.reset();
            else
                ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        }
        QVERIFY(process.waitForFinished(20000));
        printed += process.readAllStandardOutput();
        QCOMPARE(process.exitCode(), code);
        Wire hv;
        for (const QByteArray &p : sent())
            if (p.startsWith("ENBL") || p.contains("REF"))
                hv << p;
        QCOMPARE(hv, wire);
        const QString report = QString::fromUtf8(printed).trimmed().section('\n', -1);
        QVERIFY2(report.startsWith(reports) && report.endsWith(".pdf") && QFile::exists(report),
                 printed.constData());
        QFile twin(report.chopped(4) + ".json");
        QVERIFY(twin.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(twin.readAll())["end"].toString(), end);
    }

    // history --json over records written here: per tube, the figures worked
    // out by hand. Runs by name are by age; one tube or all; no supply needed.
    void history() {
        const QString folder = dir_.filePath("history");
        QDir().mkpath(folder);
        // JSON written with ' for ".
        const auto json = [](QByteArray text) { return text.replace('\'', '"'); };
        const auto record = [&](const char *name, const QByteArrayList &lines) {
            QFile f(folder + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(json(lines.join('\n') + '\n'));
        };
        const auto step = [](int n, int kv, int planned, int seconds, int arcs, double held,
                             double fil) {
            return QStringLiteral("{'record':'step','step':%1,'planned':{'kv':%2,'ma':0.2,"
                                  "'seconds':%3},'seconds':%4,'arcs':%5,'kv':{'mean':%6},"
                                  "'fil':{'mean':%7},'points':[[1,%2,0.2]]}")
                .arg(n)
                .arg(kv)
                .arg(planned)
                .arg(seconds)
                .arg(arcs)
                .arg(held)
                .arg(fil)
                .toUtf8();
        };
        const auto run = [](const char *tube, const char *started) {
            return QByteArray("{'record':'run','kind':'seasoning','tube':'") + tube +
                   "','started':'" + started + "'}";
        };
        record("20260110-090000-seasoning.jsonl",
               {run("T7", "2026-01-10T10:00:00+01:00"), step(1, 30, 300, 300, 1, 30.1, 3.0),
                step(2, 45, 300, 300, 3, 44.9, 3.2), step(3, 48, 100, 100, 1, 47.9, 3.4),
                "{'record':'end','end':'completed','seconds':700}"});
        record("20260210-090000-seasoning.jsonl",
               {run("T7", "2026-02-10T10:00:00+01:00"), step(1, 30, 300, 300, 0, 30.0, 3.1),
                step(2, 45, 300, 50, 1, 44.0, 3.3),
                "{'record':'end','end':'stopped','seconds':350}"});
        record("20260301-080000-seasoning.jsonl",
               {run("T9", "2026-03-01T09:00:00+01:00"),
                "{'record':'end','end':'X-ray off','seconds':5}"});
        // 30 kV band: 1 arc in 300 s, then 0 in 300 s; 40 kV band: 4 in 400 s, then 1 in 50 s.
        const QJsonValue t7 =
            QJsonDocument::fromJson(
                json(
                    "{'tube':'T7','lastAtHighVoltage':'2026-02-10T10:05:50.000+01:00','runs':["
                    "{'started':'2026-01-10T10:00:00.000+01:00','kind':'seasoning',"
                    "'end':'completed','seconds':700,'arcsPerHour':{'30':12,'40':36},'"
                    "highestKvHeld':47.9,"
                    "'completeSeconds':700,'filamentAtTop':3.4},"
                    "{'started':'2026-02-10T10:00:00.000+01:00','kind':'seasoning','end':'stopped',"
                    "'seconds':350,'arcsPerHour':{'30':0,'40':72},'highestKvHeld':30,"
                    "'completeSeconds':null,'filamentAtTop':3.3}]}"))
                .object();
        const QJsonValue t9 =
            QJsonDocument::fromJson(
                json("{'tube':'T9','lastAtHighVoltage':null,'runs':[{'started':'2026-03-01T09:00:"
                     "00.000+01:00',"
                     "'kind':'seasoning','end':'X-ray off','seconds':5,'arcsPerHour':{},"
                     "'highestKvHeld':null,'completeSeconds':null,'filamentAtTop':null}]}"))
                .object();
        const auto history = [&](const QStringList &tube) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TZ", "CET-1");
            p.setProcessEnvironment(env);
            p.start(ctl(),
                    QStringList{"history"} + tube + QStringList{"--json", "--report-dir", folder});
            p.waitForFinished(10000);
            return std::pair(p.exitCode(),
                             QJsonDocument::fromJson(p.readAllStandardOutput()).object());
        };
        QCOMPARE(history({}), std::pair(0, QJsonObject{{"tubes", QJsonArray{t7, t9}}}));
        QCOMPARE(history({"T7"}), std::pair(0, QJsonObject{{"tubes", QJsonArray{t7}}}));
        QCOMPARE(history({"T8"}).first, 2);
    }

    // Rules on a tube idle for 200 days whose clock runs ten times real time:
    // the run backs off at least once and ends within a minute, and the
    // report's text holds the summary.
    void adaptiveSeason() {
        const QString file = dir_.filePath("shelf.json"), reports = dir_.filePath("adaptive");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"name": "Shelf", "steps": [{"kv": 30, "ma": 0.2, "seconds": 3},
            {"kv": 45, "ma": 0.3, "seconds": 4}], "adaptive": {"window_s": 10, "back_above": 0,
            "dwell_s": 2, "max_backoffs": 6, "max_arcs": 30}})");
        f.close();
        QProcess process;
        process.start(ctl(), startSim(false, words("--tube --idle-days 200 --time-factor 10")) +
                                 QStringList{"season", file, "--confirm", "--report-dir", reports});
        QVERIFY(process.waitForFinished(60000)); // within a minute of its start
        const QByteArray printed = process.readAllStandardOutput();
        const QString report = QString::fromUtf8(printed).trimmed().section('\n', -1);
        QFile record(report.chopped(4) + ".jsonl");
        QVERIFY2(record.open(QIODevice::ReadOnly), printed.constData());
        QVERIFY(record.readAll().contains(R"("decision":"back")"));
        QProcess text;
        text.start("pdftotext", {"-layout", report, "-"});
        QVERIFY(text.waitForFinished(10000));
        // Ligatures ("ff") come out as one character.
        const QString pdf = QString::fromUtf8(text.readAllStandardOutput())
                                .normalized(QString::NormalizationForm_KC);
        QVERIFY2(QRegularExpression("Highest kV held for a full step: .*\n"
                                    "Time to the last step: \\d+ s\n"
                                    "Arcs per step: 1: \\d+, 2: \\d+\n"
                                    "Back-offs: [1-6]\n")
                     .match(pdf)
                     .hasMatch(),
                 qPrintable(pdf));
    }

    // watch --mqtt under the supply's serial number: availability goes online, then
    // offline when the tool ends (its last state saying so) or is killed (the last
    // will; the state stays valid JSON, as it was).
    void publishesAWatch_data() {
        columns<int>("signal");
        row("Ctrl+C", int(SIGINT));
        row("killed", int(SIGKILL));
    }
    void publishesAWatch() {
        QFETCH(int, signal);
        zor::test::Broker broker;
        QVERIFY(broker.start());
        zor::test::Subscriber sub(broker, "zor/100000001-A00001/#");
        QVERIFY(sub.subscribed());
        QProcess process;
        process.start(ctl(), startSim(false, {}) +
                                 QStringList{"watch", "--interval", "500", "--mqtt", broker.url()});
        const QString t = "zor/100000001-A00001/";
        QTRY_VERIFY_WITH_TIMEOUT(sub.on(t + "sample").size() >= 2, 10000);
        QVERIFY(sub.on(t + "state")[0].contains(R"("model":"ZOR80HR")"));
        const QString before = sub.on(t + "state").constLast();
        ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QTRY_COMPARE(sub.on(t + "availability"), QStringList({"online", "offline"}));
        zor::test::Subscriber late(broker, t + "state", {"-C", "1"});
        QTRY_COMPARE(late.on(t + "state").size(), 1);
        const QJsonObject last = QJsonDocument::fromJson(late.on(t + "state")[0].toUtf8()).object();
        QVERIFY(zor::parseIsoTime(last["time"].toString()));
        if (signal == SIGKILL)
            QCOMPARE(late.on(t + "state")[0], before);
        else
            QCOMPARE(last["console"].toString(), "ended");
    }

    // hv on, set kv 30 and Ctrl+C against the simulator leave three entries,
    // the off that Ctrl+C sent last; an edited line breaks the chain, and
    // audit verify exits 1 naming it.
    void auditTrail() {
        QTemporaryDir data;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", data.path());
        const auto ctlRun = [&](QProcess &p, const QStringList &args) {
            p.setProcessEnvironment(env);
            p.start(ctl(), args);
        };
        QProcess session;
        ctlRun(session, startSim(false, {}) + words("hv on --confirm then set kv 30 then watch"));
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT(
            (printed += session.readAllStandardOutput()).contains("kV setpoint"), 5000);
        ::kill(static_cast<pid_t>(session.processId()), SIGINT);
        QVERIFY(session.waitForFinished(5000));
        QCOMPARE(session.exitCode(), 130);
        QProcess list;
        ctlRun(list, words("audit list --json"));
        QVERIFY(list.waitForFinished(5000));
        QStringList entries;
        for (const QByteArray &line : list.readAllStandardOutput().trimmed().split('\n')) {
            const QJsonObject e = QJsonDocument::fromJson(line).object();
            entries << QStringList{e["program"].toString(), e["action"].toString(),
                                   e["after"].toString(), e["outcome"].toString()}
                           .join('|');
        }
        QCOMPARE(entries, (QStringList{"zor-ctl|HV on|on|taken",
                                       "zor-ctl|kV program|30.007 kV (1536 counts)|taken",
                                       "zor-ctl|HV off|off|taken"}));
        const QString month = data.filePath("ZOR/ZOR80HR Interface/audit/") +
                              QDateTime::currentDateTimeUtc().toString("yyyy-MM") + ".jsonl";
        QFile file(month);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray text = file.readAll().replace("30.007 kV", "20.000 kV");
        QVERIFY(file.seek(0) && file.write(text) == text.size());
        file.close();
        QProcess verify;
        ctlRun(verify, words("audit verify"));
        QVERIFY(verify.waitForFinished(5000));
        QCOMPARE(verify.exitCode(), 1);
        QVERIFY(verify.readAllStandardError().contains(".jsonl line 2: its hash does not match"));
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
