#include "broker.h"
#include "datarows.h"
#include "scripteddialogs.h"
#include "telemetryui/telemetrymenu.h"

#include "platform/isotime.h"

#include <QCheckBox>
#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTimeZone>
#include <mosquitto.h>
#include <thread>

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
        const QByteArray time = isoTime(s.wallClock).toUtf8();
        columns<QByteArray, QByteArray>("payload", "expected");
        row("sample", samplePayload(s),
            R"({"arc_count":2,"arc_ok":true,"cycle":7,"failed_replies":1,)"
            R"("hv_on":true,"hv_switch":false,"interlock_open":false,"kv_monitor":40.01,"kv_setpoint":40.01,)"
            R"("ma_monitor":1,"over_voltage_ok":false,"ps_fault":true,"time":"TIME"})"_ba.replace(
                "TIME", time));
        row("state", statePayload(s.wallClock, false, s, true, id),
            R"({"console":"running","faults":["over_voltage","ps"],"hv_on":true,"identity":{"build":"0103",)"
            R"("hardware":"A01","model":"ZOR80HR","serial":"100000001-A00001",)"
            R"("software":"ZORSIM 1.00"},"interlock_open":false,"link_answering":true,)"
            R"("time":"TIME"})"_ba.replace("TIME", time));
        row("nothing known, ended", statePayload(s.wallClock, true, {}, false, {}),
            R"({"console":"ended","faults":[],"hv_on":false,"identity":{},"link_answering":false,)"
            R"("time":"TIME"})"_ba.replace("TIME", time));
        row("event",
            eventPayload({s.wallClock, "Arc counted (2)", EventType::Arc, {{"arc_count", 2}}}),
            R"x({"severity":"warning","text":"Arc counted (2)","time":"TIME","type":"arc",)x"
            R"("values":{"arc_count":2}})"_ba.replace("TIME", time));
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
        const int wide = bar.sizeHint().width();
        state.setIdentity(IdentityField::SerialNumber, "SN 42");
        // The reason is cut to the label's room, whole in its tip: the bar
        // (and the window) does not widen.
        QTRY_VERIFY(telemetry.lbl_TELEMETRY->toolTip().startsWith(
            "MQTT: down (Connection Refused: not authorised.)\n"));
        QVERIFY(telemetry.lbl_TELEMETRY->text().startsWith("MQTT: down ("));
        QCOMPARE(bar.sizeHint().width(), wide);
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

    // What a dashboard arriving late finds retained: presence, the units from the
    // quantity table, the state, Home Assistant's configs with ids that survive a
    // restart; the events typed as they come.
    void retainedTopics() {
        test::Broker broker;
        QVERIFY(broker.start());
        SupplyState state;
        EventLog events(state);
        state.setIdentity(IdentityField::Model, "ZOR80HR");
        state.setIdentity(IdentityField::SerialNumber, "SN 42");
        BrokerSettings s;
        s.url = broker.url();
        s.topicPrefix = "zor/r";
        QVERIFY(completeSettings(s).isEmpty());
        const auto json = [](const QString &text) {
            return QJsonDocument::fromJson(text.toUtf8()).object();
        };
        const auto retained = [&](const QString &topic) {
            test::Subscriber late(broker, topic);
            (void)late.subscribed();
            QTest::qWait(300);
            return late.lines.filter(QRegularExpression("^[a-z]+/"))
                .replaceInStrings(QRegularExpression("^(\\S+) "), "\\1\t");
        };
        QSet<QString> firstIds;
        std::optional<Publisher> publisher;
        std::optional<test::Subscriber> live;
        for (int run = 0; run < 2; ++run) {
            publisher.reset();
            if (run == 1)
                QVERIFY(live.emplace(broker, "zor/r/#").subscribed());
            publisher.emplace(state, &events);
            publisher->start(s);
            QTRY_COMPARE(publisher->status(), Publisher::Status::Connected);
            QSet<QString> ids;
            for (const QString &l : retained("homeassistant/#")) {
                const QJsonObject c = json(l.section('\t', 1));
                QCOMPARE(c["availability_topic"].toString(), "zor/r/availability");
                QCOMPARE(c["device"]["name"].toString(), "ZOR80HR SN 42");
                QVERIFY(!l.contains("command_topic"));
                ids << c["unique_id"].toString();
            }
            QCOMPARE(ids.size(), QuantityCount + 1 + int(std::size(StatusFlags)));
            QVERIFY(run == 0 || ids == firstIds);
            firstIds = ids;
        }
        publisher->publishAudit(R"({"action":"HV on"})");
        QTRY_COMPARE(live->on("zor/r/audit"), QStringList{R"({"action":"HV on"})"});
        const QStringList all = retained("zor/r/#");
        QVERIFY(all.contains("zor/r/availability\tonline") && all.filter("zor/r/audit").isEmpty());
        const QJsonObject meta = json(all.filter("zor/r/meta\t").value(0).section('\t', 1));
        for (const QuantityInfo &q : Quantities)
            QCOMPARE(meta[q.key].toObject(),
                     QJsonObject({{"name", q.name}, {"unit", q.unit}, {"decimals", q.decimals}}));
        const QString stateText = all.filter("zor/r/state\t").value(0).section('\t', 1);
        QVERIFY(!stateText.contains("null") && parseIsoTime(json(stateText)["time"].toString()));

        state.setXrayOn(true);
        StatusBits bits;
        bits.faults.overVoltageOk = false;
        bits.faults.interlockOpen = true;
        state.setStatus(bits);
        state.countFailedReply();
        QStringList typed;
        QTRY_COMPARE((typed = live->on("zor/r/event")).size(), 5);
        for (QString &e : typed) {
            const QJsonObject o = json(e);
            QVERIFY(parseIsoTime(o["time"].toString()));
            e = o["type"].toString() + ' ' + o["severity"].toString();
        }
        QCOMPARE(typed, QStringList({"telemetry info", "hv_on_confirmed warning", "fault alarm",
                                     "interlock_open alarm", "link_lost alarm"}));
    }

    // The broker's name is looked up off this thread: a name server that never
    // answers leaves the poll and the off key their turns.
    void hangingLookup() {
        SupplyState state;
        Publisher publisher(state, nullptr);
        std::atomic<bool> called = false, release = false;
        publisher.setConnectCall([&](mosquitto *, const char *, int, int) {
            called = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return int(MOSQ_ERR_EAI);
        });
        BrokerSettings s;
        s.url = "mqtts://broker.invalid";
        s.topicPrefix = "zor/h";
        QVERIFY(completeSettings(s).isEmpty());
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(10);
        publisher.start(s);
        QTRY_VERIFY(called);
        QTest::qWait(300);
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QCOMPARE(publisher.status(), Publisher::Status::Connecting);
        release = true;
        QTRY_COMPARE(publisher.status(), Publisher::Status::Down);
    }
};

QTEST_MAIN(TestTelemetry)
#include "tst_telemetry.moc"
