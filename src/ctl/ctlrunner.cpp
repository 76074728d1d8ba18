#include "ctl/ctlrunner.h"

// A tool for benches and scripts: it must run where no display is.
#ifdef QT_WIDGETS_LIB
#error "zor-ctl must build without Qt Widgets"
#endif

#include "link/payloadtext.h"
#include "platform/counts.h"
#include "platform/timer.h"
#include "records/eventlog.h"
#include "records/samplerow.h"
#include "runs/runrecord.h"
#include "runs/seasoningengine.h"
#include "runs/seasoningsteps.h"
#include "telemetry/publisher.h"

#include <QCoroTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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
static_assert(MinWatchIntervalMs > PollTickMs * std::tuple_size_v<decltype(SupplyOps::PollSteps)>);
// Long enough for the last frame of a shutdown to leave the port.
constexpr int DrainMs = 1000;
// The console's shutdown: the zeroing commands one exit tick apart, the first two ticks in.
constexpr int ExitTickMs = 75;
// Nobody watches a headless seasoning run: a supply silent this long ends it.
constexpr int SeasonSilenceMs = 5000;

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

Task<> sleepFor(int ms) {
    co_await QCoro::sleepFor(std::chrono::milliseconds(ms));
}

} // namespace

Runner::Runner(const PortFactory &factory, QTextStream &out, QTextStream &err, QObject *parent)
    : QObject(parent), link_(factory), ops_(link_, state_), audit_(ops_, QStringLiteral("zor-ctl")),
      out_(out), err_(err) {
    // The write has gone out all the same; say that no trace of it was kept.
    connect(&audit_, &AuditTrail::failed, this, [this](const QString &message) {
        err_ << errorText({message}, 0, json_);
        err_.flush();
    });
    connect(&state_, &SupplyState::linkAnsweringChanged, this, [this](bool answering) {
        if (!answering)
            ++silentReplies_;
    });
    connect(&link_, &DeviceLink::networkStatus, &ops_, &SupplyOps::applyNetworkStatus);
}

void Runner::interrupt(int exitCode) {
    // Nothing queued or still to come may switch on after it.
    if (!interrupted_)
        ops_.noteOffAsked();
    interrupted_ = true;
    interruptCode_ = exitCode;
    pausing_.wake();
}

Task<bool> Runner::pause(int ms) {
    if (interrupted_)
        co_return false;
    if (ms > 0)
        co_await pausing_.sleep(ms);
    co_return !interrupted_;
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
    if (json_) {
        errors_ << message;
        return;
    }
    err_ << errorText({message}, 0, false);
    err_.flush();
}

int Runner::finished(int code) {
    if (json_ && code != ExitDone) {
        err_ << errorText(errors_, code, true);
        err_.flush();
    }
    return code;
}

Task<QString> Runner::reasonFor(parse::Ack ack, bool otherRefuses) {
    const bool refused = ack == parse::Ack::Refused || (ack == parse::Ack::Other && otherRefuses);
    if (!refused)
        co_return QString();
    co_await sleepFor(PollTickMs);
    co_await inCommand([this] { return ops_.statusTask(); });
    const StatusBits status = state_.status();
    QStringList reasons;
    if (status.faults.interlockOpen.value_or(false))
        reasons << QStringLiteral("interlock open");
    if (const QStringList faults = faultNames(status); !faults.isEmpty())
        reasons << QStringLiteral("fault %1").arg(faults.join(QStringLiteral(", ")));
    if (status.psFault.value_or(false))
        reasons << QStringLiteral("power-supply fault");
    co_return reasons.join(QStringLiteral("; "));
}

int Runner::noReply(const QString &command) {
    fail(QStringLiteral("%1: the supply did not answer").arg(command));
    if (json_)
        print({{"command", command}, {"result", ackName(parse::Ack::NoReply)}}, {});
    return ExitNoSupply;
}

