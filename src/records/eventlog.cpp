#include "records/eventlog.h"

#include "records/datalog.h"
#include "supply/supplyops.h"

#include <QSaveFile>

namespace zor {

namespace {

// A flag whose healthy state is true: raised on a known false, cleared on the way back.
void okFlag(QStringList &out, const QString &name, std::optional<bool> before,
            std::optional<bool> after) {
    if (after == false && before != false)
        out << name + QStringLiteral(" fault raised");
    else if (after == true && before == false)
        out << name + QStringLiteral(" fault cleared");
}

// A flag whose alarming state is true.
void alarmFlag(QStringList &out, const QString &raised, const QString &cleared,
               std::optional<bool> before, std::optional<bool> after) {
    if (after == true && before != true)
        out << raised;
    else if (after == false && before == true)
        out << cleared;
}

} // namespace

QStringList detectEvents(const EventSnapshot &before, EventSnapshot &after) {
    QStringList out;
    if (after.hvOn != before.hvOn)
        out << (after.hvOn ? QStringLiteral("HV on confirmed")
                           : QStringLiteral("HV off confirmed"));
    const auto &b = before.status.faults, &a = after.status.faults;
    okFlag(out, QStringLiteral("Arc"), b.arcOk, a.arcOk);
    okFlag(out, QStringLiteral("Over temperature"), b.tempOk, a.tempOk);
    okFlag(out, QStringLiteral("Over voltage"), b.overVoltageOk, a.overVoltageOk);
    okFlag(out, QStringLiteral("Under voltage"), b.underVoltageOk, a.underVoltageOk);
    okFlag(out, QStringLiteral("Over current"), b.overCurrentOk, a.overCurrentOk);
    okFlag(out, QStringLiteral("Under current"), b.underCurrentOk, a.underCurrentOk);
    okFlag(out, QStringLiteral("Watchdog"), b.watchdogOk, a.watchdogOk);
    okFlag(out, QStringLiteral("Operation"), b.operationOk, a.operationOk);
    alarmFlag(out, QStringLiteral("PS fault raised"), QStringLiteral("PS fault cleared"),
              before.status.psFault, after.status.psFault);
    alarmFlag(out, QStringLiteral("Interlock open"), QStringLiteral("Interlock closed"),
              b.interlockOpen, a.interlockOpen);
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
            const bool kv = op == SupplyOps::Operation::ProgramKv;
            const QString unit = kv ? QStringLiteral("kV") : QStringLiteral("mA");
            const Reading r = state_.setpoint(kv ? Channel::Kv : Channel::Ma);
            append(taken ? QStringLiteral("%1 setpoint programmed: %2 %1")
                               .arg(unit, fileNumber(r.value, 3))
                         : outcome(QStringLiteral("%1 setpoint").arg(unit), ack));
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
