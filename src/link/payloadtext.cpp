#include "link/payloadtext.h"

#include "link/framecodec.h"

namespace zor {

QByteArray typedPayloadText(const QString &entry) {
    QByteArray out;
    out.reserve(entry.size());
    for (const QChar c : entry) {
        const char16_t u = c.unicode();
        if (u > 0xFF) {
            out.append('?');
            continue;
        }
        const char byte = static_cast<char>(u);
        if (byte == STX || byte == ETX || byte == CR || byte == LF)
            continue;
        out.append(byte);
    }
    return out;
}

QString visibleControls(const QByteArray &text) {
    QString out;
    for (const char byte : text) {
        const auto u = static_cast<unsigned char>(byte);
        if (byte == STX)
            out += QLatin1String("<STX>");
        else if (byte == ETX)
            out += QLatin1String("<ETX>");
        else if (byte == CR)
            out += QLatin1String("<CR>");
        else if (byte == LF)
            out += QLatin1String("<LF>");
        else if (u < 0x20 || u > 0x7E)
            out += QString::asprintf("<x%02X>", u);
        else
            out += QLatin1Char(byte);
    }
    return out;
}

} // namespace zor
