#include "ctl/ctlrunner.h"

// A tool for benches and scripts: it must run where no display is.
#ifdef QT_WIDGETS_LIB
#error "zor-ctl must build without Qt Widgets"
#endif

#include "link/payloadtext.h"
#include "platform/counts.h"
#include "records/eventlog.h"
#include "records/samplerow.h"
#include "telemetry/publisher.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

namespace zor::ctl {

namespace {

constexpr int ConnectLimitMs = 5000;
// The console's poll tick. Operations are spaced by it, as the console spaces
// them, so status messages the supply sends on its own over the network are read
// between exchanges instead of being taken for a reply.
constexpr int PollTickMs = 66;
// Long enough for the last frame of a shutdown to leave the port.
constexpr int DrainMs = 1000;
// The console's shutdown: the zeroing commands one exit tick apart, the first two ticks in.
constexpr int ExitTickMs = 75;
const QByteArrayList ZeroingPayloads{"10,0,", "11,0,", "12,0,", "13,0,"};

QString ackName(parse::Ack ack) {
    switch (ack) {
    case parse::Ack::Taken:
        return QStringLiteral("taken");
    case parse::Ack::Refused:
        return QStringLiteral("refused");
    case parse::Ack::NoReply:
        return QStringLiteral("no reply");
    case parse::Ack::Other:
        break;
    }
    return QStringLiteral("not understood");
}

const char *unitOf(Channel c) {
    return c == Channel::Kv ? "kV" : "mA";
}

} // namespace

Runner::Runner(const PortFactory &factory, QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent), link_(factory), ops_(link_, state_), out_(out), err_(err) {
    connect(&state_, &SupplyState::linkAnsweringChanged, this, [this](bool answering) {
        if (!answering)
            ++silentReplies_;
    });
    connect(&link_, &DeviceLink::networkStatus, &ops_, &SupplyOps::applyNetworkStatus);
}

void Runner::interrupt() {
    interrupted_ = true;
    pausing_.wake();
}

bool Runner::pause(int ms) {
    if (interrupted_)
        return false;
    pausing_.sleep(ms);
    return !interrupted_;
}

void Runner::print(const QJsonObject &json, const QString &people) {
    if (json_) {
        out_ << QJsonDocument(json).toJson(QJsonDocument::Compact) << '\n';
    } else if (!people.isEmpty()) {
        // Beside a CSV table the other commands report on stderr: stdout stays one table.
        QTextStream &to = csvRun_ ? err_ : out_;
        to << people << '\n';
        to.flush();
    }
    out_.flush();
}

void Runner::fail(const QString &message) {
    err_ << "zor-ctl: " << message << '\n';
    err_.flush();
}

int Runner::noReply(const QString &command) {
    fail(QStringLiteral("%1: the supply did not answer").arg(command));
    if (json_)
        print({{"command", command}, {"result", ackName(parse::Ack::NoReply)}}, {});
    return ExitNoSupply;
}

bool Runner::open(const Invocation &run) {
    if (!run.serialDevice.isEmpty()) {
        link_.linkMode = QStringLiteral("comm1");
        SerialPortComponent &port = link_.MSComm1();
        port.setPortName(run.serialDevice);
        port.setSettings(run.settings);
        if (port.open())
            return true;
        fail(QStringLiteral("cannot open %1: %2").arg(run.serialDevice, port.openFailureReason()));
        return false;
    }
    link_.linkMode = LinkEthernet;
    TcpClientComponent &tcp = link_.tcpClient();
    tcp.remoteHost = run.host;
    tcp.remotePort = run.tcpPort;
    QString why;
    Wait connecting;
    QObject scope; // ends the connections below with this function
    connect(&tcp, &TcpClientComponent::stateChanged, &scope, [&] {
        if (tcp.state() == TcpClientComponent::StateConnected)
            connecting.wake();
    });
    connect(&tcp, &TcpClientComponent::error, &scope, [&](int, const QString &description) {
        why = description;
        connecting.wake();
    });
    tcp.connectToRemote();
    if (tcp.state() != TcpClientComponent::StateConnected)
        connecting.sleep(ConnectLimitMs);
    if (tcp.state() == TcpClientComponent::StateConnected) {
        link_.tmr_NETRCVTMR.setEnabled(true);
        return true;
    }
    fail(QStringLiteral("cannot connect to %1:%2: %3")
             .arg(run.host)
             .arg(run.tcpPort)
             .arg(why.isEmpty() ? QStringLiteral("no answer") : why));
    return false;
}

void Runner::close() {
    if (link_.isEthernet()) {
        link_.tcpClient().drain(DrainMs);
        link_.closeTcp();
    } else {
        link_.MSComm1().drain(DrainMs);
        link_.closeSerial();
    }
}

int Runner::run(const Invocation &invocation) {
    json_ = invocation.json;
    csvRun_ = std::any_of(invocation.steps.begin(), invocation.steps.end(),
                          [](const Step &s) { return s.csv; });
    if (!open(invocation))
        return ExitNoSupply;
    int code = ExitDone;
    for (const Step &step : invocation.steps) {
        if (interrupted_)
            break;
        silentReplies_ = 0;
        state_.setLinkAnswering(true);
        sleepFor(PollTickMs);
        code = runStep(step);
        if (code != ExitDone)
            break;
    }
    // Radiation this run switched on does not outlive a Ctrl+C or a failure.
    if (hvSwitchedOn_ && (interrupted_ || code != ExitDone)) {
        sleepFor(PollTickMs);
        const parse::Ack ack =
            acknowledged(SupplyOps::Operation::HvOff, [this] { ops_.setHighVoltage(false); });
        if (ack == parse::Ack::Taken) {
            fail(QStringLiteral("high voltage switched off"));
        } else {
            fail(QStringLiteral("switching the high voltage off: %1").arg(ackName(ack)));
            if (code == ExitDone)
                code = ack == parse::Ack::Refused ? ExitRefused : ExitNoSupply;
        }
    }
    close();
    return code;
}

int Runner::runStep(const Step &step) {
    switch (step.verb) {
    case Verb::Identity:
        return identity();
    case Verb::Status:
        return status();
    case Verb::Watch:
        return watch(step);
    case Verb::Set:
        return set(step);
    case Verb::HvOn:
        return highVoltage(true);
    case Verb::HvOff:
        return highVoltage(false);
    case Verb::Reset:
        return reset();
    case Verb::Shutdown:
        return shutdown();
    case Verb::Send:
        return send(step);
    }
    return ExitUsage;
}

parse::Ack Runner::acknowledged(SupplyOps::Operation op, const std::function<void()> &run) {
    parse::Ack result = parse::Ack::NoReply;
    const auto connection = connect(&ops_, &SupplyOps::answered, this,
                                    [&](SupplyOps::Operation answered, parse::Ack ack) {
                                        if (answered == op)
                                            result = ack;
                                    });
    run();
    disconnect(connection);
    return result;
}

int Runner::report(const QString &command, parse::Ack ack, QJsonObject json, const QString &people,
                   bool otherRefuses) {
    json.insert(QStringLiteral("command"), command);
    json.insert(QStringLiteral("result"), ackName(ack));
    print(json, people + QStringLiteral(": ") + ackName(ack));
    if (ack == parse::Ack::Taken)
        return ExitDone;
    const bool refused = ack == parse::Ack::Refused || (ack == parse::Ack::Other && otherRefuses);
    fail(QStringLiteral("%1: %2").arg(command, refused ? QStringLiteral("the supply refused")
                                               : ack == parse::Ack::NoReply
                                                   ? QStringLiteral("the supply did not answer")
                                                   : QStringLiteral("no acknowledgement")));
    return refused ? ExitRefused : ExitNoSupply;
}

int Runner::identity() {
    QJsonObject json{{"command", "identity"}};
    QString people;
    for (int f = 0; f < IdentityFieldCount; ++f) {
        const auto field = IdentityField(f);
        const char *key = identityKey(field);
        sleepFor(PollTickMs);
        ops_.readIdentity(field);
        if (silent())
            return noReply(QStringLiteral("identity"));
        json.insert(QLatin1String(key), state_.identity(field));
        people +=
            QStringLiteral("%1 %2\n").arg(QString(key).leftJustified(9), state_.identity(field));
    }
    print(json, people.trimmed());
    return ExitDone;
}

int Runner::status() {
    ops_.readScaling();
    if (silent())
        return noReply(QStringLiteral("status"));
    SupplySample sample;
    const auto connection =
        connect(&state_, &SupplyState::sampled, this, [&](const SupplySample &s) { sample = s; });
    for (std::size_t i = 0; i < SupplyOps::PollSteps.size(); ++i) {
        sleepFor(PollTickMs);
        ops_.pollTick();
        if (silent()) {
            disconnect(connection);
            return noReply(QStringLiteral("status"));
        }
    }
    disconnect(connection);
    QJsonObject json = jsonRow(sample);
    json.insert(QStringLiteral("command"), QStringLiteral("status"));
    print(json, peopleReport(sample).trimmed());
    return ExitDone;
}

int Runner::watch(const Step &step) {
    // One header per run, so the watches of a chain make one table.
    if (step.csv && !csvHeaderDone_) {
        csvHeaderDone_ = true;
        out_ << csvHeader() << '\n';
        out_.flush();
    }
    ops_.readScaling();
    if (silent())
        return noReply(QStringLiteral("watch"));
    // Telemetry: the default topic names the supply by its serial number.
    EventLog events(state_);
    events.watch(ops_);
    telemetry::Publisher publisher(state_, &events);
    connect(&publisher, &telemetry::Publisher::statusChanged, this,
            [this](telemetry::Publisher::Status status, const QString &why) {
                if (status == telemetry::Publisher::Status::Down ||
                    status == telemetry::Publisher::Status::Connected)
                    fail(QStringLiteral("telemetry %1%2")
                             .arg(telemetry::Publisher::statusText(status),
                                  why.isEmpty() ? "" : ": " + why));
            });
    if (step.mqtt.enabled()) {
        for (int f = 0; f < IdentityFieldCount && step.mqtt.topicPrefix.isEmpty(); ++f) {
            sleepFor(PollTickMs);
            ops_.readIdentity(IdentityField(f));
        }
        publisher.start(step.mqtt);
    }
    SupplySample sample;
    const auto connection =
        connect(&state_, &SupplyState::sampled, this, [&](const SupplySample &s) { sample = s; });
    const auto done = [&](int code) {
        disconnect(connection);
        return code;
    };
    for (int n = 1;; ++n) {
        QElapsedTimer cycle;
        cycle.start();
        for (std::size_t i = 0; i < SupplyOps::PollSteps.size(); ++i) {
            if (!pause(PollTickMs))
                return done(ExitDone);
            ops_.pollTick();
            if (silent())
                return done(noReply(QStringLiteral("watch")));
        }
        if (step.csv) {
            out_ << csvRow(sample) << '\n';
            out_.flush();
        } else {
            QJsonObject json = jsonRow(sample);
            json.insert(QStringLiteral("command"), QStringLiteral("watch"));
            print(json, peopleLine(sample));
        }
        if (n == step.count || !pause(step.intervalMs - static_cast<int>(cycle.elapsed())))
            return done(ExitDone);
    }
}

int Runner::set(const Step &step) {
    const QString unit = QLatin1String(unitOf(step.channel));
    const QString command = QStringLiteral("set");
    ops_.readScaling();
    if (silent())
        return noReply(command);
    const double perBit = state_.perBit(step.channel);
    if (!(perBit > 0)) {
        fail(QStringLiteral("set: the supply reported no full scale for %1").arg(unit));
        return ExitNoSupply;
    }
    QJsonObject json{{"channel", unit.toLower()}, {"value", step.value}};
    const double counts = step.value / perBit;
    if (counts > convert::FullScaleCounts + 1e-6) {
        const QString fullScale = QString::number(convert::FullScaleCounts * perBit, 'f', 3);
        json.insert(QStringLiteral("command"), command);
        json.insert(QStringLiteral("result"), QStringLiteral("above full scale"));
        print(json, {});
        fail(QStringLiteral("set: %1 %2 is above the full scale of %3 %2")
                 .arg(QString::number(step.value), unit, fullScale));
        return ExitUsage;
    }
    const int count = dacCountFrom(counts);
    json.insert(QStringLiteral("count"), count);
    sleepFor(PollTickMs);
    const parse::Ack ack =
        acknowledged(step.channel == Channel::Kv ? SupplyOps::Operation::ProgramKv
                                                 : SupplyOps::Operation::ProgramMa,
                     [&] { ops_.program(step.channel, count); });
    return report(command, ack, json,
                  QStringLiteral("%1 setpoint %2 %1 (%3 counts)")
                      .arg(unit, QString::number(count * perBit, 'f', 3))
                      .arg(count),
                  false);
}

int Runner::highVoltage(bool on) {
    // Set before sending: a lost acknowledgement may still have switched it on.
    if (on)
        hvSwitchedOn_ = true;
    const parse::Ack ack =
        acknowledged(on ? SupplyOps::Operation::HvOn : SupplyOps::Operation::HvOff,
                     [&] { ops_.setHighVoltage(on); });
    if (ack == parse::Ack::Taken || ack == parse::Ack::Refused)
        hvSwitchedOn_ = on && ack == parse::Ack::Taken;
    return report(QStringLiteral("hv"), ack, {{"on", on}},
                  on ? QStringLiteral("High voltage on") : QStringLiteral("High voltage off"),
                  false);
}

int Runner::reset() {
    QByteArray reply;
    const auto connection =
        connect(&link_, &DeviceLink::received, this, [&](const QByteArray &r) { reply = r; });
    ops_.resetFault();
    disconnect(connection);
    // ';' the faults are cleared; '$' the supply is still clearing them.
    const bool clearing = parse::faultResetTaken(reply);
    return report(QStringLiteral("reset"), clearing ? parse::Ack::Taken : parse::writeAck(reply),
                  {{"clearing", clearing}}, QStringLiteral("Fault reset"), false);
}

int Runner::shutdown() {
    const parse::Ack ack =
        acknowledged(SupplyOps::Operation::LocalControl, [this] { ops_.localControl(); });
    // The setpoints go to zero whatever the answer, and Ctrl+C does not stop them.
    // Each waits its full tick after the one before, however late that one went.
    for (qsizetype i = 0; i < ZeroingPayloads.size(); ++i) {
        sleepFor(i == 0 ? 2 * ExitTickMs : ExitTickMs);
        link_.sendAlone(this, ZeroingPayloads[i]);
    }
    QJsonArray zeroed;
    for (const QByteArray &p : ZeroingPayloads)
        zeroed.append(QString::fromLatin1(p));
    return report(QStringLiteral("shutdown"), ack, {{"zeroed", zeroed}},
                  QStringLiteral("Setpoints zeroed: %1\nLocal control")
                      .arg(QString::fromLatin1(ZeroingPayloads.join(' '))),
                  true);
}

int Runner::send(const Step &step) {
    QByteArray reply;
    link_.command(this, [&] { reply = link_.exchange(step.payload); });
    if (reply.isEmpty())
        return noReply(QStringLiteral("send"));
    print({{"command", "send"},
           {"payload", visibleControls(step.payload)},
           {"reply", visibleControls(reply)}},
          visibleControls(reply));
    return ExitDone;
}

} // namespace zor::ctl
