#include "link/linkhealth.h"

namespace zor {

LinkHealth::LinkHealth(DeviceLink &link, std::function<QDateTime()> now)
    : QObject(&link), link_(link),
      now_(now ? std::move(now) : [] { return QDateTime::currentDateTime(); }) {
    connect(&link, &DeviceLink::exchanged, this, &LinkHealth::exchangeDone);
    // Another transport is another supply until it has answered.
    connect(&link, &DeviceLink::transportChanged, this, [this] {
        lastGood_ = {};
        setState(State::NoLink);
    });
    connect(&link, &DeviceLink::linkLost, this, [this] { setState(State::NoLink); });
}

void LinkHealth::exchangeDone(const QByteArray &, const QByteArray &, qint64,
                              ExchangeOutcome outcome) {
    switch (outcome) {
    case ExchangeOutcome::Ok:
    case ExchangeOutcome::Refused: // a refusal is an answer
        lastGood_ = now_();
        setState(State::Answering);
        break;
    case ExchangeOutcome::TimeOut:
    case ExchangeOutcome::Garbled:
        setState(link_.transportOpen()        ? State::Failing
                 : link_.linkMode().isEmpty() ? State::NoLink
                                              : State::PortLost);
        break;
    case ExchangeOutcome::SentAlone:
    case ExchangeOutcome::NotSent:
        break;
    }
}

void LinkHealth::setState(State state) {
    // Views are told of a new state only; the time of the last good reply
    // changes with every reply and is read when someone asks for it.
    if (state == state_)
        return;
    state_ = state;
    emit changed(state);
}

} // namespace zor
