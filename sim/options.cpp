#include "sim/options.h"

#include <QCommandLineParser>
#include <cmath>

namespace zor::sim {

namespace {

std::optional<int> nonNegative(const QString &text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<SimOptions> parseOptions(const QStringList &arguments, QString *error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated ZOR high-voltage supply for the console, its tests and operator training.\n"
        "Operator commands are read from standard input; type help for the list.\n\n"
        "The tube: it holds off voltage up to the level it is conditioned to. Above it,\n"
        "arcs come at RATE x (e^(excess kV / 4) - 1) per second, at most 5 a second;\n"
        "running at a voltage lifts the level towards that voltage + 2 kV with the time\n"
        "constant of --tube-season, so a seasoning schedule makes the arcs die away.\n"
        "Idle (high voltage off) the level falls towards a quarter of full scale,\n"
        "e-fold in 90 days: --idle-days sets how long the tube lay idle before the start\n"
        "(200 days leaves an 80 kV tube holding about 27 kV). --time-factor F runs the\n"
        "tube's clock, its climb and its idling, F times faster than real time; arcs\n"
        "still come at their rate per real second.\n"
        "More arcs than the user options' arc count within their arc period trip the\n"
        "supply: high voltage off, arc fault latched until CLR; no-arc-detect mode never\n"
        "trips. After BAUD the pseudo-terminal answers only at the new line rate."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption pty(QStringLiteral("pty"),
                                 QStringLiteral("Serve a pseudo-terminal; LINK becomes a symbolic "
                                                "link to its slave, whose path is printed first."),
                                 QStringLiteral("LINK"));
    const QCommandLineOption tcp(QStringLiteral("tcp"),
                                 QStringLiteral("Listen on 127.0.0.1:PORT (0: any free port); "
                                                "prints \"tcp 127.0.0.1:PORT\"."),
                                 QStringLiteral("PORT"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Append every received payload to FILE."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption ramp(QStringLiteral("ramp-ms"),
                                  QStringLiteral("kV ramp time, full scale (default 100)."),
                                  QStringLiteral("MS"));
    const QCommandLineOption wdt(QStringLiteral("wdt-ms"),
                                 QStringLiteral("Watchdog timeout (default 2000)."),
                                 QStringLiteral("MS"));
    const QCommandLineOption status(QStringLiteral("status-ms"),
                                    QStringLiteral("Network status message period (default 1000)."),
                                    QStringLiteral("MS"));
    const QCommandLineOption noise(QStringLiteral("noise"),
                                   QStringLiteral("Monitor noise, +/- counts (default 2)."),
                                   QStringLiteral("COUNTS"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed for noise, corruption and the tube's arcs "
                                                 "(default 1); the same seed, the same run."),
                                  QStringLiteral("N"));
    const QCommandLineOption rating(QStringLiteral("rating"),
                                    QStringLiteral("Full scale as kV,mA (default 80,1.4)."),
                                    QStringLiteral("KV,MA"));
    const QCommandLineOption tube(
        QStringLiteral("tube"),
        QStringLiteral("The tube's conditioned level at start: seasoned (full scale, the "
                       "default; never arcs), cold (a quarter of full scale) or a kV value."),
        QStringLiteral("LEVEL"));
    const QCommandLineOption tubeArcs(
        QStringLiteral("tube-arcs"),
        QStringLiteral("Arc rate factor RATE, arcs per second (default 0.015)."),
        QStringLiteral("RATE"));
    const QCommandLineOption tubeSeason(
        QStringLiteral("tube-season"),
        QStringLiteral("Time constant in seconds of the level's climb towards the running "
                       "voltage (default 150)."),
        QStringLiteral("S"));
    const QCommandLineOption idleDays(
        QStringLiteral("idle-days"),
        QStringLiteral("Days the tube lay idle before the start (default 0)."),
        QStringLiteral("D"));
    const QCommandLineOption timeFactor(
        QStringLiteral("time-factor"),
        QStringLiteral("The tube's clock runs F times faster than real time (default 1)."),
        QStringLiteral("F"));
    const QCommandLineOption arcEvery(QStringLiteral("arc-every"),
                                      QStringLiteral("Arc every MS milliseconds while HV is on."),
                                      QStringLiteral("MS"));
    const QCommandLineOption interlock(QStringLiteral("interlock-open"),
                                       QStringLiteral("Start with the interlock open."));
    const QCommandLineOption fault(QStringLiteral("fault"),
                                   QStringLiteral("Start with a fault flag raised (repeatable): "
                                                  "arc temp ov uv oc uc wdt op."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Answer nothing."));
    const QCommandLineOption delay(QStringLiteral("delay"),
                                   QStringLiteral("Answer MS milliseconds late."),
                                   QStringLiteral("MS"));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Send each answer in two writes."));
    const QCommandLineOption corrupt(QStringLiteral("corrupt"),
                                     QStringLiteral("Garble that share of answers (0..1)."),
                                     QStringLiteral("FRACTION"));
    const QCommandLineOption wrong(
        QStringLiteral("wrong"), QStringLiteral("Answer with the reply to the previous command."));
    const QCommandLineOption noWdtt(QStringLiteral("no-wdtt-reply"),
                                    QStringLiteral("Never answer \"WDTT;\" (a unit may not)."));
    const QCommandLineOption late(
        QStringLiteral("late"),
        QStringLiteral("Answer command CMD (its name: VSET, WDTT, 10) MS milliseconds late "
                       "(repeatable)."),
        QStringLiteral("CMD=MS"));
    const QCommandLineOption mute(QStringLiteral("mute"),
                                  QStringLiteral("Never answer command CMD (repeatable)."),
                                  QStringLiteral("CMD"));
    const QCommandLineOption lineNoise(
        QStringLiteral("line-noise"),
        QStringLiteral("Put BYTES printable noise bytes on the line after each answer, between "
                       "frames."),
        QStringLiteral("BYTES"));
    const QCommandLineOption pace(
        QStringLiteral("pace"),
        QStringLiteral("Answers take the time their bytes need at BAUD (9600: about 1 ms a byte)."),
        QStringLiteral("BAUD"));
    parser.addOptions({pty,        tcp,    log,   ramp,     wdt,        status,   noise,
                       seed,       rating, tube,  tubeArcs, tubeSeason, arcEvery, interlock,
                       fault,      silent, delay, split,    corrupt,    wrong,    idleDays,
                       timeFactor, noWdtt, late,  mute,     lineNoise,  pace});

    // A bare --tube is a seasoned tube, so "--tube --idle-days 200" reads as said.
    QStringList args = arguments;
    for (qsizetype i = 1; i < args.size(); ++i)
        if (args[i] == QLatin1String("--tube") &&
            (i + 1 == args.size() || args[i + 1].startsWith(QLatin1String("--"))))
            args.insert(i + 1, QStringLiteral("seasoned"));
    if (!parser.parse(args)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    SimOptions out;
    out.helpText = parser.helpText();
    out.helpRequested = parser.isSet(QStringLiteral("help"));
    out.versionRequested = parser.isSet(QStringLiteral("version"));
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    const auto number = [&](const QCommandLineOption &option, int &target, int min) {
        if (!parser.isSet(option))
            return true;
        const auto value = nonNegative(parser.value(option));
        if (!value || *value < min) {
            *error = QStringLiteral("--%1 needs a whole number of at least %2")
                         .arg(option.names().first())
                         .arg(min);
            return false;
        }
        target = *value;
        return true;
    };
    if (parser.isSet(pty))
        out.ptyLink = parser.value(pty);
    if (parser.isSet(tcp)) {
        int port = 0;
        if (!number(tcp, port, 0))
            return std::nullopt;
        if (port > 65535) {
            *error = QStringLiteral("--tcp needs a port number");
            return std::nullopt;
        }
        out.tcpPort = static_cast<quint16>(port);
    }
    out.logPath = parser.value(log);
    int seedValue = static_cast<int>(out.model.seed);
    if (!number(ramp, out.model.kvRampMs, 0) || !number(wdt, out.model.watchdogMs, 1) ||
        !number(status, out.statusPeriodMs, 1) || !number(noise, out.model.noiseCounts, 0) ||
        !number(seed, seedValue, 0))
        return std::nullopt;
    out.model.seed = static_cast<quint32>(seedValue);
    if (!number(lineNoise, out.unit.lineNoise, 0) || !number(pace, out.unit.paceBaud, 1))
        return std::nullopt;
    for (const QString &name : parser.values(mute))
        out.unit.mute.insert(name.toLatin1());
    if (parser.isSet(noWdtt))
        out.unit.mute.insert("WDTT");
    for (const QString &rule : parser.values(late)) {
        const QStringList parts = rule.split('=');
        const auto ms = parts.size() == 2 ? nonNegative(parts[1]) : std::nullopt;
        if (!ms || parts[0].isEmpty()) {
            *error = QStringLiteral("--late needs CMD=MS, for example VSET=300");
            return std::nullopt;
        }
        out.unit.lateMs.insert(parts[0].toLatin1(), *ms);
    }
    if (parser.isSet(rating)) {
        const QStringList parts = parser.value(rating).split(',');
        bool kvOk = false;
        bool maOk = false;
        const double kv = parts.size() == 2 ? parts[0].toDouble(&kvOk) : 0;
        const double ma = parts.size() == 2 ? parts[1].toDouble(&maOk) : 0;
        if (!kvOk || !maOk || kv <= 0 || kv >= 1000 || ma <= 0 || ma >= 10) {
            *error = QStringLiteral("--rating needs KV,MA, for example 80,1.4");
            return std::nullopt;
        }
        out.model.fullScaleKv = static_cast<int>(std::lround(kv * 100));
        out.model.fullScaleMa = static_cast<int>(std::lround(ma * 1000));
    }
    auto &tubeSettings = out.model.tube;
    const QString level = parser.value(tube);
    bool levelOk = true;
    if (level == QLatin1String("cold")) {
        tubeSettings.conditionedKv = out.model.fullScaleKv / 400.0;
    } else if (!level.isEmpty() && level != QLatin1String("seasoned")) {
        tubeSettings.conditionedKv = level.toDouble(&levelOk);
        levelOk = levelOk && tubeSettings.conditionedKv >= 0;
    }
    const auto positive = [&](const QCommandLineOption &option, double &target) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        target = parser.value(option).toDouble(&ok);
        return ok && target >= 0;
    };
    if (!levelOk || !positive(tubeArcs, tubeSettings.arcRate) ||
        !positive(tubeSeason, tubeSettings.seasonS) || !positive(idleDays, tubeSettings.idleDays) ||
        !positive(timeFactor, tubeSettings.timeFactor) || tubeSettings.timeFactor <= 0) {
        *error = QStringLiteral("--tube needs cold, seasoned or kV; --tube-arcs, --tube-season "
                                "and --idle-days need a number of at least 0, --time-factor one "
                                "above 0");
        return std::nullopt;
    }

    // The remaining flags are the operator commands of the same name.
    QStringList &cmds = out.startupCommands;
    if (parser.isSet(interlock))
        cmds << QStringLiteral("interlock open");
    for (const QString &name : parser.values(fault))
        cmds << QStringLiteral("fault ") + name;
    if (parser.isSet(silent))
        cmds << QStringLiteral("silent on");
    if (parser.isSet(delay))
        cmds << QStringLiteral("delay ") + parser.value(delay);
    if (parser.isSet(split))
        cmds << QStringLiteral("split on");
    if (parser.isSet(corrupt))
        cmds << QStringLiteral("corrupt ") + parser.value(corrupt);
    if (parser.isSet(wrong))
        cmds << QStringLiteral("wrong on");
    if (parser.isSet(arcEvery))
        cmds << QStringLiteral("arc-every ") + parser.value(arcEvery);
    return out;
}

} // namespace zor::sim
