#include "ctl/ctlargs.h"

#include "link/linkoptions.h"
#include "platform/numbertext.h"
#include "platform/portnames.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace zor::ctl {

namespace {

const char *const Description =
    "Drives a ZOR high-voltage supply from scripts, without a window.\n"
    "\n"
    "Commands (chain several with \"then\"; they run in order on one link):\n"
    "  identity                      hardware, model, software revision, build, serial\n"
    "  status                        one full poll: monitors, setpoints, flags, arcs\n"
    "  watch [--interval MS] [--count N] [--csv]\n"
    "                                one line per poll cycle (interval >= 500, default 1000;\n"
    "                                one poll cycle takes about 470 ms);\n"
    "                                with --csv the other commands report on stderr\n"
    "        [--mqtt URL [--mqtt-user NAME --mqtt-password-file FILE] [--mqtt-ca FILE]\n"
    "         [--mqtt-topic PREFIX] [--mqtt-interval MS]]\n"
    "                                also publish each cycle, the state and the events\n"
    "                                to an MQTT broker (mqtt://host[:port], mqtts://...);\n"
    "                                read-only: nothing is taken from the broker\n"
    "  set kv VALUE | set ma VALUE   program a setpoint in kV or mA; taken only on the\n"
    "                                supply's acknowledgement, refused above full scale\n"
    "  hv on --confirm [--warn S] | hv off\n"
    "                                switch the high voltage; --warn counts S seconds\n"
    "                                (0-10) down first, a beep each second; Ctrl+C\n"
    "                                then cancels with nothing sent\n"
    "  reset                         fault reset\n"
    "  shutdown                      local control, then all four setpoints to zero\n"
    "  send PAYLOAD                  raw payload for service; prints the reply\n"
    "  season FILE --confirm [--report-dir DIR]\n"
    "                                run a seasoning schedule file (JSON) as the console\n"
    "                                does, printing each step as it starts; the run's\n"
    "                                record and report (PDF and JSON) go to DIR, else to\n"
    "                                the user's data folder; the report's path comes last.\n"
    "                                Ctrl+C ends it as Stop does; a supply silent for\n"
    "                                more than 5 s ends it with exit 3. A schedule with\n"
    "                                \"adaptive\" rules also prints each decision (hold,\n"
    "                                resume, back, dwell_end, abandon); abandoned on arcs\n"
    "                                or a set-point changed elsewhere, it exits 4\n"
    "  audit verify [DIR]            check the audit trail's chain (DIR, else the\n"
    "                                console's); exit 1 names the first broken line\n"
    "  audit list [--since DATE]     print the trail's entries, oldest first, from\n"
    "                                DATE (YYYY-MM-DD, UTC) on; no port needed\n"
    "  history [TUBE] [--report-dir DIR]\n"
    "                                a tube's figures across its runs, from the run\n"
    "                                records in DIR (else the user's data folder): arcs\n"
    "                                per hour at each kV band, highest kV held, time to\n"
    "                                complete the schedule, filament current at the top\n"
    "                                step; needs no supply, so no --port or --host\n"
    "\n"
    "Ctrl+C ends a watch, or the chain after the running command, and nothing is\n"
    "switched on after it; if this run switched the high voltage on, \"ENBL 0;\" is\n"
    "sent first. Then zor-ctl exits with 130. A hang-up (SIGHUP) is handled the\n"
    "same way and exits with 129. High voltage that was on before the run is left\n"
    "on, and zor-ctl says so.\n"
    "\n"
    "With --json an error is one JSON object on stderr: {\"error\": TEXT, \"exit\": N}.\n"
    "\n"
    "Exit codes:\n"
    "  0    done\n"
    "  1    audit verify: the chain is broken\n"
    "  2    usage: bad arguments, hv on, season or send \"ENBL 1;\" without --confirm,\n"
    "       a negative value\n"
    "       or one above full scale, a watch interval below 500 ms, a schedule file\n"
    "       that cannot be run\n"
    "  3    the link could not be opened, or the supply did not answer\n"
    "  4    the supply refused (and why, when the status read after it shows it), or\n"
    "       a seasoning run was abandoned\n"
    "  129  the terminal hung up (SIGHUP), as 130\n"
    "  130  interrupted by Ctrl+C, after the high voltage this run switched on was\n"
    "       switched off";

Parsed usageError(const QString &why, bool json) {
    if (json)
        return {std::nullopt, errorText({why}, ExitUsage, true), ExitUsage};
    return {std::nullopt, QStringLiteral("zor-ctl: %1\nTry 'zor-ctl --help'.\n").arg(why),
            ExitUsage};
}

// "-1" reads as a value, not as an option: what follows "set" goes behind "--".
QStringList valuesAfterOptions(const QStringList &words) {
    static const QRegularExpression negative(QStringLiteral("^-[0-9.]"));
    QStringList options, values;
    for (const QString &w : words.mid(1))
        (w.startsWith('-') && !negative.match(w).hasMatch() ? options : values) << w;
    return QStringList{words.value(0)} + options + QStringList{QStringLiteral("--")} + values;
}

std::optional<int> wholeNumber(const QString &text, int min, int max) {
    const auto n = plainWhole(text, max);
    return n && *n >= min ? n : std::nullopt;
}

// One command and its own options; nothing when it is wrong (`why` says how).
std::optional<Step> parseStep(const QStringList &words, bool &json, QString &why) {
    const QString verb = words.value(0);
    QCommandLineParser parser;
    const QCommandLineOption jsonOption(QStringLiteral("json"));
    const QCommandLineOption interval(QStringLiteral("interval"), {}, QStringLiteral("MS"));
    const QCommandLineOption count(QStringLiteral("count"), {}, QStringLiteral("N"));
    const QCommandLineOption csv(QStringLiteral("csv"));
    const QCommandLineOption confirm(QStringLiteral("confirm"));
    const QCommandLineOption reportDir(QStringLiteral("report-dir"), {}, QStringLiteral("DIR"));
    const QCommandLineOption warn(QStringLiteral("warn"), {}, QStringLiteral("S"));
    const QCommandLineOption since(QStringLiteral("since"), {}, QStringLiteral("DATE"));
    const telemetry::BrokerOptions broker;
    parser.addOption(jsonOption);
    if (verb == QLatin1String("watch")) {
        parser.addOptions({interval, count, csv});
        broker.addTo(parser);
    }
    if (verb == QLatin1String("hv") || verb == QLatin1String("season") ||
        verb == QLatin1String("send"))
        parser.addOption(confirm);
    if (verb == QLatin1String("season"))
        parser.addOption(reportDir);
    if (verb == QLatin1String("hv"))
        parser.addOption(warn);
    if (verb == QLatin1String("audit"))
        parser.addOption(since);
    const QStringList given = verb == QLatin1String("set") ? valuesAfterOptions(words) : words;
    if (!parser.parse(QStringList{QStringLiteral("zor-ctl")} + given)) {
        why = QStringLiteral("%1: %2").arg(verb, parser.errorText());
        return std::nullopt;
    }
    json = json || parser.isSet(jsonOption);
    const QStringList args = parser.positionalArguments();
    const auto wrong = [&](const QString &text) {
        why = text;
        return std::nullopt;
    };
    Step step;
    const bool bare = args.size() == 1;
    if (verb == QLatin1String("identity") && bare) {
        step.verb = Verb::Identity;
    } else if (verb == QLatin1String("status") && bare) {
        step.verb = Verb::Status;
    } else if (verb == QLatin1String("reset") && bare) {
        step.verb = Verb::Reset;
    } else if (verb == QLatin1String("shutdown") && bare) {
        step.verb = Verb::Shutdown;
    } else if (verb == QLatin1String("watch") && bare) {
        step.verb = Verb::Watch;
        step.csv = parser.isSet(csv);
        const auto mqtt = broker.read(parser);
        if (const auto *problem = std::get_if<QString>(&mqtt))
            return wrong(QStringLiteral("watch: ") + *problem);
        step.mqtt = std::get<telemetry::BrokerSettings>(mqtt);
        if (parser.isSet(interval)) {
            const auto ms = wholeNumber(parser.value(interval), MinWatchIntervalMs, 86'400'000);
            if (!ms)
                return wrong(QStringLiteral("watch: --interval takes %1 to 86400000 ms: one poll "
                                            "cycle takes about 470 ms")
                                 .arg(MinWatchIntervalMs));
            step.intervalMs = *ms;
        }
        if (parser.isSet(count)) {
            const auto n = wholeNumber(parser.value(count), 1, 1'000'000'000);
            if (!n)
                return wrong(QStringLiteral("watch: --count takes a whole number from 1"));
            step.count = *n;
        }
    } else if (verb == QLatin1String("set") && args.size() == 3 &&
               (args[1] == QLatin1String("kv") || args[1] == QLatin1String("ma"))) {
        step.verb = Verb::Set;
        step.channel = args[1] == QLatin1String("kv") ? Channel::Kv : Channel::Ma;
        const auto value = decimalNumber(args[2]);
        if (!value)
            return wrong(QStringLiteral("set: '%1' is not a number").arg(args[2]));
        if (*value < 0)
            return wrong(QStringLiteral("set %1 %2: must not be negative").arg(args[1], args[2]));
        step.value = *value;
    } else if (verb == QLatin1String("hv") && args.size() == 2 &&
               (args[1] == QLatin1String("on") || args[1] == QLatin1String("off"))) {
        step.verb = args[1] == QLatin1String("on") ? Verb::HvOn : Verb::HvOff;
        if (step.verb == Verb::HvOn && !parser.isSet(confirm))
            return wrong(QStringLiteral("hv on switches radiation on: add --confirm"));
        if (parser.isSet(warn)) {
            const auto s = wholeNumber(parser.value(warn), 0, 10);
            if (!s || step.verb != Verb::HvOn)
                return wrong(QStringLiteral("hv: --warn takes 0 to 10 seconds, with hv on"));
            step.warnSeconds = *s;
        }
    } else if (verb == QLatin1String("audit") && args.size() <= 3 &&
               args.value(1) == QLatin1String("verify") && !parser.isSet(since)) {
        step.verb = Verb::AuditVerify;
        step.auditDir = args.value(2);
    } else if (verb == QLatin1String("audit") && args.size() == 2 &&
               args.value(1) == QLatin1String("list")) {
        step.verb = Verb::AuditList;
        step.since = parser.value(since);
        static const QRegularExpression day(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        if (!step.since.isEmpty() && !day.match(step.since).hasMatch())
            return wrong(QStringLiteral("audit list: --since takes a date as YYYY-MM-DD"));
    } else if (verb == QLatin1String("season") && args.size() == 2) {
        step.verb = Verb::Season;
        step.file = args[1];
        step.reportDir = parser.value(reportDir);
        if (!parser.isSet(confirm))
            return wrong(QStringLiteral("season switches radiation on: add --confirm"));
    } else if (verb == QLatin1String("send") && args.size() == 2 && !args[1].isEmpty()) {
        step.verb = Verb::Send;
        for (const QChar c : args[1]) {
            // A framing character would end the frame early or start a second one.
            if (c.unicode() > 0xFF || c == QChar(0x02) || c == QChar(0x03) || c == QChar('\r') ||
                c == QChar('\n'))
                return wrong(QStringLiteral("send: a payload may not hold STX, ETX, CR, LF or "
                                            "characters beyond 8 bits"));
        }
        step.payload = args[1].toLatin1();
        if (switchesOn(step.payload) && !parser.isSet(confirm))
            return wrong(
                QStringLiteral("send \"%1\" switches radiation on: add --confirm").arg(args[1]));
    } else {
        return wrong(verb.isEmpty() ? QStringLiteral("a command is missing after 'then'")
                                    : QStringLiteral("not a command: %1").arg(words.join(' ')));
    }
    return step;
}

} // namespace

bool switchesOn(const QByteArray &payload) {
    static const QRegularExpression enable(QStringLiteral("^\\s*ENBL\\s*([^;]*)"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = enable.match(QString::fromLatin1(payload));
    if (!m.hasMatch())
        return false;
    // Only a plain zero is an off; anything else the supply might take as on.
    static const QRegularExpression zero(QStringLiteral("^0+$"));
    return !zero.match(m.captured(1).trimmed()).hasMatch();
}

QString errorText(const QStringList &messages, int exitCode, bool json) {
    if (json) {
        const QJsonObject error{{QStringLiteral("error"), messages.join(QStringLiteral("; "))},
                                {QStringLiteral("exit"), exitCode}};
        return QString::fromUtf8(QJsonDocument(error).toJson(QJsonDocument::Compact)) + '\n';
    }
    QString text;
    for (const QString &m : messages)
        text += QStringLiteral("zor-ctl: %1\n").arg(m);
    return text;
}

Parsed parseArguments(const QStringList &arguments) {
    // Known before parsing, so even a usage error comes as JSON.
    const bool wantsJson = arguments.mid(1).contains(QStringLiteral("--json"));
    const auto failed = [wantsJson](const QString &why) { return usageError(why, wantsJson); };
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const LinkOptions link;
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object per command or watch line."));
    link.addTo(parser);
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("See above."),
                                 QStringLiteral("COMMAND [ARGS] [then COMMAND ...]"));
    if (!parser.parse(arguments))
        return failed(parser.errorText());
    if (parser.isSet(help))
        return {std::nullopt, parser.helpText(), ExitDone};
    if (parser.isSet(version))
        return {std::nullopt, QStringLiteral("zor-ctl %1\n").arg(QStringLiteral(ZOR_VERSION)),
                ExitDone};

    Invocation run;
    run.json = parser.isSet(json);
    // The audit trail is read from files: no port, and nothing chained.
    if (const QStringList words = parser.positionalArguments();
        words.value(0) == QLatin1String("audit")) {
        QString why;
        const auto step = parseStep(words, run.json, why);
        if (!step)
            return failed(why);
        run.steps << *step;
        return {run, {}, ExitDone};
    }
    const auto target = link.read(parser);
    if (const auto *why = std::get_if<QString>(&target))
        return failed(*why);
    const LinkTarget &named = std::get<LinkTarget>(target);
    if (!named.given())
        return failed(QStringLiteral("give either --port PORT or --host HOST:PORT"));
    run.target = named;
    if (!named.port.isEmpty())
        run.target.port = *serialDeviceFor(named.port);
    if (named.baud.isEmpty())
        run.target.baud = QStringLiteral("115200");

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return failed(QStringLiteral("no command given"));
    QStringList segment;
    for (qsizetype i = 0; i <= words.size(); ++i) {
        if (i < words.size() && words[i] != QLatin1String("then")) {
            segment << words[i];
            continue;
        }
        QString why;
        const auto step = parseStep(segment, run.json, why);
        if (!step)
            return failed(why);
        run.steps << *step;
        segment.clear();
    }
    for (const Step &s : run.steps) {
        if (s.csv && run.json)
            return failed(QStringLiteral("watch: --csv and --json exclude each other"));
    }
    return {run, {}, ExitDone};
}

} // namespace zor::ctl
