#include "sim/linksession.h"

#include "link/framecodec.h"
#include "sim/clock.h"
#include "sim/simulator.h"

namespace zor::sim {

LinkSession::LinkSession(Simulator &sim, FrameReader::Framing framing, QByteArray linkName,
                         Writer writer, QObject *parent)
    : QObject(parent), sim_(sim), reader_(framing), link_(std::move(linkName)),
      writer_(std::move(writer)) {
    drainTimer_.setSingleShot(true);
    drainTimer_.setTimerType(Qt::PreciseTimer);
    connect(&drainTimer_, &QTimer::timeout, this, &LinkSession::drain);
}

void LinkSession::feed(QByteArrayView bytes) {
    lastActivityMs_ = monotonicMs();
    const auto frames = reader_.feed(bytes);
    for (const auto &frame : frames) {
        if (frame.status != FrameReader::Frame::Status::Ok) {
            sim_.reject(link_, frame);
            continue;
        }
        if (const auto plan = sim_.respond(link_, frame.payload, previousReply_))
            deliver(plan->text, plan->delayMs, plan->split);
    }
}

void LinkSession::sendUnsolicited(const QByteArray &bytes) {
    lastActivityMs_ = monotonicMs();
    writer_(bytes);
}

void LinkSession::deliver(const QByteArray &text, int delayMs, bool split) {
    if (pendingReplies_ >= MaxPendingReplies) {
        sim_.dropReply();
        return;
    }
    ++pendingReplies_;
    const QByteArray frame =
        ProcessOutputString(text, reader_.framing() == FrameReader::Framing::Network);
    // At a paced line rate the last byte comes ten bits a byte after the first.
    const int pace = sim_.shaper().settings().paceBaud;
    const qint64 wire = pace > 0 ? (frame.size() * 10000 + pace - 1) / pace : 0;
    const qint64 at = std::max(monotonicMs() + delayMs + wire, nextFreeMs_);
    if (split && frame.size() >= 2) {
        const auto half = frame.size() / 2;
        schedule(at, frame.left(half), false);
        schedule(at + SplitGapMs, frame.mid(half), true);
        nextFreeMs_ = at + SplitGapMs;
    } else {
        schedule(at, frame, true);
        nextFreeMs_ = at;
    }
    // Noise between frames: after this answer, before anything else.
    if (const int n = sim_.shaper().settings().lineNoise; n > 0) {
        ++pendingReplies_;
        nextFreeMs_ += NoiseGapMs;
        schedule(nextFreeMs_, sim_.shaper().noise(n), true);
    }
}

void LinkSession::schedule(qint64 atMs, const QByteArray &bytes, bool last) {
    queue_.push_back(Outgoing{atMs, bytes, last});
    if (queue_.size() == 1)
        drain();
}

void LinkSession::drain() {
    const qint64 now = monotonicMs();
    while (!queue_.empty() && queue_.front().atMs <= now) {
        Outgoing out = std::move(queue_.front());
        queue_.pop_front();
        if (out.last)
            --pendingReplies_;
        write(out.bytes, out.last);
        // The second half of a split reply keeps its gap even when this pass
        // came late, or the two halves would reach the console as one read.
        if (!out.last && !queue_.empty())
            queue_.front().atMs = std::max(queue_.front().atMs, now + SplitGapMs);
    }
    if (!queue_.empty())
        drainTimer_.start(static_cast<int>(queue_.front().atMs - now));
}

void LinkSession::write(const QByteArray &bytes, bool last) {
    lastActivityMs_ = monotonicMs();
    writer_(last && trailer_ ? bytes + trailer_() : bytes);
}

} // namespace zor::sim
