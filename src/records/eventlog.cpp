#include "records/eventlog.h"

#include "platform/isotime.h"
#include "records/samplerow.h"
#include "supply/supplyops.h"

#include <QSaveFile>
#include <string_view>

namespace zor {

QList<DetectedEvent> detectEvents(const EventSnapshot &before, EventSnapshot &after) {
    QList<DetectedEvent> out;
    if (after.hvOn != before.hvOn)
        out.append(
            after.hvOn
                ? DetectedEvent{EventType::HvOnConfirmed, QStringLiteral("HV on confirmed"), {}}
                : DetectedEvent{EventType::HvOff, QStringLiteral("HV off confirmed"), {}});
    for (const FlagInfo &f : StatusFlags) {
        const std::optional<bool> was = f.of(before.status), is = f.of(after.status);
        const bool interlock = std::string_view(f.key) == "interlock_open";
        const QJsonObject flag{{QStringLiteral("flag"), QLatin1String(f.key)}};
        if (is == f.alarm && was != f.alarm)
            out.append({interlock ? EventType::InterlockOpen : EventType::Fault,
                        QString::fromLatin1(f.raised), flag});
        else if (is == !f.alarm && was == f.alarm)
            out.append({interlock ? EventType::InterlockClosed : EventType::FaultCleared,
                        QString::fromLatin1(f.cleared), flag});
    }
    const QJsonObject arcs{{QStringLiteral("arc_count"), after.arcCount}};
    if (after.arcCount > before.arcCount)
        out.append({EventType::Arc, QStringLiteral("Arc counted (%1)").arg(after.arcCount), arcs});
    else if (after.arcCount < before.arcCount)
        out.append({EventType::ArcCountCleared, QStringLiteral("Arc count cleared"), arcs});
    if (after.arcArmed != before.arcArmed)
        out.append({EventType::ArcCounting,
                    after.arcArmed ? QStringLiteral("Arc counting armed")
                                   : QStringLiteral("Arc counting disarmed"),
                    {{QStringLiteral("armed"), after.arcArmed}}});
    after.linkLost = before.linkLost;
    const QJsonObject failed{{QStringLiteral("failed_replies"), after.failedReplies}};
    if (after.failedReplies > before.failedReplies) {
        if (!before.linkLost)
            out.append({EventType::LinkLost, QStringLiteral("Link lost"), failed});
        after.linkLost = true;
    } else if (before.linkLost && after.linkAnswering && !before.linkAnswering) {
        out.append({EventType::LinkRestored, QStringLiteral("Link restored"), failed});
        after.linkLost = false;
    }
    return out;
}

EventLog::EventLog(SupplyState &state, QObject *parent)
    : QObject(parent), state_(state), clock_([] { return QDateTime::currentDateTime(); }) {
    refresh();
    for (auto changed : {&SupplyState::xrayOnChanged, &SupplyState::arcArmedChanged,
                         &SupplyState::linkAnsweringChanged})
        connect(&state, changed, this, &EventLog::refresh);
    connect(&state, &SupplyState::statusChanged, this, &EventLog::refresh);
    connect(&state, &SupplyState::arcCountChanged, this, &EventLog::refresh);
    connect(&state, &SupplyState::failedRepliesChanged, this, &EventLog::refresh);
    connect(&state, &SupplyState::noted, this, &EventLog::note);
    connect(&state, &SupplyState::transportChanged, this, &EventLog::portChanged);
}

QString EventLog::outcome(const QString &what, parse::Ack ack) {
    switch (ack) {
    case parse::Ack::Taken:
        return what;
    case parse::Ack::Refused:
        return what + QStringLiteral(" refused");
    case parse::Ack::NoReply:
        return what + QStringLiteral(": no reply");
    case parse::Ack::Other:
        break;
    }
    return what + QStringLiteral(": reply not understood");
}

void EventLog::portChanged(const QString &transport) {
    append(EventType::PortChanged, QStringLiteral("Port changed: %1").arg(transport),
           {{QStringLiteral("transport"), transport}});
}

void EventLog::refresh() {
    EventSnapshot now{state_.xrayOn(),
                      state_.status(),
                      state_.arcCount(),
                      state_.arcArmed(),
                      state_.failedReplies(),
                      state_.linkAnswering(),
                      false};
    const QList<DetectedEvent> events = detectEvents(last_, now);
    last_ = now;
    for (const DetectedEvent &e : events)
        append(e.type, e.text, e.values);
}

void EventLog::watch(SupplyOps &ops) {
    connect(&ops, &SupplyOps::answered, this, [this](SupplyOps::Operation op, parse::Ack ack) {
        const bool taken = ack == parse::Ack::Taken;
        switch (op) {
        case SupplyOps::Operation::ProgramKv:
        case SupplyOps::Operation::ProgramMa: {
            const QuantityInfo &q =
                info(op == SupplyOps::Operation::ProgramKv ? Quantity::KvSetpoint
                                                           : Quantity::MaSetpoint);
            const QString name = QString::fromLatin1(q.name);
            const QJsonObject values{
                {QLatin1String(q.key),
                 fileNumber(state_.reading(q.id).value, q.decimals).toDouble()}};
            if (taken)
                append(EventType::SetpointProgrammed,
                       QStringLiteral("%1 programmed: %2 %3")
                           .arg(name, fileNumber(state_.reading(q.id).value, q.decimals),
                                QString::fromLatin1(q.unit)),
                       values);
            else
                append(EventType::SetpointRefused, outcome(name, ack));
            break;
        }
        case SupplyOps::Operation::ResetFault:
            append(EventType::FaultReset, outcome(QStringLiteral("Fault reset"), ack));
            break;
        case SupplyOps::Operation::LocalControl:
            append(EventType::LocalControl, outcome(QStringLiteral("Local control"), ack));
            break;
        case SupplyOps::Operation::HvOn:
        case SupplyOps::Operation::HvOff: {
            // A confirmation shows in the lamp; a refusal says why when the
            // status does.
            if (ack != parse::Ack::Refused)
                break;
            const bool on = op == SupplyOps::Operation::HvOn;
            QString text = outcome(on ? QStringLiteral("HV on") : QStringLiteral("HV off"), ack);
            if (on && state_.interlockOpen() == true)
                text += QStringLiteral(": interlock open");
            QJsonObject values;
            if (state_.interlockOpen())
                values.insert(QStringLiteral("interlock_open"), *state_.interlockOpen());
            append(on ? EventType::HvOnRefused : EventType::HvOffRefused, text, values);
            break;
        }
        }
    });
}

void EventLog::note(EventType type, const QString &text, const QJsonObject &values) {
    append(type, text, values);
}

void EventLog::append(EventType type, const QString &text, const QJsonObject &values) {
    entries_.append({clock_(), text, type, values});
    file_.append(line(entries_.last()));
    emit added(entries_.last());
}

QString EventLog::line(const Entry &e) {
    return isoTime(e.at) + QStringLiteral("  ") + eventKey(e.type).leftJustified(19) +
           QStringLiteral("  ") + e.text;
}

QString EventLog::attach(const QString &path) {
    return file_.open(path) ? QString() : file_.error();
}

QString EventLog::saveTo(const QString &path) const {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    for (const Entry &e : entries_)
        out.write(line(e).toUtf8() + '\n');
    return out.commit() ? QString() : out.errorString();
}

} // namespace zor
