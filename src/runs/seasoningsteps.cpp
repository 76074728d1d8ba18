#include "runs/seasoningsteps.h"

#include "platform/counts.h"
#include "platform/numbertext.h"

#include <cmath>
#include <limits>

namespace zor::runs {

QStringList kvEntries() {
    QStringList out;
    for (int kv = 0; kv <= 100; ++kv)
        out << QString::number(kv);
    return out;
}

QStringList maEntries() {
    return {"0",    "0.1", "0.15", "0.2",  "0.25", "0.3",  "0.35", "0.4",  "0.45", "0.5",
            "0.55", "0.6", "0.65", "0.7",  "0.75", "0.8",  "0.85", "0.9",  "0.95", "1.0",
            "1.05", "1.1", "1.17", "1.25", "1.3",  "1.35", "1.42", "1.66", "2.0"};
}

QStringList timeEntries() {
    QStringList out{"0", "5", "10"};
    for (int s = 20; s <= 600; s += 10)
        out << QString::number(s);
    return out;
}

const std::array<StepTexts, StepRows> DefaultSchedule = {{
    {"30", "0.2", "300"},
    {"35", "0.2", "300"},
    {"40", "0.2", "300"},
    {"45", "0.35", "300"},
    {"50", "0.5", "300"},
    {"55", "0.65", "300"},
    {"60", "0.8", "300"},
    {"65", "0.95", "300"},
    {"70", "1.1", "300"},
    {"75", "1.25", "300"},
    {"80", "1.25", "300"},
    {"85", "1.17", "300"},
    {"80", "1.25", "300"},
    {"70", "1.42", "180"},
    {"60", "1.66", "180"},
    {"50", "2.0", "180"},
    {"80", "1.25", "180"},
    {"0", "0", "0"},
}};

bool scaleIsSet(double perBit) {
    return std::isfinite(perBit) && perBit > 0.0;
}

std::optional<qint16> stepCount(const QString &text, double perBit) {
    const auto value = decimalNumber(text);
    if (!value || *value < 0.0)
        return std::nullopt;
    if (*value == 0.0)
        return qint16(0);
    if (!scaleIsSet(perBit))
        return std::nullopt;
    const std::int64_t count = countFrom(*value / perBit);
    if (count > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(count);
}

std::optional<qint16> wholeSecondsFrom(const QString &text) {
    const auto seconds = plainWhole(text, std::numeric_limits<qint16>::max());
    if (!seconds)
        return std::nullopt;
    return static_cast<qint16>(*seconds);
}

} // namespace zor::runs