Task<bool> Runner::open(const Invocation &run) {
    QObject scope; // ends the connection below with this function
    // Refused: no use waiting out the limit.
    connect(&link_, &DeviceLink::tcpError, &scope, [this] { link_.cancelOpen(); });
    if (co_await link_.open(run.target, ConnectLimitMs))
        co_return true;
    fail(link_.openFailureText());
    co_return false;
}

void Runner::close() {
    link_.close(DrainMs);
}

Task<int> Runner::run(Invocation invocation) {
    json_ = invocation.json;
    csvRun_ = std::any_of(invocation.steps.begin(), invocation.steps.end(),
                          [](const Step &s) { return s.csv; });
    const Step first = invocation.steps.value(0);
    if (first.verb == Verb::AuditVerify)
        co_return finished(auditVerify(first));
    if (first.verb == Verb::AuditList)
        co_return finished(auditList(first));
    if (!co_await open(invocation))
        co_return finished(ExitNoSupply);
    int code = ExitDone;
    for (const Step &step : invocation.steps) {
        if (interrupted_)
            break;
        silentReplies_ = 0;
        state_.setLinkAnswering(true);
        co_await sleepFor(PollTickMs);
        if (interrupted_)
            break;
        code = co_await runStep(step);
        if (code != ExitDone)
            break;
    }
    if (interrupted_)
        fail(!hvSwitchedOn_ && (state_.xrayOn() || state_.hvEnabled())
                 ? QStringLiteral("interrupted; the high voltage was on before this run and is "
                                  "left on")
                 : QStringLiteral("interrupted"));
    // Radiation this run switched on does not outlive a Ctrl+C or a failure.
    if (hvSwitchedOn_ && (interrupted_ || code != ExitDone)) {
        co_await sleepFor(PollTickMs);
        const parse::Ack ack =
            co_await acknowledged([this] { return ops_.highVoltageTask(false, ops_.offAsked()); });
        if (ack == parse::Ack::Taken) {
            fail(QStringLiteral("high voltage switched off"));
        } else {
            fail(QStringLiteral("switching the high voltage off: %1").arg(ackName(ack)));
            if (code == ExitDone)
                code = ack == parse::Ack::Refused ? ExitRefused : ExitNoSupply;
        }
    }
    close();
    // An interrupted run ends with its own code once the high voltage is safely off.
    if (interrupted_ && code == ExitDone)
        code = interruptCode_;
    co_return finished(code);
}

Task<int> Runner::runStep(const Step &step) {
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
        return highVoltage(true, step.warnSeconds);
    case Verb::HvOff:
        return highVoltage(false);
    case Verb::Reset:
        return reset();
    case Verb::Shutdown:
        return shutdown();
    case Verb::Send:
        return send(step);
    case Verb::Season:
        return season(step);
    case Verb::AuditVerify:
    case Verb::AuditList:
        break;
    }
    return done(ExitUsage);
}

Task<int> Runner::done(int code) {
    co_return code;
}

Task<> Runner::inCommand(std::function<Task<>()> body) {
    co_await link_.run(this, std::move(body));
}

Task<parse::Ack> Runner::acknowledged(std::function<Task<parse::Ack>()> operation) {
    // By reference: GCC 12 destroys the by-value captures of a lambda made in a
    // co_await expression twice. This frame outlives the command.
    parse::Ack result = parse::Ack::NoReply;
    co_await inCommand([&operation, &result]() -> Task<> { result = co_await operation(); });
    co_return result;
}

int Runner::report(const QString &command, parse::Ack ack, QJsonObject json, const QString &people,
                   const QString &reason, bool otherRefuses) {
    json.insert(QStringLiteral("command"), command);
    json.insert(QStringLiteral("result"), ackName(ack));
    const bool refused = ack == parse::Ack::Refused || (ack == parse::Ack::Other && otherRefuses);
    if (!reason.isEmpty())
        json.insert(QStringLiteral("reason"), reason);
    print(json, people + QStringLiteral(": ") + ackName(ack));
    if (ack == parse::Ack::Taken)
        return ExitDone;
    fail(QStringLiteral("%1: %2").arg(
        command, refused
                     ? (reason.isEmpty() ? QStringLiteral("the supply refused")
                                         : QStringLiteral("the supply refused (%1)").arg(reason))
                 : ack == parse::Ack::NoReply ? QStringLiteral("the supply did not answer")
                                              : QStringLiteral("no acknowledgement")));
    return refused ? ExitRefused : ExitNoSupply;
}

