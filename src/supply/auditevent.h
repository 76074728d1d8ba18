#pragma once

#include "supply/replyparse.h"

#include <QMetaType>
#include <QString>

namespace zor {

// How a write the audit trail records ended. Sent: the reply is not collected
// or not examined, so only the sending is known.
enum class AuditOutcome { Taken, Refused, NoReply, RefusedByOffGate, NotUnderstood, Sent };

// One write as SupplyOps saw it; the trail adds who, where and when. An empty
// before or after is not known to the model.
struct AuditEvent {
    QString action;
    QString before;
    QString after;
    AuditOutcome outcome = AuditOutcome::Sent;
    QString reason;
};

inline AuditOutcome auditOutcome(parse::Ack ack) {
    switch (ack) {
    case parse::Ack::Taken:
        return AuditOutcome::Taken;
    case parse::Ack::Refused:
        return AuditOutcome::Refused;
    case parse::Ack::NoReply:
        return AuditOutcome::NoReply;
    case parse::Ack::Other:
        break;
    }
    return AuditOutcome::NotUnderstood;
}

inline QString outcomeText(AuditOutcome o) {
    static const char *const Texts[] = {
        "taken", "refused", "no reply", "refused by the off gate", "not understood", "sent"};
    return QString::fromLatin1(Texts[static_cast<int>(o)]);
}

} // namespace zor

Q_DECLARE_METATYPE(zor::AuditEvent)
