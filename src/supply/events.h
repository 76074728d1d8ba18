#pragma once

#include <QString>
#include <iterator>

namespace zor {

// What kind of thing an event-log entry says, for machines to filter and
// alarm on; the English text stays for people. The keys are a published
// list: they never change, new ones are only added.
enum class EventType {
    HvOnAsked,
    HvOffAsked,
    HvOnConfirmed,
    HvOff,
    HvOnRefused,
    HvOffRefused,
    XrayOffKey,
    Fault,
    FaultCleared,
    InterlockOpen,
    InterlockClosed,
    Arc,
    ArcCountCleared,
    ArcCounting,
    LinkLost,
    LinkRestored,
    PortChanged,
    SetpointProgrammed,
    SetpointRefused,
    SetpointReverted,
    FaultReset,
    LocalControl,
    Watchdog,
    HoursReset,
    PassThrough,
    ServiceWrite,
    RunStarted,
    RunStep,
    RunEnded,
    RunReport,
    Logging,
    Telemetry,
    Audit,
    Shutdown,
};

enum class Severity { Info, Warning, Alarm };

struct EventTypeInfo {
    EventType type;
    const char *key;
    Severity severity;
};

inline constexpr EventTypeInfo EventTypes[] = {
    {EventType::HvOnAsked, "hv_on_asked", Severity::Info},
    {EventType::HvOffAsked, "hv_off_asked", Severity::Info},
    {EventType::HvOnConfirmed, "hv_on_confirmed", Severity::Warning},
    {EventType::HvOff, "hv_off", Severity::Info},
    {EventType::HvOnRefused, "hv_on_refused", Severity::Alarm},
    {EventType::HvOffRefused, "hv_off_refused", Severity::Alarm},
    {EventType::XrayOffKey, "xray_off_key", Severity::Warning},
    {EventType::Fault, "fault", Severity::Alarm},
    {EventType::FaultCleared, "fault_cleared", Severity::Info},
    {EventType::InterlockOpen, "interlock_open", Severity::Alarm},
    {EventType::InterlockClosed, "interlock_closed", Severity::Info},
    {EventType::Arc, "arc", Severity::Warning},
    {EventType::ArcCountCleared, "arc_count_cleared", Severity::Info},
    {EventType::ArcCounting, "arc_counting", Severity::Info},
    {EventType::LinkLost, "link_lost", Severity::Alarm},
    {EventType::LinkRestored, "link_restored", Severity::Info},
    {EventType::PortChanged, "port_changed", Severity::Info},
    {EventType::SetpointProgrammed, "setpoint_programmed", Severity::Info},
    {EventType::SetpointRefused, "setpoint_refused", Severity::Warning},
    {EventType::SetpointReverted, "setpoint_reverted", Severity::Info},
    {EventType::FaultReset, "fault_reset", Severity::Info},
    {EventType::LocalControl, "local_control", Severity::Info},
    {EventType::Watchdog, "watchdog", Severity::Info},
    {EventType::HoursReset, "hours_reset", Severity::Info},
    {EventType::PassThrough, "pass_through", Severity::Info},
    {EventType::ServiceWrite, "service_write", Severity::Warning},
    {EventType::RunStarted, "run_started", Severity::Info},
    {EventType::RunStep, "run_step", Severity::Info},
    {EventType::RunEnded, "run_ended", Severity::Info},
    {EventType::RunReport, "run_report", Severity::Info},
    {EventType::Logging, "logging", Severity::Info},
    {EventType::Telemetry, "telemetry", Severity::Info},
    {EventType::Audit, "audit", Severity::Warning},
    {EventType::Shutdown, "shutdown", Severity::Info},
};
inline constexpr int EventTypeCount = int(std::size(EventTypes));

static_assert([] {
    for (int i = 0; i < EventTypeCount; ++i)
        if (int(EventTypes[i].type) != i)
            return false;
    return true;
}());

constexpr const EventTypeInfo &eventInfo(EventType t) {
    return EventTypes[int(t)];
}
inline QString eventKey(EventType t) {
    return QString::fromLatin1(eventInfo(t).key);
}
inline QString severityKey(Severity s) {
    return s == Severity::Alarm     ? QStringLiteral("alarm")
           : s == Severity::Warning ? QStringLiteral("warning")
                                    : QStringLiteral("info");
}

} // namespace zor
