#include "telemetry/publisher.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mosquitto.h>
#include <thread>

namespace zor::telemetry {

namespace {

// A broker that vanishes without a word is noticed within one and a half of these.
constexpr int KeepAliveS = 10;
constexpr int HousekeepingMs = 1000;
// A connection neither made nor refused by then is given up and tried again.
constexpr int ConnectLimitMs = 10000;
constexpr int BacklogLimit = 200;
// A retained state older than this says the console is gone or stuck.
constexpr int StateResendMs = 60000;
// A clean exit waits this long at most for the broker to take its goodbye.
constexpr int GoodbyeMs = 200;

void initLibrary() {
    static const bool done = [] {
        mosquitto_lib_init();
        // A write to a socket the broker has closed must fail, not end the console.
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    Q_UNUSED(done);
}

QString errorText(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    if (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN)
        return QStringLiteral("the broker closed the connection");
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

// A connect running on its own thread; the publisher lets go of it by clearing owner.
struct Publisher::Attempt {
    Publisher *owner = nullptr;
    mosquitto *mosq = nullptr;
};

Publisher::Publisher(SupplyState &state, EventLog *events, QObject *parent)
    : QObject(parent), state_(state), events_(events) {
    initLibrary();
    connectCall_ = [](mosquitto *m, const char *host, int port, int keepAlive) {
        return mosquitto_connect_async(m, host, port, keepAlive);
    };
    housekeeping_.setInterval(HousekeepingMs);
    connect(&housekeeping_, &QTimer::timeout, this, [this] {
        if (status_ == Status::Connecting && attempt_.isValid() &&
            attempt_.elapsed() > ConnectLimitMs)
            return drop(QStringLiteral("no answer from the broker"), true);
        if (mosq_ && status_ == Status::Connected) {
            service(+[](mosquitto *m, int) { return mosquitto_loop_misc(m); });
            if (sinceState_.isValid() && sinceState_.elapsed() >= StateResendMs)
                lastState_.clear();
            refreshState();
        }
    });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &Publisher::connectNow);
    connect(&state_, &SupplyState::sampled, this, &Publisher::sampled);
    connect(&state_, &SupplyState::linkAnsweringChanged, this, &Publisher::refreshState);
    connect(&state_, &SupplyState::xrayOnChanged, this, &Publisher::refreshState);
    connect(&state_, &SupplyState::statusChanged, this, &Publisher::refreshState);
    connect(&state_, &SupplyState::identityChanged, this, [this](IdentityField f) {
        // The default topic names the supply: the first connection waits for its serial.
        if (f == IdentityField::SerialNumber && status_ == Status::Connecting && !mosq_ &&
            prefix_.isEmpty())
            connectNow();
        refreshState();
        if (status_ == Status::Connected)
            publishDiscovery();
    });
    if (events_)
        connect(events_, &EventLog::added, this, &Publisher::eventAdded);
}

Publisher::~Publisher() {
    // Whoever shows the status may be half gone by now.
    blockSignals(true);
    stop();
}

QString Publisher::statusText(Status s) {
    switch (s) {
    case Status::Connected:
        return QStringLiteral("connected");
    case Status::Connecting:
        return QStringLiteral("connecting");
    case Status::Down:
        return QStringLiteral("down");
    case Status::Off:
        break;
    }
    return QStringLiteral("off");
}

void Publisher::setBackoff(int firstMs, int longestMs) {
    firstBackoffMs_ = backoffMs_ = firstMs;
    longestBackoffMs_ = longestMs;
}

void Publisher::start(const BrokerSettings &settings) {
    stop();
    settings_ = settings;
    if (!settings_.enabled())
        return;
    prefix_ = settings_.topicPrefix;
    backoffMs_ = firstBackoffMs_;
    lastLoggedFailure_.clear();
    housekeeping_.start();
    connectNow();
}

void Publisher::stop() {
    retry_.stop();
    housekeeping_.stop();
    abandonAttempt();
    if (mosq_ && status_ == Status::Connected) {
        // The last state says the console ended; the broker takes it before a clean
        // goodbye, which keeps the last will back: a crash alone fires that.
        unacked_.clear();
        const Identity id = identity();
        int mid = 0;
        publishRaw(topic("state"),
                   statePayload(QDateTime::currentDateTime(), true, state_.sample(),
                                state_.linkAnswering(), id),
                   1, true, &mid);
        unacked_.insert(mid);
        publishRaw(topic("availability"), OfflinePayload, 1, true, &mid);
        unacked_.insert(mid);
        QElapsedTimer waited;
        waited.start();
        while (!unacked_.isEmpty() && waited.elapsed() < GoodbyeMs &&
               mosquitto_loop(mosq_, 20, 1) == MOSQ_ERR_SUCCESS) {
        }
        mosquitto_disconnect(mosq_);
        mosquitto_loop_write(mosq_, 1);
    }
    forgetSocket();
    if (mosq_)
        mosquitto_destroy(mosq_);
    mosq_ = nullptr;
    backlog_.clear();
    lastState_.clear();
    setStatus(Status::Off, {});
}

void Publisher::connectNow() {
    if (prefix_.isEmpty()) {
        const QString serial = state_.identity(IdentityField::SerialNumber).trimmed();
        if (serial.isEmpty()) {
            attempt_.invalidate(); // no broker to give up on yet
            return setStatus(Status::Connecting, QStringLiteral("waiting for the serial number"));
        }
        prefix_ = defaultTopicPrefix(serial);
    }
    setStatus(Status::Connecting, {});
    attempt_.start();
    connectTo(settings_.host);
}

void Publisher::connectTo(const QString &host) {
    const QString clientId =
        QStringLiteral("zor-%1-%2")
            .arg(QCoreApplication::applicationPid())
            .arg(QRandomGenerator::global()->bounded(1 << 24), 6, 16, QLatin1Char('0'));
    mosquitto *m = mosquitto_new(clientId.toUtf8().constData(), true, this);
    if (!m)
        return drop(QStringLiteral("out of memory"), true);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(
        m, [](mosquitto *, void *self, int rc) { static_cast<Publisher *>(self)->onConnect(rc); });
    mosquitto_disconnect_callback_set(m, [](mosquitto *, void *self, int rc) {
        static_cast<Publisher *>(self)->onDisconnect(rc);
    });
    mosquitto_publish_callback_set(m, [](mosquitto *, void *self, int mid) {
        static_cast<Publisher *>(self)->unacked_.remove(mid);
    });
    const QByteArray will = topic("availability");
    int rc = mosquitto_will_set(m, will.constData(), int(OfflinePayload.size()),
                                OfflinePayload.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !settings_.user.isEmpty())
        rc = mosquitto_username_pw_set(
            m, settings_.user.toUtf8().constData(),
            settings_.passwordFile.isEmpty() ? nullptr : settings_.password.constData());
    if (rc == MOSQ_ERR_SUCCESS && settings_.tls) {
        const QByteArray ca = settings_.caFile.toLocal8Bit();
        rc =
            mosquitto_tls_set(m, ca.isEmpty() ? nullptr : ca.constData(),
                              ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        mosquitto_destroy(m);
        return drop(errorText(rc, errno), false);
    }
    // The connect looks the name up, which blocks for as long as the name server
    // is silent: it runs on a thread of its own and hands the client back here.
    auto attempt = std::make_shared<Attempt>(Attempt{this, m});
    inFlight_ = attempt;
    std::thread([attempt, call = connectCall_, host = host.toUtf8(), port = settings_.port] {
        const int result = call(attempt->mosq, host.constData(), port, KeepAliveS);
        const int savedErrno = errno;
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [attempt, result, savedErrno] {
            if (attempt->owner)
                attempt->owner->connectDone(attempt, result, savedErrno);
            else
                mosquitto_destroy(attempt->mosq);
        });
    }).detach();
}

void Publisher::abandonAttempt() {
    if (inFlight_)
        inFlight_->owner = nullptr; // its thread's hand-back destroys the client
    inFlight_.reset();
}

void Publisher::connectDone(const std::shared_ptr<Attempt> &attempt, int rc, int savedErrno) {
    inFlight_.reset();
    mosq_ = attempt->mosq;
    if (rc != MOSQ_ERR_SUCCESS)
        return drop(errorText(rc, savedErrno), true);
    watchSocket();
}

void Publisher::watchSocket() {
    const int s = mosq_ ? mosquitto_socket(mosq_) : -1;
    if (s != socket_) {
        forgetSocket();
        socket_ = s;
        written_ = false;
        if (s >= 0) {
            readable_ = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Read);
            connect(readable_.get(), &QSocketNotifier::activated, this,
                    [this] { service(mosquitto_loop_read); });
            writable_ = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Write);
            connect(writable_.get(), &QSocketNotifier::activated, this, [this] {
                written_ = true;
                service(mosquitto_loop_write);
            });
        }
    }
    // Until the first write the socket may still be connecting; after it, a writable
    // socket with nothing to write would wake this thread for nothing.
    if (writable_)
        writable_->setEnabled(!written_ || mosquitto_want_write(mosq_));
}

void Publisher::forgetSocket() {
    // Often called from a notifier's own signal: it goes once that has returned.
    for (QSocketNotifier *n : {readable_.release(), writable_.release()}) {
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    }
    socket_ = -1;
}

void Publisher::service(int (*step)(mosquitto *, int)) {
    if (!mosq_)
        return;
    const int rc = step(mosq_, 1);
    const int savedErrno = errno;
    if (!refused_.isEmpty())
        return drop(std::exchange(refused_, {}), true);
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) < 0)
        return drop(errorText(rc, savedErrno), true);
    watchSocket();
}

