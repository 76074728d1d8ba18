#include "telemetry/brokersettings.h"

#include "platform/numbertext.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>

namespace zor::telemetry {

namespace {

constexpr int MqttPort = 1883;
constexpr int MqttsPort = 8883;
constexpr int MaxIntervalMs = 86'400'000;

QString unreadable(const QString &what, const QString &path, const QFile &file) {
    return QStringLiteral("%1: cannot read %2: %3").arg(what, path, file.errorString());
}

} // namespace

std::variant<BrokerAddress, QString> parseBrokerUrl(const QString &text) {
    const auto wrong = [&](const QString &why) {
        return QStringLiteral("--mqtt: '%1' %2; use mqtt://host[:port] or mqtts://host[:port]")
            .arg(text, why);
    };
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        return wrong(QStringLiteral("is not a broker address"));
    if (url.host().isEmpty())
        return wrong(QStringLiteral("names no host"));
    if (!url.userInfo().isEmpty())
        return wrong(QStringLiteral("holds a user; give it with --mqtt-user"));
    if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment())
        return wrong(QStringLiteral("has more than a host and a port"));
    if (url.port() == 0)
        return wrong(QStringLiteral("has no usable port"));
    const bool tls = scheme == QLatin1String("mqtts");
    return BrokerAddress{url.host(), url.port(tls ? MqttsPort : MqttPort), tls};
}

QString completeSettings(BrokerSettings &s) {
    const auto address = parseBrokerUrl(s.url);
    if (const auto *why = std::get_if<QString>(&address))
        return *why;
    const auto &a = std::get<BrokerAddress>(address);
    if (!s.caFile.isEmpty() && !a.tls)
        return QStringLiteral("--mqtt-ca: only mqtts:// uses a certificate authority");
    if (!s.caFile.isEmpty()) {
        QFile ca(s.caFile);
        if (!ca.open(QIODevice::ReadOnly))
            return unreadable(QStringLiteral("--mqtt-ca"), s.caFile, ca);
    }
    if (!s.passwordFile.isEmpty()) {
        if (s.user.isEmpty())
            return QStringLiteral("--mqtt-password-file: a password needs --mqtt-user");
        QFile file(s.passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            return unreadable(QStringLiteral("--mqtt-password-file"), s.passwordFile, file);
        // The first line; an editor's line end is not part of the password.
        s.password = file.readLine();
        while (s.password.endsWith('\n') || s.password.endsWith('\r'))
            s.password.chop(1);
    }
    if (s.topicPrefix.contains(QRegularExpression(QStringLiteral("[+#\\x00]"))) ||
        s.topicPrefix.startsWith('/') || s.topicPrefix.endsWith('/'))
        return QStringLiteral("--mqtt-topic: '%1' may not hold + or # nor begin or end with /")
            .arg(s.topicPrefix);
    if (s.intervalMs < 0 || s.intervalMs > MaxIntervalMs)
        return QStringLiteral("--mqtt-interval takes 1 to %1 ms").arg(MaxIntervalMs);
    s.host = a.host;
    s.port = a.port;
    s.tls = a.tls;
    return {};
}

QString defaultTopicPrefix(const QString &serialNumber) {
    QString serial = serialNumber.trimmed();
    serial.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return QStringLiteral("zor/") + (serial.isEmpty() ? QStringLiteral("unknown") : serial);
}

void BrokerOptions::addTo(QCommandLineParser &parser) const {
    parser.addOptions({url, ca, user, passwordFile, topic, interval, noDiscovery});
}

std::variant<BrokerSettings, QString> BrokerOptions::read(const QCommandLineParser &parser) const {
    BrokerSettings s;
    if (!parser.isSet(url)) {
        for (const QCommandLineOption *o :
             {&ca, &user, &passwordFile, &topic, &interval, &noDiscovery}) {
            if (parser.isSet(*o))
                return QStringLiteral("--%1 needs --mqtt").arg(o->names().constFirst());
        }
        return s;
    }
    s.url = parser.value(url);
    s.caFile = parser.value(ca);
    s.user = parser.value(user);
    s.passwordFile = parser.value(passwordFile);
    s.topicPrefix = parser.value(topic);
    s.discovery = !parser.isSet(noDiscovery);
    if (parser.isSet(topic) && s.topicPrefix.isEmpty())
        return QStringLiteral("--mqtt-topic: the prefix is empty");
    if (parser.isSet(interval)) {
        const auto ms = plainWhole(parser.value(interval), MaxIntervalMs);
        if (!ms || *ms < 1)
            return QStringLiteral("--mqtt-interval takes 1 to %1 ms").arg(MaxIntervalMs);
        s.intervalMs = *ms;
    }
    if (QString why = completeSettings(s); !why.isEmpty())
        return why;
    return s;
}

BrokerSettings rememberedBroker() {
    QSettings settings;
    settings.beginGroup(QStringLiteral("telemetry"));
    BrokerSettings s;
    s.url = settings.value(QStringLiteral("url")).toString();
    s.caFile = settings.value(QStringLiteral("ca")).toString();
    s.user = settings.value(QStringLiteral("user")).toString();
    s.passwordFile = settings.value(QStringLiteral("passwordFile")).toString();
    s.topicPrefix = settings.value(QStringLiteral("topic")).toString();
    s.intervalMs = settings.value(QStringLiteral("intervalMs"), 0).toInt();
    return s;
}

void rememberBroker(const BrokerSettings &s) {
    QSettings settings;
    settings.beginGroup(QStringLiteral("telemetry"));
    settings.setValue(QStringLiteral("url"), s.url);
    settings.setValue(QStringLiteral("ca"), s.caFile);
    settings.setValue(QStringLiteral("user"), s.user);
    settings.setValue(QStringLiteral("passwordFile"), s.passwordFile);
    settings.setValue(QStringLiteral("topic"), s.topicPrefix);
    settings.setValue(QStringLiteral("intervalMs"), s.intervalMs);
}

} // namespace zor::telemetry
