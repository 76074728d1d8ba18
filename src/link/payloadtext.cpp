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

} // namespace zor
