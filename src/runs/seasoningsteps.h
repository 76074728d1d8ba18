#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The seasoning table's fixed contents and the conversion of a row's texts
// into setpoint counts.
namespace zor::runs {

// Rows 0 to 16 are the operator's steps; row 17 is never shown and runs as the
// last step of every schedule, taking both setpoints back to zero.
inline constexpr int ShownSteps = 17;
inline constexpr int StepRows = 18;
inline constexpr int FinalRow = 17;
// The largest count a 12-bit setpoint channel holds.
inline constexpr qint16 FullScaleCount = 4095;

QStringList kvEntries();
QStringList maEntries();
QStringList timeEntries();

struct StepTexts {
    const char *kv;
    const char *ma;
    const char *time;
};
// The schedule every opening of the table starts from.
extern const std::array<StepTexts, StepRows> DefaultSchedule;

// A kV or mA text turned into counts of a supply channel with the given scale
// (engineering units per count), halves to the even neighbour. Nothing when the
// text is not a number of 0 or more, when a non-zero value meets a scale that is
// not set, or when the count leaves the 16-bit range. Zero is zero counts on
// every scale, so the final row can always take the supply back to zero.
std::optional<qint16> stepCount(const QString &text, double perBit);

// A scale factor that counts can be formed with.
bool scaleIsSet(double perBit);

// A step time: whole seconds from 0 to 32767, digits only.
std::optional<qint16> wholeSecondsFrom(const QString &text);

} // namespace zor::runs
