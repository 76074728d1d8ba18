#pragma once

#include <QByteArray>

namespace zor {

inline constexpr char STX = '\x02';
inline constexpr char ETX = '\x03';
inline constexpr char CR = '\x0D';
inline constexpr char LF = '\x0A';

// Checksum character of the serial frame: 64 + ((-sum) mod 64), always 0x40..0x7F.
char serialChecksum(const QByteArray &payload);

// Wraps a payload for the wire. Serial: STX payload C CR LF. Network: STX payload ETX.
QByteArray ProcessOutputString(const QByteArray &payload, bool ethernet);

} // namespace zor
