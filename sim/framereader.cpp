#include "sim/framereader.h"

#include "link/framecodec.h"

namespace zor::sim {

FrameReader::FrameReader(Framing framing, qsizetype maxPayload)
    : framing_(framing),
      // The serial body also carries the checksum character and CR.
      maxBody_(maxPayload + (framing == Framing::Serial ? 2 : 0)) {}

QList<FrameReader::Frame> FrameReader::feed(QByteArrayView bytes) {
    QList<Frame> frames;
    const char terminator = framing_ == Framing::Serial ? LF : ETX;
    for (const char c : bytes) {
        if (c == STX) {
            if (state_ == State::Collecting)
                counters_.skippedBytes += body_.size() + 1;
            body_.clear();
            state_ = State::Collecting;
            continue;
        }
        switch (state_) {
        case State::Hunting:
            ++counters_.skippedBytes;
            break;
        case State::Discarding:
            ++counters_.skippedBytes;
            if (c == terminator)
                state_ = State::Hunting;
            break;
        case State::Collecting:
            if (c == terminator) {
                frames.append(finish());
                state_ = State::Hunting;
            } else if (body_.size() >= maxBody_) {
                ++counters_.oversize;
                counters_.skippedBytes += body_.size() + 2;
                body_.clear();
                body_.squeeze();
                frames.append(Frame{Frame::Status::Oversize, {}});
                state_ = State::Discarding;
            } else {
                body_.append(c);
            }
            break;
        }
    }
    return frames;
}

FrameReader::Frame FrameReader::finish() {
    Frame frame;
    if (framing_ == Framing::Network) {
        frame.payload = body_;
    } else if (body_.size() < 2 || body_.back() != CR) {
        frame.status = Frame::Status::Malformed;
        frame.payload = body_;
    } else {
        frame.payload = body_.left(body_.size() - 2);
        if (serialChecksum(frame.payload) != body_.at(body_.size() - 2))
            frame.status = Frame::Status::BadChecksum;
    }
    body_.clear();
    switch (frame.status) {
    case Frame::Status::Ok:
        ++counters_.good;
        break;
    case Frame::Status::BadChecksum:
        ++counters_.badChecksum;
        break;
    case Frame::Status::Malformed:
        ++counters_.malformed;
        break;
    case Frame::Status::Oversize:
        break;
    }
    return frame;
}

} // namespace zor::sim