void Publisher::onConnect(int rc) {
    // Inside libmosquitto: what is published here goes out when the call returns.
    if (rc != 0) {
        // Refused: the socket closes after this callback, so the next attempt is a new client.
        refused_ = QString::fromUtf8(mosquitto_connack_string(rc));
        return;
    }
    setStatus(Status::Connected, {});
    backoffMs_ = firstBackoffMs_;
    lastLoggedFailure_.clear();
    lastState_.clear();
    discoveredFor_.clear();
    publish("availability", OnlinePayload, 1, true);
    publish("meta", metaPayload(), 1, true);
    refreshState();
    publishDiscovery();
    const QList<EventLog::Entry> missed = std::exchange(backlog_, {});
    for (const EventLog::Entry &e : missed)
        publish("event", eventPayload(e), 1, false);
    if (events_)
        events_->note(EventType::Telemetry,
                      QStringLiteral("Telemetry connected to %1").arg(settings_.url));
}

void Publisher::onDisconnect(int rc) {
    Q_UNUSED(rc); // service() reads the outcome from the call that led here
}

void Publisher::drop(const QString &reason, bool retry) {
    const bool lost = status_ == Status::Connected;
    abandonAttempt();
    forgetSocket();
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
    setStatus(Status::Down, reason);
    if (events_ && lost)
        events_->note(EventType::Telemetry,
                      QStringLiteral("Telemetry connection lost: %1").arg(reason));
    else if (events_ && reason != lastLoggedFailure_)
        events_->note(
            EventType::Telemetry,
            QStringLiteral("Telemetry cannot connect to %1: %2").arg(settings_.url, reason));
    lastLoggedFailure_ = reason;
    if (retry) {
        retry_.start(backoffMs_);
        backoffMs_ = std::min(backoffMs_ * 2, longestBackoffMs_);
    }
}

