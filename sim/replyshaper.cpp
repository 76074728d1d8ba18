#include "sim/replyshaper.h"

namespace zor::sim {

QByteArray ReplyShaper::commandName(const QByteArray &payload) {
    qsizetype end = 0;
    while (end < payload.size() && !QByteArrayView(" ;,").contains(payload.at(end)))
        ++end;
    return payload.left(end);
}

QByteArray ReplyShaper::noise(int n) {
    QByteArray out(n, ' ');
    for (char &c : out)
        c = static_cast<char>(std::uniform_int_distribution<int>(0x20, 0x7E)(rng_));
    return out;
}

std::optional<ReplyShaper::Plan> ReplyShaper::shape(const QByteArray &reply, QByteArray &previous,
                                                    const QByteArray &name) {
    QByteArray text = reply;
    if (settings_.wrongAnswer)
        text = previous.isEmpty() ? QByteArray("1") : previous;
    previous = reply;
    if (settings_.silent || settings_.mute.contains(name))
        return std::nullopt;

    if (settings_.corruptFraction > 0 && !text.isEmpty() &&
        std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < settings_.corruptFraction) {
        // Garble one character into another printable one, so the frame's
        // terminators survive and the damage stays inside the text.
        const auto at = std::uniform_int_distribution<qsizetype>(0, text.size() - 1)(rng_);
        char c = text.at(at);
        while (c == text.at(at))
            c = static_cast<char>(std::uniform_int_distribution<int>(0x21, 0x7E)(rng_));
        text[at] = c;
        ++corrupted_;
    }
    return Plan{text, settings_.lateMs.value(name, settings_.delayMs), settings_.split};
}

} // namespace zor::sim
