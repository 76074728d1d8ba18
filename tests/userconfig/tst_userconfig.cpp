#include "factory/configmenu.h"
#include "fakeports.h"
#include "platform/numedit.h"
#include "scripteddialogs.h"
#include "shell/mainwindow.h"
#include "userconfig/frm_prog_conf.h"

#include <QAction>
#include <QCheckBox>
#include <QTest>

using namespace zor;
using namespace zor::test;

namespace {

const QString ArcRateWarning = QStringLiteral(
    "An invalid arc rate(Time period/Arc Count) of more than 1 arc per second has been\r\n"
    "entered, these values along with the other variables in the command string have\r\n"
    "been disregard by the HVPS.");
const QString NoArcDetectWarning = QStringLiteral(
    "The No Arc Detect mode(NAD) has been enabled.  In this mode the HVPS has no Arc shutdown "
    "protection.\r\n"
    "The HVPS is designed to handle an arc rate of 1 arc per second.  Exceeding 1 arc per "
    "second\r\n"
    "could cause damage to the HVPS.  HVPS failure caused by excessive arcing will not be covered "
    "under\r\n"
    "the warranty.");

// A console on COMM1 in manual update whose supply answers "27," with `options`.
struct Console {
    ScriptedDialogs dialogs;
    FakeRig rig;
    frm_SDIMAIN window{rig.factory()};

    explicit Console(const QByteArray &options) {
        window.setProgramEnd([] {});
        if (options.isNull())
            rig.supply.silentOn("27,");
        else
            rig.supply.on("27,", options);
        window.Form_Load();
        window.MSComm1().setPortName(QStringLiteral("1"));
        window.MSComm1().open();
        window.linkMode = QStringLiteral("comm1");
        dialogs.shown.clear();
    }
    QList<QByteArray> sent() const { return rig.supply.payloads(); }

    // Opens the page as its (disabled) menu entry would, and runs the script on it.
    void open(const std::function<void(frm_prog_conf &)> &script) {
        dialogs.onModal = [script](QDialog &d) { script(dynamic_cast<frm_prog_conf &>(d)); };
        window.configMenu->mnu_UserConfig_Click();
    }
};

QString controls(const frm_prog_conf &p) {
    const auto check = [](const QCheckBox *b) {
        return b->checkState() == Qt::Checked ? "1" : b->checkState() == Qt::Unchecked ? "0" : "2";
    };
    const auto edit = [](const NumEdit *e) {
        return QString::number(e->value()) + (e->isEnabled() ? "" : "x");
    };
    return QStringList{check(p.check_rov), edit(p.CWNumEdit1), edit(p.CWNumEdit2),
                       check(p.check_aol), edit(p.CWNumEdit3), edit(p.CWNumEdit4),
                       edit(p.CWNumEdit5), check(p.Check1),    check(p.Check2)}
        .join(u',');
}

} // namespace

class TestUserConfig : public QObject {
    Q_OBJECT
private slots:
    void entryStaysDisabled() {
        Console c("27,0,0,0,0,0,0,0,0,0,");
        QVERIFY(!c.window.menu.mnu_UserConfig->isEnabled());
    }

    // Controls: check state or editor value, "x" after a disabled editor.
    void readThenSaveAtOnce_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("controls");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("example") << QByteArray("27,1,105,25,0,3,10,20,1,0,")
                                 << "1,105,2.5,0,3,10,20,1,0"
                                 << QByteArray("09,1,105,25,0,3,10,20,1,0,");
        QTest::newRow("no arc detect")
            << QByteArray("27,0,0,1,1,0,0,5,0,1,") << "0,0x,0.1,1,0x,0x,5,0,1"
            << QByteArray("09,0,0,1,1,0,0,5,0,1,");
        QTest::newRow("level clipped by the editor")
            << QByteArray("27,1,150,600,0,0,0,0,0,0,") << "1,110,60,0,0,0,0,0,0"
            << QByteArray("09,1,110,600,0,0,0,0,0,0,");
        QTest::newRow("no reply") << QByteArray() << "0,0x,0.1,0,0,0,0,0,0"
                                  << QByteArray("09,0,0,0,0,0,0,0,0,0,");
        QTest::newRow("fields cut short") << QByteArray("27,1,105,25") << "0,0x,0.1,0,0,0,0,0,0"
                                          << QByteArray("09,1,105,0,0,0,0,0,0,0,");
        QTest::newRow("level not a number")
            << QByteArray("27,1,abc,25,1,3,10,20,1,1,") << "1,0,0.1,0,0,0,0,0,0"
            << QByteArray("09,1,abc,25,1,3,10,20,1,1,");
    }
    void readThenSaveAtOnce() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, controls);
        QFETCH(QByteArray, saved);
        Console c(reply.isEmpty() ? QByteArray() : reply);
        c.rig.supply.on(saved, "09,$");
        c.open([&](frm_prog_conf &page) {
            QCOMPARE(page.windowTitle(), QStringLiteral("Form1"));
            QCOMPARE(::controls(page), controls);
            page.Command1_Click();
        });
        QCOMPARE(c.sent(), (QList<QByteArray>{"27,", saved}));
        QVERIFY(c.dialogs.messages().isEmpty());
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
    }

    void controlsRewriteTheirOptions() {
        Console c("27,1,105,25,0,3,10,20,1,1,");
        c.rig.supply.on("09,0,105,1,1,3,10,7,0,0,", "09,$");
        c.open([&](frm_prog_conf &page) {
            QVERIFY(!page.CWNumEdit3->isEnabled());
            QVERIFY(!page.CWNumEdit4->isEnabled());
            page.Check2->setChecked(false);
            QVERIFY(page.CWNumEdit3->isEnabled());
            QVERIFY(page.CWNumEdit4->isEnabled());
            page.check_rov->setChecked(false);
            QVERIFY(!page.CWNumEdit1->isEnabled());
            QCOMPARE(page.optRampTenths, QStringLiteral("25"));
            page.CWNumEdit2->setValue(0.1);
            page.check_aol->setChecked(true);
            page.CWNumEdit5->setValue(7);
            page.Check1->setChecked(false);
            page.Command1_Click();
        });
        QCOMPARE(c.sent().last(), QByteArray("09,0,105,1,1,3,10,7,0,0,"));
    }

    void saveWarnings_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("arc rate") << QByteArray("09,1,") << QStringList{ArcRateWarning};
        QTest::newRow("no arc detect") << QByteArray("09,2,") << QStringList{NoArcDetectWarning};
        QTest::newRow("acknowledged") << QByteArray("09,$") << QStringList{};
        QTest::newRow("other digit") << QByteArray("09,3,") << QStringList{};
    }
    void saveWarnings() {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, messages);
        Console c("27,0,0,1,0,0,0,0,0,0,");
        c.rig.supply.on("09,0,0,1,0,0,0,0,0,0,", answer);
        c.open([&](frm_prog_conf &page) { page.Command1_Click(); });
        QCOMPARE(c.dialogs.messages(), messages);
        for (const auto &shown : c.dialogs.shown)
            if (shown.kind == QLatin1String("message"))
                QCOMPARE(shown.title, QStringLiteral("User Configs"));
    }
};

QTEST_MAIN(TestUserConfig)
#include "tst_userconfig.moc"
