#pragma once

#include <QByteArray>
#include <QCommandLineOption>
#include <QString>
#include <variant>

class QCommandLineParser;

namespace zor::telemetry {

// Where and how the console publishes: the broker, who it is to the broker and
// under which topic prefix. No host means telemetry is off.
struct BrokerSettings {
    QString url; // as typed: mqtt://host[:port] or mqtts://host[:port]
    QString host;
    int port = 0;
    bool tls = false;
    QString caFile; // mqtts: the authority that signed the broker's certificate
    QString user;
    QString passwordFile; // the password itself never comes from a command line or QSettings
    QByteArray password;
    QString topicPrefix;   // empty: zor/<serial number>
    int intervalMs = 0;    // 0: one sample per poll cycle
    bool discovery = true; // Home Assistant's configs under homeassistant/

    bool enabled() const { return !host.isEmpty(); }
    bool operator==(const BrokerSettings &) const = default;
};

struct BrokerAddress {
    QString host;
    int port = 0;
    bool tls = false;
};

// The broker a URL names, or what is wrong with it.
std::variant<BrokerAddress, QString> parseBrokerUrl(const QString &url);

// Checks the settings as typed and fills in the address and the password from
// its file; the reason when they will not do.
QString completeSettings(BrokerSettings &s);

// The prefix when none is given: zor/ and the serial number, made safe for a
// topic (no wildcards, no level separators).
QString defaultTopicPrefix(const QString &serialNumber);

// The telemetry options of zor-console and of zor-ctl's watch.
struct BrokerOptions {
    QCommandLineOption url{QStringLiteral("mqtt"),
                           QStringLiteral("Publish the supply's state to an MQTT broker: "
                                          "mqtt://host[:port] or mqtts://host[:port]."),
                           QStringLiteral("URL")};
    QCommandLineOption ca{QStringLiteral("mqtt-ca"),
                          QStringLiteral("Certificate authority for mqtts:// (default: the "
                                         "system's)."),
                          QStringLiteral("FILE")};
    QCommandLineOption user{QStringLiteral("mqtt-user"), QStringLiteral("User name at the broker."),
                            QStringLiteral("NAME")};
    QCommandLineOption passwordFile{QStringLiteral("mqtt-password-file"),
                                    QStringLiteral("Read the broker password from FILE."),
                                    QStringLiteral("FILE")};
    QCommandLineOption topic{QStringLiteral("mqtt-topic"),
                             QStringLiteral("Topic prefix (default: zor/<serial number>)."),
                             QStringLiteral("PREFIX")};
    QCommandLineOption interval{QStringLiteral("mqtt-interval"),
                                QStringLiteral("At most one sample per MS (default: every poll "
                                               "cycle)."),
                                QStringLiteral("MS")};

    QCommandLineOption noDiscovery{QStringLiteral("mqtt-no-discovery"),
                                   QStringLiteral("Publish no Home Assistant discovery configs.")};

    void addTo(QCommandLineParser &parser) const;
    // Off when --mqtt is not given; the reason when an option is wrong.
    std::variant<BrokerSettings, QString> read(const QCommandLineParser &parser) const;
};

// The Telemetry dialog's settings, kept between runs as the port is.
BrokerSettings rememberedBroker();
void rememberBroker(const BrokerSettings &s);

} // namespace zor::telemetry
