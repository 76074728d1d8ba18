#include "monitor/identityframe.h"
#include "shell/frm_extras.h"
#include "tst_monitor.h"

#include <QPushButton>
#include <QTest>

using namespace zor;
using namespace zor::test;

namespace {

// "text|background" of one field.
QString look(QLineEdit *field) {
    return field->text() + "|" + field->palette().color(QPalette::Base).name();
}

void press(Console &c, const QString &button) {
    auto *b = c.window.findChild<QPushButton *>(button);
    QVERIFY(b);
    b->click();
}

} // namespace

class TestIdentity : public QObject {
    Q_OBJECT
private slots:
    void reads_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("looks");
        QTest::newRow("hardware") << "btn_HWREV" << QByteArray("HWVR;") << QByteArray("B02;")
                                  << QStringList{"txt_HWREV"} << QStringList{"B02|#ffffff"};
        QTest::newRow("hardware two characters")
            << "btn_HWREV" << QByteArray("HWVR;") << QByteArray("B2;") << QStringList{"txt_HWREV"}
            << QStringList{"B2;|#ffffff"};
        QTest::newRow("model without ';'")
            << "btn_MODNUM" << QByteArray("MODR;") << QByteArray("ZOR80HR")
            << QStringList{"txt_MODNUM"} << QStringList{"Unknown|#ff0000"};
        QTest::newRow("software revision and build")
            << "btn_SWREV" << QByteArray("FREV;") << QByteArray("V1.02.03-AB....B0147,x;")
            << QStringList{"txt_SWREV", "txt_SWBUILD"}
            << QStringList{"V1.02.03-AB|#ffffff", "B0147|#ffffff"};
        QTest::newRow("software revision too short for its build")
            << "btn_SWREV" << QByteArray("FREV;") << QByteArray("V1.02.03-AB;")
            << QStringList{"txt_SWREV", "txt_SWBUILD"}
            << QStringList{"V1.02.03-AB|#ffffff", "Unknown|#ff0000"};
        QTest::newRow("software build")
            << "btn_SWBuild" << QByteArray("SOFT;") << QByteArray("2.7;")
            << QStringList{"txt_SWBUILD"} << QStringList{"2.7|#ffffff"};
        QTest::newRow("serial number")
            << "btn_serialNum_rqst" << QByteArray("SNUR;") << QByteArray("ZR12345;")
            << QStringList{"txt_serialNum_rqst"} << QStringList{"ZR12345|#ffffff"};
    }
    // Each read first fails on a closed port (no reply at once), then reads
    // again: the value replaces "Unknown" on red, or a bad reply leaves it.
    void reads() {
        QFETCH(QString, button);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, looks);
        Console c;
        c.window.MSComm1().close();
        press(c, button);
        QStringList unknown;
        for (const QString &name : fields)
            unknown << look(c.field(name));
        QCOMPARE(unknown, QStringList(fields.size(), QStringLiteral("Unknown|#ff0000")));
        QCOMPARE(c.window.commErrorCount, 1);
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 1"));

        c.window.MSComm1().open();
        c.rig.supply.on(payload, reply);
        press(c, button);
        QStringList seen;
        for (const QString &name : fields)
            seen << look(c.field(name));
        QCOMPARE(seen, looks);
        QCOMPARE(c.sent(), QList<QByteArray>{payload});
        QCOMPARE(c.window.commErrorCount, 1);
    }

    void hardwareRevisionPrompt_data() {
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("boxes");
        QTest::newRow("confirmation cancelled")
            << false << "A02" << QByteArray("40,$") << QList<QByteArray>{} << "Rev. ??" << 1;
        QTest::newRow("input cancelled")
            << true << "" << QByteArray("40,$") << QList<QByteArray>{} << "Change Failed" << 2;
        QTest::newRow("two characters")
            << true << "A0" << QByteArray("40,$") << QList<QByteArray>{} << "Change Failed" << 2;
        QTest::newRow("five characters")
            << true << "A0201" << QByteArray("40,$") << QList<QByteArray>{} << "Change Failed" << 2;
        QTest::newRow("three characters accepted")
            << true << "A02" << QByteArray("40,$") << QList<QByteArray>{"40,A02,", "HWVR;"} << "A02"
            << 2;
        QTest::newRow("three characters refused")
            << true << "A02" << QByteArray("40,1") << QList<QByteArray>{"40,A02,"}
            << "Change Failed" << 2;
        QTest::newRow("field separator typed")
            << true << "A,2" << QByteArray("40,$") << QList<QByteArray>{} << "Change Failed" << 2;
    }
    void hardwareRevisionPrompt() {
        QFETCH(bool, confirmed);
        QFETCH(QString, typed);
        QFETCH(QByteArray, answer);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(QString, shown);
        QFETCH(int, boxes);
        Console c;
        c.rig.supply.on("40,A02,", answer);
        c.rig.supply.on("HWVR;", "A02;");
        c.dialogs.confirms.push_back(confirmed);
        c.dialogs.inputs.push_back(typed);
        c.window.identity->mnu_HWREV_Click();
        QCOMPARE(c.sent(), sent);
        QCOMPARE(c.window.identity->txt_HWREV->text(), shown);
        QCOMPARE(c.dialogs.shown.size(), boxes);
        QCOMPARE(c.dialogs.shown[0].text,
                 QStringLiteral("Are you sure you want to change the Rev Number?"));
        QCOMPARE(c.dialogs.shown[0].title, QStringLiteral("Decide Now!"));
        if (boxes > 1) {
            QCOMPARE(c.dialogs.shown[1].kind, QStringLiteral("input"));
            QCOMPARE(c.dialogs.shown[1].text, QStringLiteral("Enter the new HW Rev Number"));
            QCOMPARE(c.dialogs.shown[1].title, QStringLiteral("Change Hardware Revision Number"));
        }
        QCOMPARE(c.window.commErrorCount, 0);
    }
};

int zor::test::runIdentityTests(int argc, char *argv[]) {
    TestIdentity t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_identity.moc"
