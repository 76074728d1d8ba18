#pragma once

#include "link/devicelink.h"

#include <QDateTime>
#include <QObject>
#include <functional>

namespace zor {

// Whether the supply answers, derived from the exchanges of one link: no link
// (no port chosen), answering (the last exchange had a reply), failing (it
// timed out or came back garbled) or port lost (the chosen port itself is
// gone: hung up, unplugged). Widget-free, so any view can show it.
class LinkHealth : public QObject {
    Q_OBJECT
public:
    enum class State { NoLink, Answering, Failing, PortLost };

    // `now` gives the wall-clock time a good reply is stamped with.
    explicit LinkHealth(DeviceLink &link, std::function<QDateTime()> now = {});

    State state() const { return state_; }
    // Invalid until the first good reply.
    QDateTime lastGoodReply() const { return lastGood_; }

    void exchangeDone(const QByteArray &payload, const QByteArray &reply, qint64 durationMs,
                      ExchangeOutcome outcome);

signals:
    void changed(zor::LinkHealth::State state);

private:
    void setState(State state);

    DeviceLink &link_;
    std::function<QDateTime()> now_;
    State state_ = State::NoLink;
    QDateTime lastGood_;
};

} // namespace zor
