#pragma once

#include "telemetry/brokersettings.h"
#include "telemetry/payloads.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>

class QSocketNotifier;
struct mosquitto;

namespace zor::telemetry {

// Publishes what the console sees to an MQTT broker: PREFIX/availability
// retained (QoS 1, last will "offline"), PREFIX/sample each poll cycle (QoS 0),
// PREFIX/state retained (QoS 1, on each change and at least once a minute),
// PREFIX/meta retained, each event-log entry on PREFIX/event (QoS 1) and, unless
// turned off, Home Assistant's discovery configs. It subscribes to nothing: no
// command reaches the supply from the broker.
//
// libmosquitto runs on this thread, driven by socket notifiers; only its
// connect, which looks the broker's name up and may hang on a silent name
// server, runs on a thread of its own. A sample the socket cannot take at once
// is dropped rather than queued, and a lost broker is tried again with a
// growing pause while the poll goes on.
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

    // How a connect is made, off this thread: mosquitto_connect_async unless a test plants another.
    using ConnectCall = std::function<int(mosquitto *, const char *host, int port, int keepAlive)>;
    void setConnectCall(ConnectCall call) { connectCall_ = std::move(call); }

    static QString statusText(Status s);
    // An audit trail line to PREFIX/audit (QoS 1, not retained) while connected.
    void publishAudit(const QByteArray &line);

signals:
    void statusChanged(zor::telemetry::Publisher::Status status, const QString &reason);

private:
    void connectNow();
    struct Attempt;
    void connectTo(const QString &host);
    void connectDone(const std::shared_ptr<Attempt> &attempt, int rc, int savedErrno);
    void abandonAttempt();
    void publishDiscovery();
    void drop(const QString &reason, bool retry);
    void setStatus(Status s, const QString &reason);
    void watchSocket();
    void forgetSocket();
    void service(int (*step)(mosquitto *, int));
    void onConnect(int rc);
    void onDisconnect(int rc);
    void publish(const char *sub, const QByteArray &payload, int qos, bool retain);
    void publishRaw(const QByteArray &topic, const QByteArray &payload, int qos, bool retain,
                    int *mid = nullptr);
    Identity identity() const;
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
    std::shared_ptr<Attempt> inFlight_;
    ConnectCall connectCall_;
    QElapsedTimer sinceSample_;
    QElapsedTimer sinceState_;
    QByteArray lastState_; // without its time, to tell a change
    QByteArray discoveredFor_;
    QSet<int> unacked_;              // the goodbye's messages the broker has not confirmed
    QList<EventLog::Entry> backlog_; // events while away, sent on return
};

} // namespace zor::telemetry
