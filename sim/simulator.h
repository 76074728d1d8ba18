#pragma once

#include "sim/devicemodel.h"
#include "sim/framereader.h"
#include "sim/payloadlog.h"
#include "sim/replyshaper.h"

#include <QObject>
#include <QTimer>

namespace zor::sim {

// The supply as the links see it: the device model behind fault injection and
// the payload log, kept running by a short tick so the watchdog and the ramps
// move on while nobody talks to it.
class Simulator : public QObject {
    Q_OBJECT

public:
    static constexpr int TickMs = 20;

    explicit Simulator(const ModelSettings &settings, QObject *parent = nullptr);

    DeviceModel &model() { return model_; }
    ReplyShaper &shaper() { return shaper_; }
    PayloadLog &log() { return log_; }
    qint64 now() const;

    // One good payload from a link; the plan is empty when nothing is to be sent.
    std::optional<ReplyShaper::Plan> respond(const QByteArray &link, const QByteArray &payload,
                                             QByteArray &previousReply);
    // A frame that is not answered (bad checksum, no CR, too long).
    void reject(const QByteArray &link, const FrameReader::Frame &frame);
    // A reply that found the link's queue full.
    void dropReply() { ++droppedReplies_; }
    // Bytes that came at another line rate than the unit's.
    void garbled(qint64 bytes) { garbledBytes_ += bytes; }

    // Arcs on a schedule, for soak tests and training; 0 switches them off.
    void setArcInterval(int ms);

    QString describe() const;

signals:
    void ticked();

private:
    void tick();

    DeviceModel model_;
    ReplyShaper shaper_;
    PayloadLog log_;
    QTimer tick_;
    int arcIntervalMs_ = 0;
    qint64 nextArcMs_ = 0;
    qint64 received_ = 0;
    qint64 badChecksum_ = 0;
    qint64 malformed_ = 0;
    qint64 oversize_ = 0;
    qint64 droppedReplies_ = 0;
    qint64 garbledBytes_ = 0;
};

} // namespace zor::sim
