#include "broker.h"
#include "datarows.h"
#include "scripteddialogs.h"
#include "telemetryui/telemetrymenu.h"

#include <QCheckBox>
#include <QCommandLineParser>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTimeZone>

using namespace zor;
using namespace zor::telemetry;
using test::columns;
using test::row;
using namespace Qt::StringLiterals;

class TestTelemetry : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    // BrokerOptions as either program reads them; PW and CA stand for files
    // that exist, MISSING for one that does not.
    std::variant<BrokerSettings, QString> read(const QString &arguments) {
        QString line = arguments;
        line.replace("PW", dir_.filePath("pw")).replace("CA", dir_.filePath("ca.pem"));
        line.replace("MISSING", dir_.filePath("missing"));
        QCommandLineParser parser;
        const BrokerOptions options;
        options.addTo(parser);
        parser.parse(QStringList{"zor"} + line.split(' ', Qt::SkipEmptyParts));
        return options.read(parser);
    }

private slots:
    void initTestCase() {
        QFile pw(dir_.filePath("pw")), ca(dir_.filePath("ca.pem"));
        QVERIFY(pw.open(QIODevice::WriteOnly) && pw.write("s3cret word\r\nsecond line\n") > 0);
        QVERIFY(ca.open(QIODevice::WriteOnly) && ca.write("-----BEGIN CERTIFICATE-----\n") > 0);
    }

    void brokerUrl_data() {
        columns<QString, QString, int, bool, QString>("url", "host", "port", "tls", "error");
        row("plain", "mqtt://broker.lab", "broker.lab", 1883, false, QString());
        row("port", "mqtt://10.0.0.5:1884", "10.0.0.5", 1884, false, QString());
        row("tls", "mqtts://broker.lab/", "broker.lab", 8883, true, QString());
        row("ipv6", "MQTT://[::1]:2000", "::1", 2000, false, QString());
        row("web", "http://broker.lab", "", 0, false, "is not a broker address");
        row("no scheme", "broker.lab:1883", "", 0, false, "is not a broker address");
        row("port too big", "mqtt://h:70000", "", 0, false, "is not a broker address");
        row("no host", "mqtt://:1883", "", 0, false, "names no host");
        row("user", "mqtt://u:p@h", "", 0, false, "holds a user; give it with --mqtt-user");
        row("path", "mqtt://h/plant", "", 0, false, "has more than a host and a port");
        row("port 0", "mqtt://h:0", "", 0, false, "has no usable port");
    }
    void brokerUrl() {
        QFETCH(QString, url);
        QFETCH(QString, error);
        const auto parsed = parseBrokerUrl(url);
        if (!error.isEmpty()) {
            QCOMPARE(std::get<QString>(parsed),
                     QString("--mqtt: '%1' %2; use mqtt://host[:port] or mqtts://host[:port]")
                         .arg(url, error));
            return;
        }
        const auto &a = std::get<BrokerAddress>(parsed);
        QTEST(a.host, "host");
        QTEST(a.port, "port");
        QTEST(a.tls, "tls");
    }

    void options_data() {
        columns<QString, QString, QByteArray>("arguments", "error", "password");
        row("off", "", "", QByteArray());
        row("password, first line", "--mqtt mqtt://h --mqtt-user u --mqtt-password-file PW", "",
            "s3cret word"_ba);
        row("tls with CA", "--mqtt mqtts://h --mqtt-ca CA --mqtt-interval 500", "", QByteArray());
        row("user alone", "--mqtt-user u", "--mqtt-user needs --mqtt", QByteArray());
        row("unreadable password", "--mqtt mqtt://h --mqtt-user u --mqtt-password-file MISSING",
            "--mqtt-password-file: cannot read MISSING", QByteArray());
        row("password without user", "--mqtt mqtt://h --mqtt-password-file PW",
            "--mqtt-password-file: a password needs --mqtt-user", QByteArray());
        row("unreadable CA", "--mqtt mqtts://h --mqtt-ca MISSING", "--mqtt-ca: cannot read MISSING",
            QByteArray());
        row("CA without TLS", "--mqtt mqtt://h --mqtt-ca CA",
            "--mqtt-ca: only mqtts:// uses a certificate authority", QByteArray());
        row("interval 0", "--mqtt mqtt://h --mqtt-interval 0",
            "--mqtt-interval takes 1 to 86400000 ms", QByteArray());
        row("wildcard topic", "--mqtt mqtt://h --mqtt-topic plant/+",
            "--mqtt-topic: 'plant/+' may not hold + or # nor begin or end with /", QByteArray());
    }
    void options() {
        QFETCH(QString, arguments);
        QFETCH(QString, error);
        const auto settings = read(arguments);
        if (!error.isEmpty()) {
            QVERIFY(std::holds_alternative<QString>(settings));
            QVERIFY2(std::get<QString>(settings).startsWith(
                         error.replace("MISSING", dir_.filePath("missing"))),
                     qPrintable(std::get<QString>(settings)));
            return;
        }
        QTEST(std::get<BrokerSettings>(settings).password, "password");
        QCOMPARE(std::get<BrokerSettings>(settings).enabled(), !arguments.isEmpty());
    }

    // What a dashboard reads, to the letter.
    void payloads_data() {
        SupplySample s;
        s.cycle = 7;
        s.wallClock = QDateTime(QDate(2026, 12, 7), QTime(4, 5, 6, 789), QTimeZone::utc());
        s.readings[int(Quantity::KvMonitor)] = {"2048", 2048, 40.009768};
        s.readings[int(Quantity::MaMonitor)] = {"2925", 2925, 0.99975};
        s.readings[int(Quantity::KvSetpoint)] = {"2048", 2048, 40.009768};
        s.xrayOn = true;
        s.status.faults.arcOk = true;
        s.status.faults.overVoltageOk = false;
        s.status.faults.interlockOpen = false;
        s.status.psFault = true;
        s.arcCount = 2;
        s.failedReplies = 1;
        const Identity id{"A01", "ZOR80HR", "ZORSIM 1.00", "0103", "100000001-A00001"};
        columns<QByteArray, QByteArray>("payload", "expected");
        row("sample", samplePayload(s),
            R"({"arc_count":2,"arc_ok":true,"cycle":7,"failed_replies":1,"filament":null,)"
            R"("hv_on":true,"hv_switch":false,"interlock_open":false,"kv_monitor":40.01,"kv_setpoint":40.01,)"
            R"("lvps":null,"ma_monitor":1,"ma_setpoint":null,"operation_ok":null,)"
            R"("over_current_ok":null,"over_voltage_ok":false,"ps_fault":true,"temp_ok":null,)"
            R"("temperature":null,"time":"2026-12-07T04:05:06.789Z","under_current_ok":null,)"
            R"("under_voltage_ok":null,"watchdog_ok":null})"_ba);
        row("state", statePayload(s, true, id),
            R"({"faults":["over_voltage","ps"],"hv_on":true,"identity":{"build":"0103",)"
            R"("hardware":"A01","model":"ZOR80HR","serial":"100000001-A00001",)"
            R"("software":"ZORSIM 1.00"},"interlock_open":false,"link_answering":true,)"
            R"("status":"online"})"_ba);
        row("nothing known", statePayload({}, false, {}),
            R"({"faults":[],"hv_on":false,"identity":{"build":"","hardware":"","model":"",)"
            R"("serial":"","software":""},"interlock_open":null,"link_answering":false,)"
            R"("status":"online"})"_ba);
        row("event", eventPayload({s.wallClock, "HV on confirmed"}),
            R"({"text":"HV on confirmed","time":"2026-12-07T04:05:06.789Z"})"_ba);
        row("default topic", defaultTopicPrefix(" SN 42/7#").toUtf8(), "zor/SN_42_7_"_ba);
        row("no serial", defaultTopicPrefix("").toUtf8(), "zor/unknown"_ba);
    }
    void payloads() {
        QFETCH(QByteArray, payload);
        QTEST(payload, "expected");
    }

    // Controls > Telemetry...: a bad address stays to be corrected; a broker
    // that refuses the console shows "down" with its reason, in the event log too.
    void dialogAndRefusal() {
        test::ScriptedDialogs dialogs;
        test::Broker broker;
        QVERIFY(broker.start("allow_anonymous false"));
        SupplyState state;
        EventLog events(state);
        QWidget owner;
        QMenu menu;
        QStatusBar bar;
        Publisher publisher(state, &events);
        TelemetryMenu telemetry(publisher, &menu, &bar, &owner);
        QCOMPARE(telemetry.mnu_TELEMETRY->text(), "Telemetry...");
        dialogs.onModal = [&](QDialog &d) {
            auto &dialog = dynamic_cast<TelemetryDialog &>(d);
            dialog.chk_PUBLISH->setChecked(true);
            dialog.txt_URL->setText("mqtt://h/plant");
            dialog.OKButton_Click();
            QCOMPARE(dialog.result(), int(QDialog::Rejected)); // still open
            dialog.txt_URL->setText(broker.url());
            dialog.OKButton_Click();
        };
        telemetry.mnu_TELEMETRY->trigger();
        QCOMPARE(dialogs.shown.size(), 2); // the dialog and one message
        QCOMPARE(dialogs.shown[1].text, "Telemetry settings not taken");
        QVERIFY(dialogs.shown[1].informative.contains("has more than a host and a port"));
        QCOMPARE(telemetry.lbl_TELEMETRY->text(), "MQTT: connecting");
        QCOMPARE(telemetry.publisher.reason(), "waiting for the serial number");
        state.setIdentity(IdentityField::SerialNumber, "SN 42");
        QTRY_COMPARE(telemetry.lbl_TELEMETRY->text(),
                     "MQTT: down (Connection Refused: not authorised.)");
        QCOMPARE(telemetry.publisher.topicPrefix(), "zor/SN_42");
        QCOMPARE(events.entries().constLast().text,
                 QString("Telemetry cannot connect to %1: Connection Refused: not authorised.")
                     .arg(broker.url()));
        QCOMPARE(rememberedBroker().url, broker.url());
    }

    // mqtts: the broker's certificate, checked against the authority given.
    void tls() {
        const QString key = dir_.filePath("key.pem"), cert = dir_.filePath("cert.pem");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                                  "-out", cert, "-subj", "/CN=127.0.0.1", "-days", "1", "-addext",
                                  "subjectAltName=IP:127.0.0.1"});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        test::Broker broker;
        QVERIFY(
            broker.start(QString("allow_anonymous true\ncertfile %1\nkeyfile %2").arg(cert, key)));
        SupplyState state;
        Publisher publisher(state, nullptr);
        BrokerSettings s;
        s.url = QString("mqtts://127.0.0.1:%1").arg(broker.port);
        s.caFile = cert;
        s.topicPrefix = "zor/tls";
        QVERIFY(completeSettings(s).isEmpty());
        publisher.start(s);
        QTRY_COMPARE(publisher.status(), Publisher::Status::Connected);
    }

    // Each audit line goes to PREFIX/audit, not retained: a copy off the machine.
    void auditLines() {
        test::Broker broker;
        QVERIFY(broker.start());
        test::Subscriber sub(broker, "zor/a/#");
        QVERIFY(sub.subscribed());
        SupplyState state;
        Publisher publisher(state, nullptr);
        BrokerSettings s;
        s.url = QString("mqtt://127.0.0.1:%1").arg(broker.port);
        s.topicPrefix = "zor/a";
        QVERIFY(completeSettings(s).isEmpty());
        publisher.start(s);
        QTRY_COMPARE(publisher.status(), Publisher::Status::Connected);
        publisher.publishAudit(R"({"action":"HV on"})");
        QTRY_COMPARE(sub.on("zor/a/audit"), QStringList{R"({"action":"HV on"})"});
        test::Subscriber late(broker, "zor/a/audit");
        QVERIFY(late.subscribed());
        QTest::qWait(200);
        QVERIFY(late.on("zor/a/audit").isEmpty());
    }
};

QTEST_MAIN(TestTelemetry)
#include "tst_telemetry.moc"
