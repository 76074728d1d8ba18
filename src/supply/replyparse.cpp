#include "supply/replyparse.h"

#include "link/replycut.h"

namespace zor::parse {

namespace {

std::optional<bool> flagAt(const QByteArray &reply, int position, char trueChar) {
    const auto c = reply::charAt(reply, position);
    if (c != '0' && c != '1')
        return std::nullopt;
    return *c == trueChar;
}

std::optional<long long> digitsOnly(const QByteArray &text) {
    if (text.startsWith('-'))
        return std::nullopt;
    return reply::toInteger(text);
}

} // namespace

std::optional<long long> monitorCount(const QByteArray &reply) {
    const auto text = reply::valueBeforeSemicolon(reply);
    return text ? digitsOnly(*text) : std::nullopt;
}

std::optional<long long> setpointCount(const QByteArray &reply) {
    const auto text = reply::valueBeforeSemicolon(reply);
    return text ? reply::toInteger(*text) : std::nullopt;
}

std::optional<long long> fullScale(const QByteArray &reply) {
    const auto rest = reply::fieldUntil(reply, 5, ';');
    if (!rest)
        return std::nullopt;
    return digitsOnly(reply.mid(1, 3 + rest->size()));
}

std::optional<bool> hvOn(const QByteArray &reply) {
    return flagAt(reply, 2, '1');
}

FaultFlags faultFlags(const QByteArray &reply) {
    return {flagAt(reply, 2, '0'), flagAt(reply, 3, '0'), flagAt(reply, 4, '0'),
            flagAt(reply, 5, '0'), flagAt(reply, 6, '0'), flagAt(reply, 7, '0'),
            flagAt(reply, 8, '0'), flagAt(reply, 9, '1'), flagAt(reply, 10, '0')};
}

NetworkStatus networkStatus(const QByteArray &text) {
    return {flagAt(text, 5, '1'), flagAt(text, 7, '1'), flagAt(text, 9, '1')};
}

Ack writeAck(const QByteArray &reply) {
    const auto c = reply::charAt(reply, 2);
    if (!c)
        return Ack::NoReply;
    if (*c == ';')
        return Ack::Taken;
    return *c == '1' ? Ack::Refused : Ack::Other;
}

bool faultResetTaken(const QByteArray &reply) {
    return reply::charAt(reply, 2) == '$';
}

FaultReset faultReset(const QByteArray &reply) {
    if (faultResetTaken(reply))
        return {Ack::Taken, true};
    return {writeAck(reply), false};
}

bool numericTaken(const QByteArray &reply) {
    return reply::charAt(reply, 5) == '$';
}

std::optional<QByteArray> textValue(const QByteArray &reply) {
    return reply::valueBeforeSemicolon(reply);
}

std::optional<QByteArray> hardwareRevision(const QByteArray &reply) {
    if (reply.isEmpty())
        return std::nullopt;
    return reply.mid(1, 3);
}

std::optional<FirmwareRevision> firmwareRevision(const QByteArray &reply) {
    if (reply.isEmpty())
        return std::nullopt;
    return FirmwareRevision{reply.mid(1, 11), reply::fieldUntil(reply, 17, ',')};
}

} // namespace zor::parse
