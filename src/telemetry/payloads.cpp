#include "telemetry/payloads.h"

#include "platform/isotime.h"
#include "records/samplerow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace zor::telemetry {

namespace {

QByteArray compact(const QJsonObject &o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonObject known(const QJsonObject &row) {
    QJsonObject out;
    for (auto it = row.begin(); it != row.end(); ++it)
        if (!it.value().isNull())
            out.insert(it.key(), it.value());
    return out;
}

// Home Assistant's name for what a unit measures, where it has one.
struct HaUnit {
    const char *unit;
    const char *haUnit;
    const char *deviceClass;
};
constexpr HaUnit HaUnits[] = {{"kV", "kV", "voltage"},
                              {"V", "V", "voltage"},
                              {"mA", "mA", "current"},
                              {"A", "A", "current"},
                              {"degC", "°C", "temperature"}};

QString objectId(const QString &serial) {
    return QStringLiteral("zor_") +
           QString(serial).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")),
                                   QStringLiteral("_"));
}

} // namespace

QByteArray samplePayload(const SupplySample &s) {
    return compact(known(jsonRow(s)));
}

QByteArray statePayload(const QDateTime &at, bool ended, const SupplySample &s, bool linkAnswering,
                        const Identity &identity) {
    const QJsonObject row = known(jsonRow(s));
    QJsonArray faults;
    for (auto it = row.begin(); it != row.end(); ++it) {
        if (it.key().endsWith(QLatin1String("_ok")) && it.value() == QJsonValue(false))
            faults.append(it.key().chopped(3));
    }
    if (row.value(QLatin1String("ps_fault")) == QJsonValue(true))
        faults.append(QStringLiteral("ps"));
    QJsonObject id;
    for (int i = 0; i < IdentityFieldCount; ++i)
        if (!identity[i].isEmpty())
            id.insert(QLatin1String(identityKey(IdentityField(i))), identity[i]);
    QJsonObject o{{"time", isoTime(at)},
                  {"console", ended ? "ended" : "running"},
                  {"link_answering", linkAnswering},
                  {"faults", faults},
                  {"identity", id}};
    for (const char *key : {"hv_on", "interlock_open"})
        if (row.contains(QLatin1String(key)))
            o.insert(QLatin1String(key), row.value(QLatin1String(key)));
    return compact(o);
}

QByteArray eventPayload(const EventLog::Entry &e) {
    const EventTypeInfo &t = eventInfo(e.type);
    QJsonObject o{{"time", isoTime(e.at)},
                  {"type", QLatin1String(t.key)},
                  {"severity", severityKey(t.severity)},
                  {"text", e.text}};
    if (!e.values.isEmpty())
        o.insert(QStringLiteral("values"), e.values);
    return compact(o);
}

QByteArray metaPayload() {
    QJsonObject o{{"time", QJsonObject{{"name", "time"}, {"format", "ISO 8601 with UTC offset"}}},
                  {"cycle", QJsonObject{{"name", "poll cycle"}, {"decimals", 0}}}};
    for (const SampleColumn &c : sampleColumns()) {
        QJsonObject k{{"name", c.header.section(QStringLiteral(" ["), 0, 0)}};
        if (c.decimals < 0) {
            k.insert(QStringLiteral("type"), QStringLiteral("boolean"));
            k.insert(QStringLiteral("true_means"), c.unit.section('=', 1));
        } else {
            k.insert(QStringLiteral("unit"), c.unit);
            k.insert(QStringLiteral("decimals"), c.decimals);
        }
        o.insert(c.key, k);
    }
    return compact(o);
}

QList<std::pair<QByteArray, QByteArray>> discoveryConfigs(const QString &prefix,
                                                          const Identity &identity) {
    const QString serial = identity[int(IdentityField::SerialNumber)].trimmed();
    if (serial.isEmpty())
        return {};
    const QString id = objectId(serial), model = identity[int(IdentityField::Model)].trimmed();
    QJsonObject device{{"identifiers", QJsonArray{id}},
                       {"name", (model.isEmpty() ? QStringLiteral("ZOR") : model) + ' ' + serial},
                       {"manufacturer", "ZOR"},
                       {"serial_number", serial}};
    if (!model.isEmpty())
        device.insert(QStringLiteral("model"), model);
    if (const QString sw = identity[int(IdentityField::FirmwareRevision)].trimmed(); !sw.isEmpty())
        device.insert(QStringLiteral("sw_version"), sw);
    QList<std::pair<QByteArray, QByteArray>> out;
    const auto add = [&](const char *component, const QString &key, QJsonObject config) {
        config.insert(QStringLiteral("unique_id"), id + '_' + key);
        config.insert(QStringLiteral("object_id"), id + '_' + key);
        config.insert(QStringLiteral("state_topic"), prefix + QStringLiteral("/sample"));
        config.insert(QStringLiteral("availability_topic"),
                      prefix + QStringLiteral("/availability"));
        config.insert(QStringLiteral("device"), device);
        out.append({QStringLiteral("homeassistant/%1/%2/%3/config")
                        .arg(QLatin1String(component), id, key)
                        .toUtf8(),
                    compact(config)});
    };
    for (const QuantityInfo &q : Quantities) {
        const QString key = QLatin1String(q.key);
        QJsonObject c{{"name", QLatin1String(q.name)},
                      {"state_class", "measurement"},
                      {"suggested_display_precision", q.decimals},
                      {"value_template", QStringLiteral("{{ value_json.%1 }}").arg(key)},
                      {"unit_of_measurement", QLatin1String(q.unit)}};
        for (const HaUnit &u : HaUnits)
            if (qstrcmp(u.unit, q.unit) == 0) {
                c.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(u.haUnit));
                c.insert(QStringLiteral("device_class"), QLatin1String(u.deviceClass));
            }
        add("sensor", key, c);
    }
    // On means trouble for every flag but the high voltage itself.
    const auto binary = [&](const QString &key, const QString &name, const char *deviceClass,
                            bool onWhenTrue) {
        add("binary_sensor", key,
            {{"name", name},
             {"device_class", QLatin1String(deviceClass)},
             {"value_template",
              QStringLiteral("{{ ('%1' if value_json.%3 else '%2') if value_json.%3 is defined "
                             "else None }}")
                  .arg(onWhenTrue ? "ON" : "OFF", onWhenTrue ? "OFF" : "ON", key)}});
    };
    binary(QStringLiteral("hv_on"), QStringLiteral("HV on"), "power", true);
    for (const FlagInfo &f : StatusFlags) {
        const QString name = QLatin1String(f.name);
        if (qstrcmp(f.key, "interlock_open") == 0)
            binary(QLatin1String(f.key), QStringLiteral("interlock open"), "safety", true);
        else
            binary(QLatin1String(f.key),
                   name.endsWith(QLatin1String("fault")) ? name : name + QStringLiteral(" fault"),
                   "problem", f.alarm);
    }
    return out;
}

} // namespace zor::telemetry
