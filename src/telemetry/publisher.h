#pragma once

#include "telemetry/brokersettings.h"
#include "telemetry/payloads.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

class QSocketNotifier;
struct mosquitto;

namespace zor::telemetry {

// Publishes what the console sees to an MQTT broker: PREFIX/sample each poll
// cycle (QoS 0), PREFIX/state retained (QoS 1, last will "offline") and each
// event-log entry on PREFIX/event (QoS 1). It subscribes to nothing: no command
// reaches the supply from the broker.
//
// libmosquitto runs on this thread, driven by socket notifiers, so nothing
// here ever waits: connecting is non-blocking, a sample the socket cannot take
// at once is dropped rather than queued, and a lost broker is tried again
// with a growing pause while the poll goes on.
class Publisher : public QObject {
    Q_OBJECT
public:
    enum class Status { Off, Connecting, Connected, Down };

    // events may be null: then nothing goes to PREFIX/event and losses are not noted.
    Publisher(SupplyState &state, EventLog *events, QObject *parent = nullptr);
    ~Publisher() override;

    // Connects to the broker the settings name (off when they name none),
    // after saying "offline" on the present one.
    void start(const BrokerSettings &settings);
    void stop();

    Status status() const { return status_; }
    // Why it is down, or whom it waits for.
    QString reason() const { return reason_; }
    const BrokerSettings &settings() const { return settings_; }
    QString topicPrefix() const { return prefix_; }
    // The first pause after a loss, doubled each failed attempt up to the longest.
    void setBackoff(int firstMs, int longestMs);

    static QString statusText(Status s);
    // An audit trail line to PREFIX/audit (QoS 1, not retained) while connected.
    void publishAudit(const QByteArray &line);

signals:
    void statusChanged(zor::telemetry::Publisher::Status status, const QString &reason);

private:
    void connectNow();
    void resolved(const QString &address);
    void connectTo(const QString &address);
    void drop(const QString &reason, bool retry);
    void setStatus(Status s, const QString &reason);
    void watchSocket();
    void forgetSocket();
    void service(int (*step)(mosquitto *, int));
    void onConnect(int rc);
    void onDisconnect(int rc);
    void publish(const char *sub, const QByteArray &payload, int qos, bool retain);
    void sampled(const SupplySample &s);
    void refreshState();
    void eventAdded(const EventLog::Entry &e);
    QByteArray topic(const char *sub) const;

    SupplyState &state_;
    QPointer<EventLog> events_;
    BrokerSettings settings_;
    QString prefix_;
    mosquitto *mosq_ = nullptr;
    Status status_ = Status::Off;
    QString reason_;
    QString refused_; // the broker's answer to CONNECT, until the call that got it returns
    QString lastLoggedFailure_;
    int socket_ = -1;
    bool written_ = false; // the socket has been writable once: connected or refused
    std::unique_ptr<QSocketNotifier> readable_;
    std::unique_ptr<QSocketNotifier> writable_;
    QTimer housekeeping_; // keep-alive pings and the connect limit
    QTimer retry_;
    QElapsedTimer attempt_;
    int firstBackoffMs_ = 1000;
    int longestBackoffMs_ = 30000;
    int backoffMs_ = 1000;
    int lookupId_ = -1;
    QElapsedTimer sinceSample_;
    QByteArray lastState_;
    QList<EventLog::Entry> backlog_; // events while away, sent on return
};

} // namespace zor::telemetry
