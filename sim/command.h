#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace zor::sim {

// A payload as the supply reads it. Two families share the link: numeric
// commands ("27,", "10,512", "09,1,105,...,0,") and mnemonic commands
// ("VSET;", "VREF 2048;", "SLVR ;").
struct Command {
    enum class Family { Invalid, Numeric, Mnemonic };

    Family family = Family::Invalid;
    QByteArray name;          // "27" or "VREF"
    QList<QByteArray> fields; // numeric arguments; a trailing comma adds no field
    bool hasArgument = false; // mnemonic: a blank followed the name
    QByteArray argument;      // mnemonic: everything between that blank and the final ';'
};

Command parseCommand(const QByteArray &payload);

// Plain decimal digits only, within [min, max].
std::optional<int> parseCount(const QByteArray &text, int min, int max);

// Digits with at most one decimal point ("88.89", "2220"), no sign, no blanks.
std::optional<double> parseDecimal(const QByteArray &text);

} // namespace zor::sim
