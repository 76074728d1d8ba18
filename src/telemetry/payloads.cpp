#include "telemetry/payloads.h"

#include "records/samplerow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace zor::telemetry {

namespace {

QString utc(const QDateTime &t) {
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray compact(const QJsonObject &o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray samplePayload(const SupplySample &s) {
    QJsonObject o = jsonRow(s);
    o.insert(QStringLiteral("time"), utc(s.wallClock));
    return compact(o);
}

QByteArray statePayload(const SupplySample &s, bool linkAnswering, const Identity &identity) {
    const QJsonObject row = jsonRow(s);
    QJsonArray faults;
    for (auto it = row.begin(); it != row.end(); ++it) {
        if (it.key().endsWith(QLatin1String("_ok")) && it.value() == QJsonValue(false))
            faults.append(it.key().chopped(3));
    }
    if (row.value(QLatin1String("ps_fault")) == QJsonValue(true))
        faults.append(QStringLiteral("ps"));
    QJsonObject id;
    for (int i = 0; i < IdentityFieldCount; ++i)
        id.insert(QLatin1String(identityKey(IdentityField(i))), identity[i]);
    return compact({{"status", "online"},
                    {"link_answering", linkAnswering},
                    {"hv_on", row.value(QLatin1String("hv_on"))},
                    {"interlock_open", row.value(QLatin1String("interlock_open"))},
                    {"faults", faults},
                    {"identity", id}});
}

QByteArray eventPayload(const EventLog::Entry &e) {
    return compact({{"time", utc(e.at)}, {"text", e.text}});
}

} // namespace zor::telemetry
