#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
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
        // What a unit may do within the protocol, by command name ("WDTT").
        QHash<QByteArray, int> lateMs; // answer this command that late
        QSet<QByteArray> mute;         // never answer this command
        int lineNoise = 0;             // bytes of noise on the line after each answer
        int paceBaud = 0;              // answers take their time at this line rate
    };
    // "VSET" of "VSET;", "ENBL" of "ENBL 1;", "10" of "10,100".
    static QByteArray commandName(const QByteArray &payload);

    struct Plan {
        QByteArray text; // reply text, still without framing
        int delayMs = 0;
        bool split = false;
    };

    explicit ReplyShaper(quint32 seed = 1) : rng_(seed) {}

    Settings &settings() { return settings_; }
    const Settings &settings() const { return settings_; }

    // `previous` is the link's last true reply; it is updated here. `name` is
    // the command's (see commandName).
    std::optional<Plan> shape(const QByteArray &reply, QByteArray &previous,
                              const QByteArray &name = {});
    // `n` bytes of printable noise, never a frame's STX, ETX, CR or LF.
    QByteArray noise(int n);

    qint64 corrupted() const { return corrupted_; }

private:
    Settings settings_;
    std::minstd_rand rng_;
    qint64 corrupted_ = 0;
};

} // namespace zor::sim