Task<int> Runner::identity() {
    QJsonObject json{{"command", "identity"}};
    QString people;
    for (int f = 0; f < IdentityFieldCount; ++f) {
        const auto field = IdentityField(f);
        const char *key = identityKey(field);
        co_await sleepFor(PollTickMs);
        co_await inCommand([this, field]() -> Task<> { co_await ops_.identityTask(field); });
        if (silent())
            co_return noReply(QStringLiteral("identity"));
        json.insert(QLatin1String(key), state_.identity(field));
        people +=
            QStringLiteral("%1 %2\n").arg(QString(key).leftJustified(9), state_.identity(field));
    }
    print(json, people.trimmed());
    co_return ExitDone;
}

Task<int> Runner::status() {
    co_await inCommand([this] { return ops_.scalingTask(); });
    if (silent())
        co_return noReply(QStringLiteral("status"));
    SupplySample sample;
    const auto connection =
        connect(&state_, &SupplyState::sampled, this, [&](const SupplySample &s) { sample = s; });
    for (std::size_t i = 0; i < SupplyOps::PollSteps.size(); ++i) {
        co_await sleepFor(PollTickMs);
        co_await inCommand([this] { return ops_.pollTask(); });
        if (silent()) {
            disconnect(connection);
            co_return noReply(QStringLiteral("status"));
        }
    }
    disconnect(connection);
    QJsonObject json = jsonRow(sample);
    json.insert(QStringLiteral("command"), QStringLiteral("status"));
    print(json, peopleReport(sample).trimmed());
    co_return ExitDone;
}

Task<int> Runner::watch(const Step &step) {
    // One header per run, so the watches of a chain make one table.
    if (step.csv && !csvHeaderDone_) {
        csvHeaderDone_ = true;
        out_ << csvHeader() << '\n';
        out_.flush();
    }
    co_await inCommand([this] { return ops_.scalingTask(); });
    if (silent())
        co_return noReply(QStringLiteral("watch"));
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
            co_await sleepFor(PollTickMs);
            co_await inCommand(
                [this, f]() -> Task<> { co_await ops_.identityTask(IdentityField(f)); });
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
            if (!co_await pause(PollTickMs))
                co_return done(ExitDone);
            co_await inCommand([this] { return ops_.pollTask(); });
            if (silent())
                co_return done(noReply(QStringLiteral("watch")));
        }
        if (step.csv) {
            out_ << csvRow(sample) << '\n';
            out_.flush();
        } else {
            QJsonObject json = jsonRow(sample);
            json.insert(QStringLiteral("command"), QStringLiteral("watch"));
            print(json, peopleLine(sample));
        }
        if (n == step.count || !co_await pause(step.intervalMs - static_cast<int>(cycle.elapsed())))
            co_return done(ExitDone);
    }
}

Task<int> Runner::set(const Step &step) {
    const QString unit = QLatin1String(unitOf(step.channel));
    const QString command = QStringLiteral("set");
    co_await inCommand([this] { return ops_.scalingTask(); });
    if (silent())
        co_return noReply(command);
    const double perBit = state_.perBit(step.channel);
    if (!(perBit > 0)) {
        fail(QStringLiteral("set: the supply reported no full scale for %1").arg(unit));
        co_return ExitNoSupply;
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
        co_return ExitUsage;
    }
    const int count = dacCountFrom(counts);
    json.insert(QStringLiteral("count"), count);
    co_await sleepFor(PollTickMs);
    const parse::Ack ack = co_await acknowledged(
        [this, channel = step.channel, count] { return ops_.programTask(channel, count); });
    const QString reason = co_await reasonFor(ack, false);
    co_return report(command, ack, json,
                     QStringLiteral("%1 setpoint %2 %1 (%3 counts)")
                         .arg(unit, QString::number(count * perBit, 'f', 3))
                         .arg(count),
                     reason, false);
}

