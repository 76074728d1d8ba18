#include "factory/configparams.h"

namespace zor::factory {

namespace {

// In the page's order, top to bottom.
constexpr std::array<ParamRow, ParamCount> Rows{{
    {Param::Hardware, "hardware", "Program Hardware", "Txt_hwd", true, true,
     "Enter HardWare Revision: EX. A01", FactoryWrite::HardwareRevision, Check::None, 0, 0},
    {Param::Model, "model", "Program Model", "Txt_modl", true, true,
     "Enter Model Number: EX. ZOR80HR", FactoryWrite::Model, Check::None, 0, 0},
    {Param::Scaling, "progScale", "Program Scaling", "Txt_scale", true, true,
     "Enter Voltage and Current separated by a comma:      EX. 88.89,2.22",
     FactoryWrite::KvFullScale, Check::Scaling, 0, 0},
    {Param::PreHeat, "filaPreHeat", "Filament PreHeat", "Txt_preheat", true, true,
     "Enter Filament PreHeat: 0-4095 (2660 bits = 2.66A)", FactoryWrite::PreHeat, Check::None, 0,
     0},
    {Param::FilamentTurnOn, "Btn_filTurnOn", "Filament Turn-On", "Txt_FilaOn", true, true,
     "Enter The Filament Turn On Voltage(KV)", FactoryWrite::FilamentTurnOn, Check::FilamentTurnOn,
     0, 0},
    {Param::Arc, "arc", "Arc Config", "Txt_arc", false, true,
     "Enter Arc Config: EX. 0 for Multiple Arcs, 1 Single Arc", FactoryWrite::ArcConfig,
     Check::None, 0, 0},
    {Param::KvRampTime, "KV_Ramp_Time", "KV Ramp Time", "Txt_rampRate", false, false,
     "Enter KV Ramp Time: 20 - 100 (ms)", FactoryWrite::KvRampTime, Check::Range, 20, 100},
    {Param::MaRampTime, "Btn_mA_Ramp_Time", "mA Ramp Time", "Txt_mA_ramp_rate", false, false,
     "Enter mA Ramp Time: 1 - 500 (ms)", FactoryWrite::MaRampTime, Check::Range, 1, 500},
    {Param::MaOffset, "Btn_mA_offset", "mA Offset", "Txt_mA_Offset", false, false,
     "Enter the mA Offset: 0 - 0.300 (mA)", FactoryWrite::MaOffset, Check::MaOffset, 0, 0},
    {Param::FilamentLimitMax, "Fil_Limit_Max", "Fil Limit Max", "Txt_Fil_Ramp_Max", false, false,
     "Enter the Filament Limit max value: 0 - 4.5 (A)", FactoryWrite::FilamentLimitMax,
     Check::FilamentLimit, 0, 4.5},
    {Param::FilamentRampTime, "Btn_Fil_Ramp_Time", "Fil Ramp Time", "Txt_Fil_Ramp_Rate", false,
     false, "Enter the Filament Ramp time: 50 - 250 (ms)", FactoryWrite::FilamentRampTime,
     Check::Range, 50, 250},
}};

} // namespace

const std::array<ParamRow, ParamCount> &paramRows() {
    return Rows;
}

const ParamRow &paramRow(Param id) {
    for (const ParamRow &row : Rows)
        if (row.id == id)
            return row;
    return Rows.front();
}

} // namespace zor::factory
