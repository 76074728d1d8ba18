#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace zor::sim {

// Cuts a byte stream into frames. Serial frames are STX payload checksum CR LF,
// network frames STX payload ETX. Bytes outside a frame are skipped, a new STX
// restarts the frame, and a frame longer than the limit is dropped whole, so
// no input can make the buffer grow without bound.
class FrameReader {
public:
    enum class Framing { Serial, Network };

    struct Frame {
        enum class Status { Ok, BadChecksum, Malformed, Oversize };
        Status status = Status::Ok;
        QByteArray payload; // empty for Oversize
    };

    struct Counters {
        qint64 good = 0;
        qint64 badChecksum = 0;
        qint64 malformed = 0;
        qint64 oversize = 0;
        qint64 skippedBytes = 0; // outside any frame, or in an abandoned one
    };

    explicit FrameReader(Framing framing, qsizetype maxPayload = 1024);

    QList<Frame> feed(QByteArrayView bytes);

    bool midFrame() const { return state_ != State::Hunting; }
    const Counters &counters() const { return counters_; }
    Framing framing() const { return framing_; }

private:
    enum class State { Hunting, Collecting, Discarding };

    Frame finish();

    Framing framing_;
    qsizetype maxBody_;
    State state_ = State::Hunting;
    QByteArray body_;
    Counters counters_;
};

} // namespace zor::sim
