#pragma once

#include "sim/framereader.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

namespace zor::sim {

class Simulator;

// One conversation on one link: cuts the incoming bytes into frames, has the
// simulator answer each, frames the answer for the link and writes it, late or
// in two pieces when fault injection asks for it, always in order.
class LinkSession : public QObject {
    Q_OBJECT

public:
    using Writer = std::function<void(const QByteArray &)>;
    static constexpr int SplitGapMs = 20;
    static constexpr int NoiseGapMs = 5;
    // Replies waiting for their time (a delay or a split is set); past this a
    // flood of commands gets no more answers, and the simulator counts them.
    static constexpr int MaxPendingReplies = 64;

    LinkSession(Simulator &sim, FrameReader::Framing framing, QByteArray linkName, Writer writer,
                QObject *parent = nullptr);

    void feed(QByteArrayView bytes);
    // Writes bytes that are not a reply (the network status message).
    void sendUnsolicited(const QByteArray &bytes);
    // Bytes to append to the final write of the next reply, asked for at write time.
    void setTrailer(std::function<QByteArray()> trailer) { trailer_ = std::move(trailer); }

    bool replyPending() const { return !queue_.empty(); }
    int pendingReplies() const { return pendingReplies_; }
    bool midFrame() const { return reader_.midFrame(); }
    qint64 lastActivityMs() const { return lastActivityMs_; }

private:
    void deliver(const QByteArray &text, int delayMs, bool split);
    void schedule(qint64 atMs, const QByteArray &bytes, bool last);
    void drain();
    void write(const QByteArray &bytes, bool last);

    struct Outgoing {
        qint64 atMs;
        QByteArray bytes;
        bool last; // the final piece of a reply
    };

    Simulator &sim_;
    FrameReader reader_;
    QByteArray link_;
    Writer writer_;
    std::function<QByteArray()> trailer_;
    QByteArray previousReply_;
    qint64 nextFreeMs_ = 0;
    qint64 lastActivityMs_ = 0;
    int pendingReplies_ = 0;
    std::deque<Outgoing> queue_; // due times never decrease, so FIFO order is send order
    QTimer drainTimer_;
};

} // namespace zor::sim
