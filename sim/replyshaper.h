#pragma once

#include <QByteArray>
#include <optional>
#include <random>

namespace zor::sim {

// Fault injection on the reply path: what a flaky supply or line does to answers.
class ReplyShaper {
public:
    struct Settings {
        bool silent = false;        // answer nothing at all
        int delayMs = 0;            // answer late
        bool split = false;         // answer in two writes
        double corruptFraction = 0; // share of answers with one character garbled
        bool wrongAnswer = false;   // answer with the reply to the previous command
    };

    struct Plan {
        QByteArray text; // reply text, still without framing
        int delayMs = 0;
        bool split = false;
    };

    explicit ReplyShaper(quint32 seed = 1) : rng_(seed) {}

    Settings &settings() { return settings_; }
    const Settings &settings() const { return settings_; }

    // `previous` is the link's last true reply; it is updated here.
    std::optional<Plan> shape(const QByteArray &reply, QByteArray &previous);

    qint64 corrupted() const { return corrupted_; }

private:
    Settings settings_;
    std::minstd_rand rng_;
    qint64 corrupted_ = 0;
};

} // namespace zor::sim
