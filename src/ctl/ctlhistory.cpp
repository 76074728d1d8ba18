#include "ctl/ctlhistory.h"

#include "ctl/ctlargs.h"
#include "runs/tubehistory.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>

namespace zor::ctl {

namespace {

QString figure(const QJsonValue &v, int decimals, const char *unit) {
    return v.isDouble() ? QString::number(v.toDouble(), 'f', decimals) + QLatin1String(unit)
                        : QStringLiteral("-");
}

} // namespace

std::optional<int> history(const QStringList &arguments, QTextStream &out, QTextStream &err) {
    QStringList words = arguments.mid(1);
    words.removeAll(QStringLiteral("--json"));
    if (words.value(0) != QLatin1String("history"))
        return std::nullopt;
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption reportDir(QStringLiteral("report-dir"), {}, QStringLiteral("DIR"));
    parser.addOptions({json, reportDir});
    const bool wantsJson = arguments.contains(QStringLiteral("--json"));
    if (!parser.parse(arguments) || parser.positionalArguments().size() > 2) {
        err << errorText({QStringLiteral("history: ") + (parser.errorText().isEmpty()
                                                             ? QStringLiteral("one tube at most")
                                                             : parser.errorText())},
                         ExitUsage, wantsJson);
        return ExitUsage;
    }
    const QString tube = parser.positionalArguments().value(1);
    const QString folder =
        parser.isSet(reportDir) ? parser.value(reportDir) : runs::defaultRunFolder();
    const QJsonObject result = runs::historyJson(runs::tubeRuns(folder), tube);
    const QJsonArray tubes = result.value(QLatin1String("tubes")).toArray();
    if (!tube.isEmpty() && tubes.isEmpty()) {
        err << errorText({QStringLiteral("history: no runs of tube %1 in %2").arg(tube, folder)},
                         ExitUsage, wantsJson);
        return ExitUsage;
    }
    if (wantsJson) {
        out << QJsonDocument(result).toJson(QJsonDocument::Compact) << '\n';
        return ExitDone;
    }
    for (const QJsonValue &t : tubes) {
        const QJsonObject o = t.toObject();
        out << QStringLiteral("Tube %1, last at high voltage %2\n")
                   .arg(o.value(QLatin1String("tube")).toString(),
                        o.value(QLatin1String("lastAtHighVoltage"))
                            .toString(QStringLiteral("never")));
        for (const QJsonValue &r : o.value(QLatin1String("runs")).toArray()) {
            const QJsonObject run = r.toObject();
            QStringList arcs;
            const QJsonObject bands = run.value(QLatin1String("arcsPerHour")).toObject();
            for (auto b = bands.begin(); b != bands.end(); ++b)
                arcs << QStringLiteral("%1 kV: %2")
                            .arg(b.key(), QString::number(b->toDouble(), 'f', 1));
            out << QStringLiteral("  %1  %2, %3; highest kV held %4; schedule completed in %5; "
                                  "filament at top step %6; arcs per hour %7\n")
                       .arg(run.value(QLatin1String("started")).toString(),
                            run.value(QLatin1String("kind")).toString(),
                            run.value(QLatin1String("end")).toString(),
                            figure(run.value(QLatin1String("highestKvHeld")), 1, " kV"),
                            figure(run.value(QLatin1String("completeSeconds")), 0, " s"),
                            figure(run.value(QLatin1String("filamentAtTop")), 2, " A"),
                            arcs.isEmpty() ? QStringLiteral("-") : arcs.join(QStringLiteral(", ")));
        }
    }
    return ExitDone;
}

} // namespace zor::ctl
