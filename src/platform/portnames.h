#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace zor {

// Highest port number the serial component accepts, as the classic control did.
inline constexpr int MaxPortNumber = 255;

// Turns what a user typed for a serial port into a device name for this platform:
// a number N means COM<N> on Windows and /dev/ttyS<N-1> elsewhere; a device path
// (/dev/ttyUSB0, /dev/pts/3, /tmp/ttyZOR, COM7, \\.\COM12) is taken as it stands. Nothing for
// anything else, including an empty text and numbers out of range.
std::optional<QString> serialDeviceFor(const QString &typed, bool windows);
std::optional<QString> serialDeviceFor(const QString &typed);

// The serial ports the system reports, and on Linux their stable
// /dev/serial/by-id/ names (which survive re-plugging), sorted.
QStringList discoveredSerialPorts();

} // namespace zor
