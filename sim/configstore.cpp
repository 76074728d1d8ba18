#include "sim/configstore.h"

#include "sim/command.h"

#include <array>
#include <cmath>

namespace zor::sim {

bool isStorableText(const QByteArray &text, qsizetype maxLength) {
    if (text.size() > maxLength)
        return false;
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E || c == ',' || c == ';')
            return false;
    }
    return true;
}

QByteArray FactoryConfig::confFields() const {
    QByteArray out;
    const auto add = [&out](const QByteArray &field) { out += field + ','; };
    add(hardwareRevision);
    add(model);
    for (const int value : {fullScaleKv, fullScaleMa, filamentPreheat, kvRampMs, arcMode,
                            filamentTurnOn, maRampMs, filamentRampMs, maOffset, filamentMax})
        add(QByteArray::number(value));
    return out;
}

bool FactoryConfig::isParameter(const QByteArray &name) {
    static const std::array<const char *, 12> names = {"HWVP", "MODP", "FILP", "FTON",
                                                       "SLVP", "SLIP", "ARCP", "RAMP",
                                                       "MRMP", "FRMP", "FMAX", "MAOF"};
    for (const char *n : names) {
        if (name == n)
            return true;
    }
    return false;
}

bool FactoryConfig::write(const QByteArray &name, const QByteArray &argument) {
    const auto count = [&](int &target, int min, int max) {
        const auto v = parseCount(argument, min, max);
        if (v)
            target = *v;
        return v.has_value();
    };
    // Scale and ramp entries arrive as typed, so "8888.5" or "50.0" must be taken.
    const auto rounded = [&](int &target, int min, int max) {
        const auto v = parseDecimal(argument);
        if (!v || std::lround(*v) < min || std::lround(*v) > max)
            return false;
        target = static_cast<int>(std::lround(*v));
        return true;
    };
    if (name == "HWVP" || name == "MODP") {
        if (!isStorableText(argument, 24))
            return false;
        (name == "HWVP" ? hardwareRevision : model) = argument;
        return true;
    }
    if (name == "FILP")
        return count(filamentPreheat, 0, 4095);
    if (name == "FTON")
        return count(filamentTurnOn, 0, 4095);
    if (name == "SLVP")
        return rounded(fullScaleKv, 1, 99999);
    if (name == "SLIP")
        return rounded(fullScaleMa, 1, 9999);
    if (name == "ARCP")
        return count(arcMode, 0, 1);
    if (name == "RAMP")
        return rounded(kvRampMs, 20, 100);
    if (name == "MRMP")
        return rounded(maRampMs, 1, 500);
    if (name == "FRMP")
        return rounded(filamentRampMs, 50, 250);
    if (name == "FMAX")
        return count(filamentMax, 0, 4095);
    if (name == "MAOF")
        return count(maOffset, 0, 4095);
    return false;
}

QByteArray UserOptions::fields() const {
    QByteArray out;
    for (const int value : {overVoltageOn, overVoltagePercent, rampTenths, overCurrentOn, arcCount,
                            arcPeriodS, quenchMs, reRamp, noArcDetect})
        out += QByteArray::number(value) + ',';
    return out;
}

UserOptions::Verdict UserOptions::apply(const QList<QByteArray> &fields) {
    if (fields.size() != 9)
        return Verdict::Invalid;
    struct Range {
        int min;
        int max;
    };
    static constexpr std::array<Range, 9> ranges = {
        {{0, 1}, {0, 110}, {0, 600}, {0, 1}, {0, 100}, {0, 100}, {0, 100}, {0, 1}, {0, 1}}};
    std::array<int, 9> v{};
    for (int i = 0; i < 9; ++i) {
        const auto parsed = parseCount(fields.at(i), ranges[i].min, ranges[i].max);
        if (!parsed)
            return Verdict::Invalid;
        v[i] = *parsed;
    }
    const bool noArcDetectMode = v[8] == 1;
    // The supply rides out at most one arc per second: period / count >= 1 s.
    if (!noArcDetectMode && v[4] > 0 && v[5] < v[4])
        return Verdict::ArcRateTooHigh;
    overVoltageOn = v[0];
    overVoltagePercent = v[1];
    rampTenths = v[2];
    overCurrentOn = v[3];
    arcCount = v[4];
    arcPeriodS = v[5];
    quenchMs = v[6];
    reRamp = v[7];
    noArcDetect = v[8];
    return noArcDetectMode ? Verdict::AcceptedWithoutArcDetect : Verdict::Accepted;
}

} // namespace zor::sim
