#include "sim/operatorcommands.h"

#include "sim/simulator.h"

#include <QStringList>

namespace zor::sim {

namespace {

OperatorCommands::Result error(const QString &text) {
    return {false, false, text};
}
// Every command answers, so whoever drives the prompt knows when it took effect.
OperatorCommands::Result done(const QString &text = QStringLiteral("ok")) {
    return {true, false, text};
}

std::optional<bool> onOff(const QStringList &words) {
    if (words.size() != 2)
        return std::nullopt;
    if (words[1] == QLatin1String("on"))
        return true;
    if (words[1] == QLatin1String("off"))
        return false;
    return std::nullopt;
}

std::optional<int> milliseconds(const QStringList &words) {
    bool ok = false;
    const int ms = words.size() == 2 ? words[1].toInt(&ok) : -1;
    if (!ok || ms < 0)
        return std::nullopt;
    return ms;
}

} // namespace

QString OperatorCommands::help() {
    return QStringLiteral(
        "help                     this list\n"
        "state                    print the supply's state and the link counters\n"
        "arc                      arc once (needs high voltage)\n"
        "arc-every MS             arc every MS milliseconds, 0 to stop\n"
        "interlock open|close     open (drops high voltage) or close the interlock\n"
        "fault NAME               raise a fault flag: arc temp ov uv oc uc wdt op\n"
        "clear NAME|all           clear one fault flag, or all of them\n"
        "silent on|off            stop answering (and stop status messages)\n"
        "delay MS                 answer MS milliseconds late, 0 for at once\n"
        "split on|off             send each answer in two writes\n"
        "corrupt FRACTION         garble one character in that share of answers (0..1)\n"
        "wrong on|off             answer with the reply to the previous command\n"
        "quit                     end the simulator");
}

OperatorCommands::Result OperatorCommands::run(const QString &line) {
    const QStringList words = line.simplified().split(' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return done(QString());
    const QString &cmd = words.first();
    DeviceModel &model = sim_.model();
    auto &shaping = sim_.shaper().settings();
    const qint64 now = sim_.now();

    if (cmd == QLatin1String("help"))
        return done(help());
    if (cmd == QLatin1String("state"))
        return done(sim_.describe());
    if (cmd == QLatin1String("quit") || cmd == QLatin1String("exit"))
        return {true, true, {}};
    if (cmd == QLatin1String("arc") && words.size() == 1) {
        return model.triggerArc(now) ? done() : error(QStringLiteral("no high voltage, no arc"));
    }
    if (cmd == QLatin1String("arc-every")) {
        const auto ms = milliseconds(words);
        if (!ms)
            return error(QStringLiteral("usage: arc-every MS"));
        sim_.setArcInterval(*ms);
        return done();
    }
    if (cmd == QLatin1String("interlock") && words.size() == 2 &&
        (words[1] == QLatin1String("open") || words[1] == QLatin1String("close"))) {
        model.setInterlockOpen(words[1] == QLatin1String("open"), now);
        return done();
    }
    if (cmd == QLatin1String("fault") && words.size() == 2) {
        const auto fault = faultFromName(words[1]);
        if (!fault)
            return error(QStringLiteral("unknown fault %1").arg(words[1]));
        model.setFault(*fault, true, now);
        return done();
    }
    if (cmd == QLatin1String("clear") && words.size() == 2) {
        if (words[1] == QLatin1String("all")) {
            model.clearFaults(now);
            return done();
        }
        const auto fault = faultFromName(words[1]);
        if (!fault)
            return error(QStringLiteral("unknown fault %1").arg(words[1]));
        model.setFault(*fault, false, now);
        return done();
    }
    if (cmd == QLatin1String("silent") || cmd == QLatin1String("split") ||
        cmd == QLatin1String("wrong")) {
        const auto on = onOff(words);
        if (!on)
            return error(QStringLiteral("usage: %1 on|off").arg(cmd));
        (cmd == QLatin1String("silent")  ? shaping.silent
         : cmd == QLatin1String("split") ? shaping.split
                                         : shaping.wrongAnswer) = *on;
        return done();
    }
    if (cmd == QLatin1String("delay")) {
        const auto ms = milliseconds(words);
        if (!ms)
            return error(QStringLiteral("usage: delay MS"));
        shaping.delayMs = *ms;
        return done();
    }
    if (cmd == QLatin1String("corrupt")) {
        bool ok = false;
        const double fraction = words.size() == 2 ? words[1].toDouble(&ok) : -1;
        if (!ok || fraction < 0 || fraction > 1)
            return error(QStringLiteral("usage: corrupt FRACTION (0..1)"));
        shaping.corruptFraction = fraction;
        return done();
    }
    return error(QStringLiteral("unknown command '%1', try help").arg(line.trimmed()));
}

} // namespace zor::sim
