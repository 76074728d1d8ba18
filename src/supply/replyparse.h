#pragma once

#include <QByteArray>
#include <optional>

// Pure reply parsers: one reply (framing included, position 1 is the STX) in,
// a typed value out, or nothing when the reply cannot be read. No state, no
// link, no window; the operations in supplyops.h and the fuzzers call them.
namespace zor::parse {

// "VMON;" "IMON;" "FMON;" "LVPS;" "TEMP;": plain digits before the first ';'.
// A sign is as bad as a letter.
std::optional<long long> monitorCount(const QByteArray &reply);

// "VSET;" "ISET;": a whole number (an optional '-') before the first ';'.
std::optional<long long> setpointCount(const QByteArray &reply);

// "SLVR ;" "SLIR ;": the full-scale value, digits from position 2 up to a ';'
// searched from position 5, so fewer than three digits is a bad reply.
std::optional<long long> fullScale(const QByteArray &reply);

// "STAT;": the high voltage as the supply reports it at position 2.
std::optional<bool> hvOn(const QByteArray &reply);

// "FLT;": each flag is read on its own; a position that holds neither '0' nor
// '1' (or is missing) leaves that flag unknown. true means healthy / closed.
struct FaultFlags {
    std::optional<bool> arcOk;         // position 2
    std::optional<bool> tempOk;        // 3
    std::optional<bool> overVoltageOk; // 4
    std::optional<bool> underVoltageOk;
    std::optional<bool> overCurrentOk;
    std::optional<bool> underCurrentOk;
    std::optional<bool> watchdogOk;    // 8
    std::optional<bool> interlockOpen; // 9, '1' is open
    std::optional<bool> operationOk;   // 10
    bool operator==(const FaultFlags &) const = default;
};
FaultFlags faultFlags(const QByteArray &reply);

// The status message the supply sends on its own over the network: high
// voltage at position 5, interlock at 7, power-supply fault at 9.
struct NetworkStatus {
    std::optional<bool> hvOn;
    std::optional<bool> interlockOpen;
    std::optional<bool> psFault;
    bool operator==(const NetworkStatus &) const = default;
};
NetworkStatus networkStatus(const QByteArray &text);

// How a mnemonic write ("VREF n;", "IREF n;", "ENBL n;") was answered.
enum class Ack { Taken, Refused, NoReply, Other };
// ';' at position 2 taken, '1' refused, nothing there no reply.
Ack writeAck(const QByteArray &reply);

// "CLR;": '$' at position 2.
bool faultResetTaken(const QByteArray &reply);
// "CLR;" as a whole: ';' the faults are cleared, '$' the supply is still
// clearing them (both taken), '1' refused.
struct FaultReset {
    Ack ack = Ack::NoReply;
    bool clearing = false;
    bool operator==(const FaultReset &) const = default;
};
FaultReset faultReset(const QByteArray &reply);
// Numeric commands ("99,0,", "40,rev,"): '$' at position 5.
bool numericTaken(const QByteArray &reply);

// "MODR;" "SOFT;" "SNUR;": the text before the first ';'.
std::optional<QByteArray> textValue(const QByteArray &reply);
// "HWVR;": three characters after the STX; nothing only when the reply is empty.
std::optional<QByteArray> hardwareRevision(const QByteArray &reply);
// "FREV;": the revision (eleven characters after the STX) and, when a ','
// ends it, the build from position 17.
struct FirmwareRevision {
    QByteArray revision;
    std::optional<QByteArray> build;
    bool operator==(const FirmwareRevision &) const = default;
};
std::optional<FirmwareRevision> firmwareRevision(const QByteArray &reply);

} // namespace zor::parse

// Counts to engineering units, as the windows show them.
namespace zor::convert {

inline constexpr double FullScaleCounts = 4095.0;
inline constexpr double InitialKvPerBit = 0.0;
inline constexpr double InitialMaPerBit = 0.000341;

// The full-scale read-backs of "SLVR ;" and "SLIR ;" to kV and mA per count.
inline double kvPerBitFrom(long long fullScale) {
    return fullScale / 100.0 / FullScaleCounts;
}
inline double maPerBitFrom(long long fullScale) {
    return fullScale / 1000.0 / FullScaleCounts;
}

} // namespace zor::convert
