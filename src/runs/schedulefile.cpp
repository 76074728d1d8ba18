#include "runs/schedulefile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace zor::runs {

namespace {

int lineAt(const QByteArray &text, qsizetype offset) {
    return int(text.left(offset).count('\n')) + 1;
}

// The line each element of the "steps" list begins on. A light scan that
// skips strings; QJsonDocument keeps no positions.
std::vector<int> stepLines(const QByteArray &text) {
    std::vector<int> out;
    const qsizetype key = text.indexOf("\"steps\"");
    if (key < 0)
        return out;
    int depth = 0;
    bool inString = false;
    for (qsizetype i = text.indexOf('[', key); i >= 0 && i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '[' || c == '{') {
            if (depth == 1)
                out.push_back(lineAt(text, i));
            ++depth;
        } else if (c == ']' || c == '}') {
            if (--depth == 0)
                break;
        } else if (depth == 1 && !QChar::isSpace(c) && c != ',') {
            out.push_back(lineAt(text, i));
            while (i + 1 < text.size() && text[i + 1] != ',' && text[i + 1] != ']')
                ++i;
        }
    }
    return out;
}

// Every key is optional; what is given must be a whole number within bounds.
std::optional<ScheduleError> parseAdaptive(const QByteArray &text, const QJsonValue &value,
                                           Adaptive &out) {
    const qsizetype at = std::max<qsizetype>(0, text.indexOf("\"adaptive\""));
    const auto lineOf = [&](const QString &key) {
        const qsizetype k = text.indexOf("\"" + key.toUtf8() + "\"", at + 1);
        return lineAt(text, k < 0 ? at : k);
    };
    if (!value.isObject())
        return ScheduleError{lineAt(text, at),
                             QStringLiteral("\"adaptive\" must be an object of settings")};
    const QJsonObject object = value.toObject();
    for (const QString &key : object.keys()) {
        const auto known = std::find_if(AdaptiveKeys.begin(), AdaptiveKeys.end(),
                                        [&](const AdaptiveKey &k) { return key == k.name; });
        if (known == AdaptiveKeys.end())
            return ScheduleError{lineOf(key),
                                 QStringLiteral("adaptive: unknown key \"%1\"").arg(key)};
        const QJsonValue v = object.value(key);
        const double n = v.toDouble(-1);
        if (!v.isDouble() || n != std::floor(n) || n < known->min || n > known->max)
            return ScheduleError{lineOf(key),
                                 QStringLiteral("adaptive: \"%1\" must be a whole number from "
                                                "%2 to %3")
                                     .arg(key)
                                     .arg(known->min)
                                     .arg(known->max)};
        out.*known->field = int(n);
    }
    if (out.back_above < out.hold_above)
        return ScheduleError{lineOf(QStringLiteral("back_above")),
                             QStringLiteral("adaptive: \"back_above\" must not be below "
                                            "\"hold_above\"")};
    return std::nullopt;
}

} // namespace

const std::array<AdaptiveKey, 7> AdaptiveKeys{{{"window_s", &Adaptive::window_s, 1, 3600},
                                               {"hold_above", &Adaptive::hold_above, 0, 1000},
                                               {"back_above", &Adaptive::back_above, 0, 1000},
                                               {"step_back", &Adaptive::step_back, 1, 16},
                                               {"dwell_s", &Adaptive::dwell_s, 0, 32767},
                                               {"max_backoffs", &Adaptive::max_backoffs, 0, 100},
                                               {"max_arcs", &Adaptive::max_arcs, 1, 32767}}};

