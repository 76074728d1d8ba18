#include "sim/command.h"

namespace zor::sim {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

} // namespace

Command parseCommand(const QByteArray &payload) {
    Command cmd;
    if (payload.size() >= 3 && isDigit(payload.at(0)) && isDigit(payload.at(1)) &&
        payload.at(2) == ',') {
        cmd.family = Command::Family::Numeric;
        cmd.name = payload.left(2);
        const QByteArray rest = payload.mid(3);
        if (!rest.isEmpty()) {
            cmd.fields = rest.split(',');
            if (rest.endsWith(','))
                cmd.fields.removeLast();
        }
        return cmd;
    }
    if (!payload.endsWith(';'))
        return cmd;
    const QByteArray body = payload.left(payload.size() - 1);
    qsizetype n = 0;
    while (n < body.size() && isUpper(body.at(n)))
        ++n;
    if (n < 2 || n > 8)
        return cmd;
    if (n < body.size()) {
        if (body.at(n) != ' ')
            return cmd;
        cmd.hasArgument = true;
        cmd.argument = body.mid(n + 1);
    }
    cmd.family = Command::Family::Mnemonic;
    cmd.name = body.left(n);
    return cmd;
}

std::optional<int> parseCount(const QByteArray &text, int min, int max) {
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<double> parseDecimal(const QByteArray &text) {
    if (text.isEmpty() || text.size() > 15)
        return std::nullopt;
    double value = 0;
    double scale = 0; // 0 before the point, then 0.1, 0.01, ...
    bool digits = false;
    for (const char c : text) {
        if (c == '.') {
            if (scale != 0)
                return std::nullopt;
            scale = 0.1;
        } else if (isDigit(c)) {
            digits = true;
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    return value;
}

} // namespace zor::sim
