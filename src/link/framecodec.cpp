#include "link/framecodec.h"

namespace zor {

char serialChecksum(const QByteArray &payload) {
    unsigned sum = 0;
    for (char c : payload)
        sum += static_cast<unsigned char>(c);
    // Unsigned wrap-around gives the same low six bits as the signed 256 - S.
    const unsigned c = ((256u - sum) & 63u) | 64u;
    return static_cast<char>(c);
}

QByteArray ProcessOutputString(const QByteArray &payload, bool ethernet) {
    QByteArray frame;
    frame.reserve(payload.size() + 4);
    frame.append(STX);
    frame.append(payload);
    if (ethernet) {
        frame.append(ETX);
    } else {
        frame.append(serialChecksum(payload));
        frame.append(CR);
        frame.append(LF);
    }
    return frame;
}

} // namespace zor