Task<int> Runner::highVoltage(bool on, int warnSeconds) {
    // The warning before X-rays: Ctrl+C during it ends the run with nothing sent.
    for (int left = warnSeconds; left > 0; --left) {
        err_ << QStringLiteral("X-rays on in %1 s\a").arg(left) << '\n';
        err_.flush();
        if (!co_await pause(1000))
            co_return ExitDone;
    }
    // Ctrl+C during the wait before this command: nothing is switched on.
    if (on && interrupted_)
        co_return ExitDone;
    // Set before sending: a lost acknowledgement may still have switched it on.
    if (on)
        hvSwitchedOn_ = true;
    const quint64 offSeen = ops_.offAsked();
    const parse::Ack ack =
        co_await acknowledged([this, on, offSeen] { return ops_.highVoltageTask(on, offSeen); });
    if (ack == parse::Ack::Taken || ack == parse::Ack::Refused)
        hvSwitchedOn_ = on && ack == parse::Ack::Taken;
    const QString reason = co_await reasonFor(ack, false);
    co_return report(QStringLiteral("hv"), ack, {{"on", on}},
                     on ? QStringLiteral("High voltage on") : QStringLiteral("High voltage off"),
                     reason, false);
}

int Runner::auditVerify(const Step &step) {
    const QString folder = step.auditDir.isEmpty() ? defaultAuditFolder() : step.auditDir;
    const QList<AuditFile> files = readAuditFiles(folder);
    int entries = 0;
    if (const auto broken = verifyChain(files, &entries)) {
        print({{"command", "audit verify"},
               {"intact", false},
               {"file", broken->file},
               {"line", broken->line},
               {"why", broken->why}},
              {});
        fail(QStringLiteral("audit verify: %1 line %2: %3")
                 .arg(QDir(folder).filePath(broken->file))
                 .arg(broken->line)
                 .arg(broken->why));
        return ExitBroken;
    }
    print({{"command", "audit verify"}, {"intact", true}, {"entries", entries}},
          QStringLiteral("Audit trail intact: %1 entries in %2 files in %3")
              .arg(entries)
              .arg(files.size())
              .arg(folder));
    return ExitDone;
}

int Runner::auditList(const Step &step) {
    const QList<QJsonObject> entries = auditEntries(
        readAuditFiles(step.auditDir.isEmpty() ? defaultAuditFolder() : step.auditDir));
    for (const QJsonObject &e : entries) {
        const auto text = [&](const char *key) { return e.value(QLatin1String(key)).toString(); };
        if (text("time") < step.since)
            continue;
        QString people =
            QStringLiteral("%1  %2@%3  %4  %5")
                .arg(text("time"), text("user"), text("host"), text("program"), text("action"));
        if (!text("before").isEmpty() || !text("after").isEmpty())
            people += QStringLiteral("  %1 -> %2").arg(text("before"), text("after"));
        people += QStringLiteral("  ") + text("outcome");
        if (!text("reason").isEmpty())
            people += QStringLiteral("  (%1)").arg(text("reason"));
        print(e, people);
    }
    return ExitDone;
}

Task<int> Runner::reset() {
    // By reference, as in acknowledged().
    parse::FaultReset reset;
    co_await inCommand([this, &reset]() -> Task<> { reset = co_await ops_.faultResetTask(); });
    const parse::Ack ack = reset.ack;
    const bool clearing = reset.clearing;
    const QString reason = co_await reasonFor(ack, false);
    co_return report(QStringLiteral("reset"), ack, {{"clearing", clearing}},
                     QStringLiteral("Fault reset"), reason, false);
}

