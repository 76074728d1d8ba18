#include "sim/simulator.h"

#include "sim/clock.h"

namespace zor::sim {

Simulator::Simulator(const ModelSettings &settings, QObject *parent)
    : QObject(parent), model_(settings, monotonicMs()), shaper_(settings.seed) {
    tick_.setInterval(TickMs);
    connect(&tick_, &QTimer::timeout, this, &Simulator::tick);
    tick_.start();
}

qint64 Simulator::now() const {
    return monotonicMs();
}

std::optional<ReplyShaper::Plan>
Simulator::respond(const QByteArray &link, const QByteArray &payload, QByteArray &previousReply) {
    const qint64 t = now();
    ++received_;
    log_.write(t, link, payload);
    return shaper_.shape(model_.handle(payload, t), previousReply,
                         ReplyShaper::commandName(payload));
}

void Simulator::reject(const QByteArray &link, const FrameReader::Frame &frame) {
    using Status = FrameReader::Frame::Status;
    QByteArray tag;
    switch (frame.status) {
    case Status::BadChecksum:
        ++badChecksum_;
        tag = "(bad-checksum)";
        break;
    case Status::Malformed:
        ++malformed_;
        tag = "(malformed)";
        break;
    case Status::Oversize:
        ++oversize_;
        tag = "(oversize)";
        break;
    case Status::Ok:
        return;
    }
    log_.write(now(), link + tag, frame.payload);
}

void Simulator::setArcInterval(int ms) {
    arcIntervalMs_ = std::max(0, ms);
    nextArcMs_ = now() + arcIntervalMs_;
}

void Simulator::tick() {
    const qint64 t = now();
    model_.advance(t);
    if (arcIntervalMs_ > 0 && t >= nextArcMs_) {
        model_.triggerArc(t);
        nextArcMs_ = t + arcIntervalMs_;
    }
    emit ticked();
}

QString Simulator::describe() const {
    const auto &s = shaper_.settings();
    return model_.describe(now()) +
           QStringLiteral("\nlink: %1 payloads, %2 bad checksum, %3 malformed, %4 oversize, "
                          "%5 replies dropped (queue full), %6 bytes at a wrong line rate")
               .arg(received_)
               .arg(badChecksum_)
               .arg(malformed_)
               .arg(oversize_)
               .arg(droppedReplies_)
               .arg(garbledBytes_) +
           QStringLiteral("\ninjection: silent %1, delay %2 ms, split %3, corrupt %4 (%5 so far), "
                          "wrong %6, arc-every %7 ms")
               .arg(s.silent ? "on" : "off")
               .arg(s.delayMs)
               .arg(s.split ? "on" : "off")
               .arg(s.corruptFraction)
               .arg(shaper_.corrupted())
               .arg(s.wrongAnswer ? "on" : "off")
               .arg(arcIntervalMs_);
}

} // namespace zor::sim
