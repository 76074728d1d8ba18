// The pure reply parsers, one family per target (chosen by FUZZ_FAMILY), fed
// any bytes. Besides crashes, each checks what its callers (the supply
// operations, which the windows only paint from) rely on.
#include "supply/replyparse.h"

#include <cstdint>
#include <cstdlib>

using namespace zor::parse;

namespace {

void require(bool ok) {
    if (!ok)
        std::abort();
}

[[maybe_unused]] void values(const QByteArray &r) {
    // Monitors and full-scale values are never negative; every value needs its ';'.
    if (const auto n = monitorCount(r))
        require(*n >= 0 && r.contains(';'));
    if (const auto n = fullScale(r))
        require(*n >= 0 && r.size() >= 5);
    if (setpointCount(r))
        require(r.contains(';'));
}

[[maybe_unused]] void status(const QByteArray &r) {
    const auto hv = hvOn(r);
    require(!hv || r.size() >= 2);
    const FaultFlags f = faultFlags(r);
    require(!f.operationOk || r.size() >= 10);
    require(!f.interlockOpen || *f.interlockOpen == (r.at(8) == '1'));
}

[[maybe_unused]] void acks(const QByteArray &r) {
    const Ack a = writeAck(r);
    require((a == Ack::NoReply) == (r.size() < 2));
    require(!(faultResetTaken(r) && a == Ack::Taken));
    require(!numericTaken(r) || r.size() >= 5);
}

[[maybe_unused]] void identity(const QByteArray &r) {
    // The identity read takes both revisions from any reply that is not empty.
    require(r.isEmpty() == !hardwareRevision(r) && r.isEmpty() == !firmwareRevision(r));
    if (const auto text = textValue(r))
        require(!text->contains(';'));
    if (const auto rev = hardwareRevision(r))
        require(rev->size() <= 3);
    if (const auto fw = firmwareRevision(r))
        require(fw->revision.size() <= 11 && (!fw->build || !fw->build->contains(',')));
}

[[maybe_unused]] void network(const QByteArray &r) {
    const NetworkStatus s = networkStatus(r);
    require(!s.psFault || r.size() >= 9);
    require(!s.hvOn || *s.hvOn == (r.at(4) == '1'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FUZZ_FAMILY(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