Task<int> Runner::shutdown() {
    // As the console's Shutdown: off first, whatever this run did, its reply
    // not awaited; then the hand-back.
    co_await inCommand([this] { return ops_.closingOffTask(); });
    hvSwitchedOn_ = false;
    const parse::Ack ack = co_await acknowledged([this] { return ops_.localControlTask(); });
    // The setpoints go to zero whatever the answer, and Ctrl+C does not stop them.
    // Each waits its full tick after the one before, however late that one went.
    link_.beginShutdown();
    QJsonArray zeroed;
    QStringList zeroedText;
    for (int i = 0; i < SupplyOps::ZeroedChannels; ++i) {
        co_await sleepFor(i == 0 ? 2 * ExitTickMs : ExitTickMs);
        link_.commandFinal([this, i] { return ops_.zeroChannelTask(i); });
        zeroed.append(QString::fromLatin1(SupplyOps::zeroingPayload(i)));
        zeroedText.append(QString::fromLatin1(SupplyOps::zeroingPayload(i)));
    }
    // After the hand-back the status is the supply's own business: no reason read.
    co_return report(QStringLiteral("shutdown"), ack, {{"zeroed", zeroed}},
                     QStringLiteral("Setpoints zeroed: %1\nLocal control")
                         .arg(zeroedText.join(QLatin1Char(' '))),
                     QString(), true);
}

Task<int> Runner::send(const Step &step) {
    // By reference, as in acknowledged().
    QByteArray reply;
    const bool on = switchesOn(step.payload);
    if (on && interrupted_)
        co_return ExitDone;
    const quint64 offSeen = ops_.offAsked();
    // Set before sending, as for hv on: Ctrl+C then switches it off.
    hvSwitchedOn_ = hvSwitchedOn_ || on;
    co_await inCommand([this, &reply, &payload = step.payload, on, offSeen]() -> Task<> {
        // An on waits behind nothing an off asked since can overtake.
        if (!on || ops_.offAsked() == offSeen)
            reply = co_await link_.exchange(payload);
    });
    if (reply.isEmpty())
        co_return noReply(QStringLiteral("send"));
    print({{"command", "send"},
           {"payload", visibleControls(step.payload)},
           {"reply", visibleControls(reply)}},
          visibleControls(reply));
    co_return ExitDone;
}

