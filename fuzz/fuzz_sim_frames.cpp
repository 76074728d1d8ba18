// The simulator's frame reader and device model on any bytes from the wire.
#include "sim/devicemodel.h"
#include "sim/framereader.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zor::sim;
    static DeviceModel model(ModelSettings{}, 0);
    static qint64 now = 0;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (auto framing : {FrameReader::Framing::Serial, FrameReader::Framing::Network}) {
        FrameReader reader(framing);
        // Feed in two pieces so frames split across reads are exercised.
        const qsizetype half = bytes.size() / 2;
        for (const auto &frame : reader.feed(bytes.first(half)) + reader.feed(bytes.sliced(half)))
            if (frame.status == FrameReader::Frame::Status::Ok)
                (void)model.handle(frame.payload, now += 7);
    }
    (void)model.handle(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)),
                       now += 7);
    return 0;
}