void Publisher::setStatus(Status s, const QString &reason) {
    if (s == status_ && reason == reason_)
        return;
    status_ = s;
    reason_ = reason;
    emit statusChanged(s, reason);
}

QByteArray Publisher::topic(const char *sub) const {
    return (prefix_ + QLatin1Char('/') + QLatin1String(sub)).toUtf8();
}

void Publisher::publish(const char *sub, const QByteArray &payload, int qos, bool retain) {
    publishRaw(topic(sub), payload, qos, retain);
}

void Publisher::publishRaw(const QByteArray &topic, const QByteArray &payload, int qos, bool retain,
                           int *mid) {
    mosquitto_publish(mosq_, mid, topic.constData(), int(payload.size()), payload.constData(), qos,
                      retain);
    if (writable_ && mosquitto_want_write(mosq_))
        writable_->setEnabled(true);
}

Identity Publisher::identity() const {
    Identity id;
    for (int i = 0; i < IdentityFieldCount; ++i)
        id[i] = state_.identity(IdentityField(i));
    return id;
}

void Publisher::publishDiscovery() {
    if (!settings_.discovery)
        return;
    const Identity id = identity();
    const QByteArray key = (id[int(IdentityField::SerialNumber)] + '|' +
                            id[int(IdentityField::Model)] + '|' + id[int(IdentityField::FirmwareRevision)])
                               .toUtf8();
    if (key == discoveredFor_)
        return;
    const auto configs = discoveryConfigs(prefix_, id);
    if (configs.isEmpty())
        return;
    discoveredFor_ = key;
    for (const auto &[t, payload] : configs)
        publishRaw(t, payload, 1, true);
}

void Publisher::sampled(const SupplySample &s) {
    refreshState();
    if (status_ != Status::Connected)
        return;
    if (settings_.intervalMs > 0 && sinceSample_.isValid() &&
        sinceSample_.elapsed() < settings_.intervalMs)
        return;
    // The socket has not taken the last one yet: a slow broker gets fewer samples, never a queue.
    if (mosquitto_want_write(mosq_))
        return;
    publish("sample", samplePayload(s), 0, false);
    sinceSample_.start();
}

void Publisher::refreshState() {
    if (status_ != Status::Connected)
        return;
    const Identity id = identity();
    const SupplySample s = state_.sample();
    const QByteArray body = statePayload({}, false, s, state_.linkAnswering(), id);
    if (body == lastState_)
        return;
    lastState_ = body;
    sinceState_.start();
    publish("state",
            statePayload(QDateTime::currentDateTime(), false, s, state_.linkAnswering(), id), 1,
            true);
}

void Publisher::publishAudit(const QByteArray &line) {
    if (status_ == Status::Connected)
        publish("audit", line, 1, false);
}

void Publisher::eventAdded(const EventLog::Entry &e) {
    if (status_ == Status::Connected) {
        publish("event", eventPayload(e), 1, false);
        return;
    }
    if (status_ == Status::Off)
        return;
    backlog_.append(e);
    if (backlog_.size() > BacklogLimit)
        backlog_.removeFirst();
}

} // namespace zor::telemetry