Task<int> Runner::season(const Step &step) {
    const QString command = QStringLiteral("season");
    QFile file(step.file);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("season: cannot read %1").arg(step.file));
        co_return ExitUsage;
    }
    const auto parsed = runs::parseSchedule(file.readAll());
    if (const auto *error = std::get_if<runs::ScheduleError>(&parsed)) {
        fail(QStringLiteral("season: %1: %2").arg(step.file, error->text()));
        co_return ExitUsage;
    }
    runs::Schedule schedule = std::get<runs::Schedule>(parsed);
    const quint64 offSeen = ops_.offAsked();
    if (schedule.name.isEmpty())
        schedule.name = QFileInfo(step.file).completeBaseName();
    co_await inCommand([this] { return ops_.scalingTask(); });
    if (silent())
        co_return noReply(command);
    // The report names the unit and its serial number.
    for (int f = 0; f < IdentityFieldCount; ++f) {
        co_await sleepFor(PollTickMs);
        if (interrupted_)
            co_return ExitDone;
        co_await inCommand([this, f]() -> Task<> { co_await ops_.identityTask(IdentityField(f)); });
        if (silent())
            co_return noReply(command);
    }
    const double kvPerBit = state_.kvPerBit(), maPerBit = state_.maPerBit();
    QString fault;
    for (int row = 0; row < int(schedule.steps.size()); ++row) {
        if (!runs::scheduledStep(schedule, row, kvPerBit, maPerBit, &fault)) {
            fail(QStringLiteral("season: ") + fault);
            co_return ExitUsage;
        }
    }
    if (const QStringList beyond = runs::stepsBeyondFullScale(schedule, kvPerBit, maPerBit);
        !beyond.isEmpty()) {
        fail(QStringLiteral("season: beyond the unit's full scale: %1")
                 .arg(beyond.join(QStringLiteral("; "))));
        co_return ExitUsage;
    }

    Timer clock(1000);
    runs::SeasoningEngine engine(ops_, clock, [&](int row, QString *why) {
        return runs::scheduledStep(schedule, row, kvPerBit, maPerBit, why);
    });
    runs::RunRecorder recorder(
        state_, link_, step.reportDir.isEmpty() ? runs::defaultRunFolder() : step.reportDir);
    recorder.watch(ops_);
    std::optional<runs::RunEnd> end;
    QString why;
    QElapsedTimer heard;
    heard.start();
    connect(&clock, &Timer::tick, &engine, &runs::SeasoningEngine::tick);
    connect(&engine, &runs::SeasoningEngine::ended, &engine,
            [&](runs::RunEnd e, const QString &text) {
                end = e;
                why = text;
                pausing_.wake();
            });
    connect(&engine, &runs::SeasoningEngine::stepStarted, &engine,
            [&](int row, const runs::SeasonStep &s) {
                if (row == runs::FinalRow)
                    recorder.closing();
                else
                    recorder.stepStarted(row + 1, s.kv, s.ma, s.seconds);
                if (row < runs::FinalRow)
                    print({{"command", command},
                           {"step", row + 1},
                           {"kv", s.kv},
                           {"ma", s.ma},
                           {"seconds", s.seconds}},
                          QStringLiteral("Step %1: %2 kV, %3 mA, %4 s")
                              .arg(row + 1)
                              .arg(s.kv)
                              .arg(s.ma)
                              .arg(s.seconds));
            });
    connect(&engine, &runs::SeasoningEngine::decided, &engine, [&](const runs::DecisionNote &note) {
        recorder.decision(note.json());
        QJsonObject line = note.json();
        line.insert(QLatin1String("command"), command);
        print(line, QStringLiteral("Step %1: %2, %3 arcs in the window%4")
                        .arg(note.step)
                        .arg(runs::decisionText(note.decision))
                        .arg(note.arcs)
                        .arg(note.to              ? QStringLiteral(", back to step %1").arg(note.to)
                             : note.why.isEmpty() ? QString()
                                                  : QStringLiteral(": ") + note.why));
    });
    connect(&link_, &DeviceLink::exchanged, &engine,
            [&](const QByteArray &, const QByteArray &, qint64, ExchangeOutcome outcome) {
                if (outcome == ExchangeOutcome::Ok || outcome == ExchangeOutcome::Refused)
                    heard.restart();
            });
    // Ctrl+C during the reads above: the run never starts.
    if (interrupted_ || ops_.offAsked() != offSeen)
        co_return ExitDone;
    recorder.begin(QStringLiteral("seasoning"),
                   QJsonDocument::fromJson(runs::scheduleJson(schedule)).object());
    engine.setAdaptive(schedule.adaptive);
    engine.start(offSeen);
    // The poll goes on between the steps: the record's samples and arcs, and
    // the sign that the supply still answers.
    while (engine.running()) {
        if (!co_await pause(PollTickMs)) {
            engine.stop();
            break;
        }
        if (heard.elapsed() > SeasonSilenceMs) {
            engine.stop(runs::RunEnd::LinkLost);
            break;
        }
        co_await inCommand([this] { return ops_.pollTask(); });
    }
    // The off and the zeros go out before the report is written.
    while (!link_.idle())
        co_await sleepFor(PollTickMs);
    const runs::RunEnd ending = end.value_or(runs::RunEnd::Interrupted);
    recorder.end(ending, why);
    const QString report = recorder.joinReport();
    if (ending == runs::RunEnd::LinkLost)
        fail(QStringLiteral("season: the supply was silent for more than %1 s")
                 .arg(SeasonSilenceMs / 1000));
    else if (ending != runs::RunEnd::Completed && !interrupted_)
        fail(QStringLiteral("season: the run ended early: %1%2")
                 .arg(runs::endText(ending), why.isEmpty() ? QString() : ": " + why));
    print({{"command", command}, {"end", runs::endText(ending)}, {"report", report}},
          QStringLiteral("Season %1\n%2").arg(runs::endText(ending), report));
    if (ending == runs::RunEnd::Completed || interrupted_)
        co_return ExitDone;
    co_return ending == runs::RunEnd::LinkLost ? ExitNoSupply : ExitRefused;
}

} // namespace zor::ctl
