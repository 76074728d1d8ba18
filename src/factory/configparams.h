#pragma once

#include "supply/supplyops.h"

#include <array>

// The factory parameters of the configuration page: one row per button, with
// its text box, its prompt, the check its entry must pass and its write.
namespace zor::factory {

enum class Param {
    Hardware,
    Model,
    Scaling,
    PreHeat,
    FilamentTurnOn,
    Arc,
    KvRampTime,
    MaRampTime,
    MaOffset,
    FilamentLimitMax,
    FilamentRampTime,
};

enum class Check {
    None,           // any text, sent as typed
    Range,          // a number within [low, high], sent as that number
    FilamentLimit,  // a number up to high, sent as counts of a 10 A scale
    FilamentTurnOn, // kV, sent as counts of the kV channel
    MaOffset,       // mA, sent as counts of the mA channel
    Scaling,        // "kV,mA", sent as two commands
};

struct ParamRow {
    Param id;
    const char *button;
    const char *caption;
    const char *box;
    bool shown;        // the six service-only pairs stay hidden
    bool enabledByKey; // the unlock enables it
    const char *prompt;
    FactoryWrite write;
    Check check;
    double low;
    double high;
};

inline constexpr int ParamCount = 11;
const std::array<ParamRow, ParamCount> &paramRows();
const ParamRow &paramRow(Param id);

} // namespace zor::factory
