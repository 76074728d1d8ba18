#pragma once

#include "supply/replyparse.h"

#include <QString>
#include <array>
#include <optional>

namespace zor {

// Status and fault flags; each stays unknown until the supply has reported it.
struct StatusBits {
    parse::FaultFlags faults;    // from "FLT;"
    std::optional<bool> psFault; // from the network status message
    bool operator==(const StatusBits &) const = default;
};

// Every number the supply reports, in the order rows, columns and series list
// them. Each has one row in Quantities below, which the poll, the panels, the
// raw data page, the trend, the records and zor-ctl all read: a new quantity
// is a new enumerator and a new row.
enum class Quantity {
    KvMonitor,
    MaMonitor,
    FilamentMonitor,
    Lvps,
    Temperature,
    KvSetpoint,
    MaSetpoint
};

// The read that fetches a quantity: the poll's monitors step, its auxiliary
// monitors step, or a set-point read-back.
enum class ReadBy { Monitors, AuxMonitors, Setpoint };
// The per-count factor that is read from the unit itself, if any.
enum class Scale { Fixed, KvPerBit, MaPerBit };
// The frame of the main window that shows it.
enum class Panel { None, Readbacks, Auxiliary, Setpoints };
// The trend's axis for it: kV on the left, mA and amperes on the right.
enum class TrendAxis { None, Kv, Ma };

struct QuantityInfo {
    Quantity id;
    const char *name; // files and people: "HV monitor"
    const char *key;  // JSON and zor-ctl: "kv_monitor"
    const char *payload;
    ReadBy readBy;
    const char *unit; // files, JSON and the trend: "kV"
    // value = (count - zero) * factor / divisor, times the unit's own scale
    Scale scale = Scale::Fixed;
    double factor = 1.0;
    double divisor = 1.0;
    long long zero = 0;
    const char *mask = "0.000"; // on screen
    const char *shownUnit = ""; // appended on screen: " kV"
    // A sign written in front of the mask, the magnitude through it.
    bool signInFront = false;
    int decimals = 3; // in files and JSON
    int rawAdc = -1;  // txt_DATA index of the raw count on the raw data page
    int rawDac = -1;  // 0 for "DAC A", 1 for "DAC B"
    Panel panel = Panel::None;
    const char *field = "";       // objectName on its panel
    const char *label = "";       // caption beside the field
    const char *initialText = ""; // before the first read
    TrendAxis trend = TrendAxis::None;
    bool dashed = false; // a set-point: its monitor's colour, lighter and dashed
    unsigned rgb = 0;    // trend colour 0xRRGGBB
};

inline constexpr QuantityInfo Quantities[] = {
    {.id = Quantity::KvMonitor,
     .name = "HV monitor",
     .key = "kv_monitor",
     .payload = "VMON;",
     .readBy = ReadBy::Monitors,
     .unit = "kV",
     .scale = Scale::KvPerBit,
     .mask = "#0.000",
     .shownUnit = " kV",
     .rawAdc = 2,
     .panel = Panel::Readbacks,
     .field = "txt_ADC2",
     .label = "HV Monitor",
     .initialText = "Channel 2",
     .trend = TrendAxis::Kv,
     .rgb = 0x1f5fbf},
    {.id = Quantity::MaMonitor,
     .name = "mA monitor",
     .key = "ma_monitor",
     .payload = "IMON;",
     .readBy = ReadBy::Monitors,
     .unit = "mA",
     .scale = Scale::MaPerBit,
     .mask = "0.000",
     .shownUnit = " mA",
     .rawAdc = 3,
     .panel = Panel::Readbacks,
     .field = "txt_ADC3",
     .label = "MA Current",
     .initialText = "Channel 3",
     .trend = TrendAxis::Ma,
     .rgb = 0xc0392b},
    {.id = Quantity::FilamentMonitor,
     .name = "filament monitor",
     .key = "filament",
     .payload = "FMON;",
     .readBy = ReadBy::Monitors,
     .unit = "A",
     .factor = 0.0014652,
     .mask = "0.##0",
     .shownUnit = " A",
     .rawAdc = 4,
     .panel = Panel::Readbacks,
     .field = "txt_ADC13",
     .label = "FIL Monitor",
     .trend = TrendAxis::Ma,
     .rgb = 0x1e8b4c},
    // The -15 V rail: negative while healthy.
    {.id = Quantity::Lvps,
     .name = "LVPS",
     .key = "lvps",
     .payload = "LVPS;",
     .readBy = ReadBy::AuxMonitors,
     .unit = "V",
     .factor = 0.006224,
     .zero = 3972,
     .mask = "##.#0",
     .shownUnit = " V",
     .signInFront = true,
     .rawAdc = 1,
     .panel = Panel::Auxiliary,
     .field = "txt_ADC1",
     .label = "LVPS -15 V",
     .initialText = "Channel 1"},
    {.id = Quantity::Temperature,
     .name = "temperature",
     .key = "temperature",
     .payload = "TEMP;",
     .readBy = ReadBy::AuxMonitors,
     .unit = "degC",
     .divisor = 13.65,
     .mask = "##.0",
     .decimals = 2,
     .rawAdc = 0,
     .panel = Panel::Auxiliary,
     .field = "txt_ADC6",
     .label = "Temperature",
     .initialText = "N/A"},
    {.id = Quantity::KvSetpoint,
     .name = "kV setpoint",
     .key = "kv_setpoint",
     .payload = "VSET;",
     .readBy = ReadBy::Setpoint,
     .unit = "kV",
     .scale = Scale::KvPerBit,
     .mask = "#0.000",
     .shownUnit = " kV",
     .rawDac = 0,
     .panel = Panel::Setpoints,
     .field = "txt_DACA",
     .initialText = "Channel A",
     .trend = TrendAxis::Kv,
     .dashed = true,
     .rgb = 0x1f5fbf},
    {.id = Quantity::MaSetpoint,
     .name = "mA setpoint",
     .key = "ma_setpoint",
     .payload = "ISET;",
     .readBy = ReadBy::Setpoint,
     .unit = "mA",
     .scale = Scale::MaPerBit,
     .mask = "0.000",
     .shownUnit = " mA",
     .rawDac = 1,
     .panel = Panel::Setpoints,
     .field = "txt_DACB",
     .initialText = "Channel B",
     .trend = TrendAxis::Ma,
     .dashed = true,
     .rgb = 0xc0392b},
};
inline constexpr int QuantityCount = int(std::size(Quantities));

constexpr const QuantityInfo &info(Quantity q) {
    return Quantities[int(q)];
}

// Where a quantity's samples sit in a trend point, -1 when it is not trended.
constexpr int trendSlot(Quantity q) {
    int slot = 0;
    for (const QuantityInfo &i : Quantities) {
        if (i.id == q)
            return i.trend == TrendAxis::None ? -1 : slot;
        slot += i.trend != TrendAxis::None;
    }
    return -1;
}
inline constexpr int TrendCount = [] {
    int n = 0;
    for (const QuantityInfo &i : Quantities)
        n += i.trend != TrendAxis::None;
    return n;
}();

// A row left out, or a second row claiming a raw field, must not compile.
static_assert([] {
    std::array<int, 16> adc{};
    std::array<int, 2> dac{};
    for (int i = 0; i < QuantityCount; ++i) {
        const QuantityInfo &q = Quantities[i];
        if (int(q.id) != i || (q.rawAdc >= 0 && adc.at(q.rawAdc)++) ||
            (q.rawDac >= 0 && dac.at(q.rawDac)++))
            return false;
    }
    return true;
}());

// The engineering value of a count at the unit's present scale.
double quantityValue(Quantity q, long long count, double kvPerBit, double maPerBit);
// The value as its panel shows it: "12.503 kV", "-15.00 V", ".4".
QString displayText(Quantity q, double value);

// The flags the supply reports, one row each, in the order the records list them.
struct FlagInfo {
    const char *key;  // JSON and zor-ctl: "arc_ok"
    const char *name; // files: "arc"
    const char *unit; // files: "1=ok"
    bool alarm;       // the value that means trouble
    const char *raised;
    const char *cleared;
    std::optional<bool> (*of)(const StatusBits &);
};

inline constexpr FlagInfo StatusFlags[] = {
    {"arc_ok", "arc", "1=ok", false, "Arc fault raised", "Arc fault cleared",
     [](const StatusBits &s) { return s.faults.arcOk; }},
    {"temp_ok", "temperature", "1=ok", false, "Over temperature fault raised",
     "Over temperature fault cleared", [](const StatusBits &s) { return s.faults.tempOk; }},
    {"over_voltage_ok", "over voltage", "1=ok", false, "Over voltage fault raised",
     "Over voltage fault cleared", [](const StatusBits &s) { return s.faults.overVoltageOk; }},
    {"under_voltage_ok", "under voltage", "1=ok", false, "Under voltage fault raised",
     "Under voltage fault cleared", [](const StatusBits &s) { return s.faults.underVoltageOk; }},
    {"over_current_ok", "over current", "1=ok", false, "Over current fault raised",
     "Over current fault cleared", [](const StatusBits &s) { return s.faults.overCurrentOk; }},
    {"under_current_ok", "under current", "1=ok", false, "Under current fault raised",
     "Under current fault cleared", [](const StatusBits &s) { return s.faults.underCurrentOk; }},
    {"watchdog_ok", "watchdog", "1=ok", false, "Watchdog fault raised", "Watchdog fault cleared",
     [](const StatusBits &s) { return s.faults.watchdogOk; }},
    {"operation_ok", "operation", "1=ok", false, "Operation fault raised",
     "Operation fault cleared", [](const StatusBits &s) { return s.faults.operationOk; }},
    {"ps_fault", "PS fault", "1=fault", true, "PS fault raised", "PS fault cleared",
     [](const StatusBits &s) { return s.psFault; }},
    {"interlock_open", "interlock", "1=open", true, "Interlock open", "Interlock closed",
     [](const StatusBits &s) { return s.faults.interlockOpen; }},
};

} // namespace zor