std::variant<Schedule, ScheduleError> parseSchedule(const QByteArray &text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return ScheduleError{lineAt(text, error.offset), error.errorString()};
    if (!doc.isObject())
        return ScheduleError{1, QStringLiteral("the file is not a JSON object")};
    const QJsonObject top = doc.object();
    const int topLine = lineAt(text, text.indexOf('{'));
    for (const QString &key : top.keys())
        if (key != QLatin1String("name") && key != QLatin1String("steps") &&
            key != QLatin1String("adaptive"))
            return ScheduleError{topLine, QStringLiteral("unknown key \"%1\"").arg(key)};
    if (!top.value(QLatin1String("name")).isString())
        return ScheduleError{topLine, QStringLiteral("\"name\" must be a text")};
    const QJsonValue list = top.value(QLatin1String("steps"));
    if (!list.isArray() || list.toArray().isEmpty() || list.toArray().size() > MaxScheduleSteps)
        return ScheduleError{
            lineAt(text, std::max<qsizetype>(0, text.indexOf("\"steps\""))),
            QStringLiteral("\"steps\" must be a list of 1 to %1 steps").arg(MaxScheduleSteps)};
    Schedule out{top.value(QLatin1String("name")).toString(), {}, {}};
    if (top.contains(QLatin1String("adaptive"))) {
        out.adaptive.emplace();
        if (auto fault = parseAdaptive(text, top.value(QLatin1String("adaptive")), *out.adaptive))
            return *fault;
    }
    const std::vector<int> lines = stepLines(text);
    const QJsonArray steps = list.toArray();
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const int line = i < qsizetype(lines.size()) ? lines[i] : topLine;
        const auto fault = [&](const QString &reason) {
            return ScheduleError{line, QStringLiteral("step %1: %2").arg(i + 1).arg(reason)};
        };
        if (!steps[i].isObject())
            return fault(QStringLiteral("a step must be {\"kv\", \"ma\", \"seconds\"}"));
        const QJsonObject step = steps[i].toObject();
        for (const QString &key : step.keys())
            if (key != QLatin1String("kv") && key != QLatin1String("ma") &&
                key != QLatin1String("seconds"))
                return fault(QStringLiteral("unknown key \"%1\"").arg(key));
        for (const char *key : {"kv", "ma", "seconds"}) {
            const QJsonValue v = step.value(QLatin1String(key));
            if (!v.isDouble() || v.toDouble() < 0)
                return fault(
                    QStringLiteral("\"%1\" must be a number of 0 or more").arg(QLatin1String(key)));
        }
        const double seconds = step.value(QLatin1String("seconds")).toDouble();
        if (seconds != std::floor(seconds) || seconds > 32767)
            return fault(QStringLiteral("\"seconds\" must be whole seconds from 0 to 32767"));
        out.steps.push_back({step.value(QLatin1String("kv")).toDouble(),
                             step.value(QLatin1String("ma")).toDouble(), int(seconds)});
    }
    return out;
}

QByteArray scheduleJson(const Schedule &schedule) {
    // One step a line, so a refusal's line number points at the step.
    QByteArray out =
        "{\n  \"name\": " +
        QJsonDocument(QJsonArray{schedule.name}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
        ",\n  \"steps\": [\n";
    for (std::size_t i = 0; i < schedule.steps.size(); ++i) {
        const ScheduleStep &s = schedule.steps[i];
        out +=
            "    " + QJsonDocument(QJsonObject{{"kv", s.kv}, {"ma", s.ma}, {"seconds", s.seconds}})
                         .toJson(QJsonDocument::Compact);
        out += i + 1 < schedule.steps.size() ? ",\n" : "\n";
    }
    if (!schedule.adaptive)
        return out + "  ]\n}\n";
    // One key a line as well.
    out += "  ],\n  \"adaptive\": {\n";
    for (std::size_t i = 0; i < AdaptiveKeys.size(); ++i)
        out += "    \"" + QByteArray(AdaptiveKeys[i].name) +
               "\": " + QByteArray::number(*schedule.adaptive.*AdaptiveKeys[i].field) +
               (i + 1 < AdaptiveKeys.size() ? ",\n" : "\n");
    return out + "  }\n}\n";
}

} // namespace zor::runs
