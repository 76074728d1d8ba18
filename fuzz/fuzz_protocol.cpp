// Reply cutting, number conversion, display masks and count rounding on any bytes.
#include "link/framecodec.h"
#include "link/replycut.h"
#include "platform/counts.h"
#include "platform/displaymask.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    using namespace zor;
    for (int position : {0, 1, 2, 5, 17, 1000})
        for (char stop : {';', ',', '\x03'})
            (void)reply::fieldUntil(bytes, position, stop);
    (void)reply::charAt(bytes, 5);
    if (const auto value = reply::valueBeforeSemicolon(bytes))
        (void)reply::toInteger(*value);
    (void)ProcessOutputString(bytes, size % 2 == 0);
    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        for (const char *mask : {"#0.000", "0.000", "0.##0", "##.#0", "##.0", "#0.00", "#.00"})
            (void)formatMask(value, QString::fromLatin1(mask));
        (void)countFrom(value);
        (void)dacCountFrom(value);
    }
    return 0;
}
