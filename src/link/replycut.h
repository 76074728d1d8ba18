#pragma once

#include <QByteArray>
#include <optional>

// Reply cutting shared by every handler. Positions count from 1 as the supply's
// manuals do: position 1 holds the STX, values start at position 2.
namespace zor::reply {

// Character at a 1-based position, or nothing when the reply is shorter.
std::optional<char> charAt(const QByteArray &reply, int position);

// Text from position 2 up to (not including) the first ';' at or after position 2.
std::optional<QByteArray> valueBeforeSemicolon(const QByteArray &reply);

// Text from a 1-based position up to (not including) the first `stop` after it.
std::optional<QByteArray> fieldUntil(const QByteArray &reply, int position, char stop);

// Plain decimal digits (an optional leading '-') to a number; anything else fails.
std::optional<long long> toInteger(const QByteArray &text);

} // namespace zor::reply
