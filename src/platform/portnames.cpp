#include "platform/portnames.h"

#include <QDir>
#include <QRegularExpression>
#include <QSerialPortInfo>

namespace zor {

std::optional<QString> serialDeviceFor(const QString &typed, bool windows) {
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return std::nullopt;

    static const QRegularExpression number(QStringLiteral("^[0-9]{1,5}$"));
    if (number.match(text).hasMatch()) {
        const int n = text.toInt();
        if (n < 1 || n > MaxPortNumber)
            return std::nullopt;
        return windows ? QStringLiteral("COM%1").arg(n) : QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }

    if (windows) {
        static const QRegularExpression com(QStringLiteral("^(\\\\\\\\\\.\\\\)?COM[0-9]{1,3}$"),
                                            QRegularExpression::CaseInsensitiveOption);
        if (com.match(text).hasMatch())
            return text.toUpper();
        return std::nullopt;
    }
    // Any absolute path: USB adapters, pseudo-terminals and by-id links are not ttyS devices.
    static const QRegularExpression path(QStringLiteral("^/[A-Za-z0-9_./-]+$"));
    if (path.match(text).hasMatch() && !text.contains(QStringLiteral("..")))
        return text;
    return std::nullopt;
}

std::optional<QString> serialDeviceFor(const QString &typed) {
#ifdef Q_OS_WIN
    return serialDeviceFor(typed, true);
#else
    return serialDeviceFor(typed, false);
#endif
}

QStringList discoveredSerialPorts() {
    QStringList ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QString &name : byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        ports << byId.filePath(name);
    ports.sort();
    ports.removeDuplicates();
    return ports;
}

} // namespace zor
