#include "link/replycut.h"

namespace zor::reply {

std::optional<char> charAt(const QByteArray &reply, int position) {
    if (position < 1 || position > reply.size())
        return std::nullopt;
    return reply.at(position - 1);
}

std::optional<QByteArray> fieldUntil(const QByteArray &reply, int position, char stop) {
    if (position < 1 || position > reply.size())
        return std::nullopt;
    const auto end = reply.indexOf(stop, position - 1);
    if (end < 0)
        return std::nullopt;
    return reply.mid(position - 1, end - (position - 1));
}

std::optional<QByteArray> valueBeforeSemicolon(const QByteArray &reply) {
    return fieldUntil(reply, 2, ';');
}

std::optional<long long> toInteger(const QByteArray &text) {
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    long long value = 0;
    int i = 0;
    const bool negative = text.at(0) == '-';
    if (negative)
        i = 1;
    if (i == text.size())
        return std::nullopt;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

} // namespace zor::reply
