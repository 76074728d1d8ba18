#include "records/eventlog.h"

#include "records/samplerow.h"
#include "supply/supplyops.h"

#include <QSaveFile>

namespace zor {

QStringList detectEvents(const EventSnapshot &before, EventSnapshot &after) {
    QStringList out;
    if (after.hvOn != before.hvOn)
        out << (after.hvOn ? QStringLiteral("HV on confirmed")
                           : QStringLiteral("HV off confirmed"));
    for (const FlagInfo &f : StatusFlags) {
        const std::optional<bool> was = f.of(before.status), is = f.of(after.status);
        if (is == f.alarm && was != f.alarm)
            out << QString::fromLatin1(f.raised);
        else if (is == !f.alarm && was == f.alarm)
            out << QString::fromLatin1(f.cleared);
    }
    if (after.arcCount > before.arcCount)
        out << QStringLiteral("Arc counted (%1)").arg(after.arcCount);
    else if (after.arcCount < before.arcCount)
        out << QStringLiteral("Arc count cleared");
    if (after.arcArmed != before.arcArmed)
        out << (after.arcArmed ? QStringLiteral("Arc counting armed")
                               : QStringLiteral("Arc counting disarmed"));
    after.linkLost = before.linkLost;
    if (after.failedReplies > before.failedReplies) {
        if (!before.linkLost)
            out << QStringLiteral("Link lost");
        after.linkLost = true;
    } else if (before.linkLost && after.linkAnswering && !before.linkAnswering) {
        out << QStringLiteral("Link restored");
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
    append(QStringLiteral("Port changed: %1").arg(transport));
}

void EventLog::refresh() {
    EventSnapshot now{state_.xrayOn(),
                      state_.status(),
                      state_.arcCount(),
                      state_.arcArmed(),
                      state_.failedReplies(),
                      state_.linkAnswering(),
                      false};
    const QStringList events = detectEvents(last_, now);
    last_ = now;
    for (const QString &e : events)
        append(e);
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
            append(taken ? QStringLiteral("%1 programmed: %2 %3")
                               .arg(name, fileNumber(state_.reading(q.id).value, q.decimals),
                                    QString::fromLatin1(q.unit))
                         : outcome(name, ack));
            break;
        }
        case SupplyOps::Operation::ResetFault:
            append(outcome(QStringLiteral("Fault reset"), ack));
            break;
        case SupplyOps::Operation::LocalControl:
            append(outcome(QStringLiteral("Local control"), ack));
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
            append(text);
            break;
        }
        }
    });
}

void EventLog::note(const QString &text) {
    append(text);
}

void EventLog::append(const QString &text) {
    entries_.append({clock_(), text});
    file_.append(line(entries_.last()));
    emit added(entries_.last());
}

QString EventLog::line(const Entry &e) {
    return fileTime(e.at) + QStringLiteral("  ") + e.text;
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
