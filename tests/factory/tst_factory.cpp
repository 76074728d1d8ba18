#include "factory/configmenu.h"
#include "factory/frm_baudrate.h"
#include "factory/frm_config.h"
#include "factory/serialnumberpage.h"
#include "fakeports.h"
#include "scripteddialogs.h"
#include "shell/frm_extras.h"
#include "shell/mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace zor;
using namespace zor::test;

namespace {

// A console on COMM1 in manual update. The supply answers the writes whose
// reply the pages collect; the others stay unanswered, since a late answer to
// a write the page never reads would only land in the next test step's read.
struct Console {
    ScriptedDialogs dialogs;
    FakeRig rig;
    frm_SDIMAIN window{rig.factory()};

    Console() {
        window.setProgramEnd([] {});
        for (const char *p : {"SLVP 8889;", "SLVP 8888.5;", "BAUD 1;", "BAUD 2;"})
            rig.supply.on(p, ";");
        window.Form_Load();
        window.MSComm1().setPortName(QStringLiteral("1"));
        window.MSComm1().open();
        window.linkMode = QStringLiteral("comm1");
        dialogs.shown.clear();
    }
    QList<QByteArray> sent() const { return rig.supply.payloads(); }

    // Opens a page from its menu entry and runs the script while it is up.
    template <class Page>
    void open(void (ConfigMenu::*entry)(), const std::function<void(Page &)> &script) {
        dialogs.onModal = [script](QDialog &dialog) { script(dynamic_cast<Page &>(dialog)); };
        (window.configMenu->*entry)();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void config(const std::function<void(frm_config &)> &script) {
        open<frm_config>(&ConfigMenu::mnu_Config_Click, script);
    }
    QStringList inputs() const {
        QStringList out;
        for (const auto &s : dialogs.shown)
            if (s.kind == QLatin1String("input"))
                out << s.text;
        return out;
    }
};

void enterKey(Console &c, frm_config &page) {
    c.dialogs.inputs.push_back(QStringLiteral("7061"));
    page.Command2_Click();
}

QStringList boxTexts(const frm_config &page) {
    QStringList out;
    for (const QLineEdit *box :
         {page.Txt_hwd, page.Txt_modl, page.Txt_scale, page.Txt_preheat, page.Txt_rampRate,
          page.Txt_arc, page.Txt_FilaOn, page.Txt_mA_ramp_rate, page.Txt_Fil_Ramp_Rate,
          page.Txt_mA_Offset, page.Txt_Fil_Ramp_Max})
        out << box->text();
    return out;
}

// Each parameter's handler, text box and exact prompt, by its command.
struct Button {
    void (frm_config::*handler)();
    const char *box;
    const char *prompt;
};
const QHash<QString, Button> Buttons = {
    {"HWVP", {&frm_config::hardware_Click, "Txt_hwd", "Enter HardWare Revision: EX. A01"}},
    {"MODP", {&frm_config::model_Click, "Txt_modl", "Enter Model Number: EX. ZOR80HR"}},
    {"SLVP",
     {&frm_config::progScale_Click, "Txt_scale",
      "Enter Voltage and Current separated by a comma:      EX. 88.89,2.22"}},
    {"FILP",
     {&frm_config::filaPreHeat_Click, "Txt_preheat",
      "Enter Filament PreHeat: 0-4095 (2660 bits = 2.66A)"}},
    {"FTON",
     {&frm_config::Btn_filTurnOn_Click, "Txt_FilaOn", "Enter The Filament Turn On Voltage(KV)"}},
    {"ARCP",
     {&frm_config::arc_Click, "Txt_arc",
      "Enter Arc Config: EX. 0 for Multiple Arcs, 1 Single Arc"}},
    {"RAMP",
     {&frm_config::KV_Ramp_Time_Click, "Txt_rampRate", "Enter KV Ramp Time: 20 - 100 (ms)"}},
    {"MRMP",
     {&frm_config::Btn_mA_Ramp_Time_Click, "Txt_mA_ramp_rate", "Enter mA Ramp Time: 1 - 500 (ms)"}},
    {"MAOF",
     {&frm_config::Btn_mA_offset_Click, "Txt_mA_Offset", "Enter the mA Offset: 0 - 0.300 (mA)"}},
    {"FMAX",
     {&frm_config::Fil_Limit_Max_Click, "Txt_Fil_Ramp_Max",
      "Enter the Filament Limit max value: 0 - 4.5 (A)"}},
    {"FRMP",
     {&frm_config::Btn_Fil_Ramp_Time_Click, "Txt_Fil_Ramp_Rate",
      "Enter the Filament Ramp time: 50 - 250 (ms)"}},
};

} // namespace

class TestFactory : public QObject {
    Q_OBJECT
private slots:
    void readBack_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("boxes"); // the eleven boxes, '|' between them
        QTest::addColumn<QString>("kvFullScale");
        QTest::newRow("example") << QByteArray(
                                        "A01,ZOR80HR,8889,2220,2660,50,0,2000,100,150,500,1500,")
                                 << "A01|ZOR80HR|88.89,2.220|2660|50|0|43.41|100|150|0.27|3.66"
                                 << "88.89";
        QTest::newRow("16000") << QByteArray("B,M,16000,1396,0,0,0,2000,0,0,0,100,")
                               << "B|M|160.00,1.396|0|0|0|78.14|0|0|0.00|.24"
                               << "160.00";
        QTest::newRow("10000") << QByteArray("B,M,10000,2220,") << "B|M|100.00,2.220||||||||"
                               << "100.00";
        QTest::newRow("9999") << QByteArray("B,M,9999,2220,") << "B|M|99.99,2.220||||||||"
                              << "99.99";
        QTest::newRow("no comma") << QByteArray("A01ZOR80HR") << "||||||||||"
                                  << "0";
        QTest::newRow("field 8 not a number")
            << QByteArray("A01,ZOR80HR,8889,2220,2660,50,0,2k,100,150,500,1500,")
            << "A01|ZOR80HR|88.89,2.220|2660|50|0|||||"
            << "88.89";
    }
    void readBack() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, boxes);
        QFETCH(QString, kvFullScale);
        Console c;
        c.rig.supply.on("CONF;", reply);
        c.config([&](frm_config &page) {
            enterKey(c, page);
            page.btn_getConf_Click();
            QCOMPARE(boxTexts(page).join(u'|'), boxes);
            QCOMPARE(page.kvFullScale, kvFullScale);
        });
        QCOMPARE(c.sent(), (QList<QByteArray>{"PASS 7061;", "CONF;"}));
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
    }

    void unlock_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("opens");
        QTest::newRow("right") << "7061" << true;
        QTest::newRow("trailing blank") << "7061 " << false;
        QTest::newRow("cancel") << "" << false;
        QTest::newRow("serial page key") << "2958" << false;
    }
    void unlock() {
        QFETCH(QString, key);
        QFETCH(bool, opens);
        Console c;
        c.config([&](frm_config &page) {
            const QList<QPushButton *> keyed = {
                page.hardware,      page.model,       page.progScale, page.filaPreHeat,
                page.Btn_filTurnOn, page.btn_getConf, page.arc};
            const QList<QPushButton *> never = {page.KV_Ramp_Time, page.Btn_mA_Ramp_Time,
                                                page.Btn_mA_offset, page.Fil_Limit_Max,
                                                page.Btn_Fil_Ramp_Time};
            for (QPushButton *b : keyed + never)
                QVERIFY(!b->isEnabled());
            QCOMPARE(page.kvFullScale, QStringLiteral("0"));
            QSignalSpy closed(&page, &QDialog::rejected);
            c.dialogs.inputs.push_back(key);
            page.Command2_Click();
            QCOMPARE(closed.count(), opens ? 0 : 1);
            for (QPushButton *b : keyed)
                QCOMPARE(b->isEnabled(), opens);
            for (QPushButton *b : never + QList<QPushButton *>{page.arc})
                QVERIFY(b->isHidden());
            for (QPushButton *b : never)
                QVERIFY(!b->isEnabled());
        });
        QCOMPARE(c.inputs(), QStringList{"Enter Key to UnLock:"});
        QCOMPARE(c.sent(), opens ? QList<QByteArray>{"PASS 7061;"} : QList<QByteArray>{});
    }

    void okLocksAgainOnReopen() {
        Console c;
        c.config([&](frm_config &page) {
            enterKey(c, page);
            page.kvFullScale = QStringLiteral("88.89");
            page.Command1_Click();
            QCOMPARE(page.result(), int(QDialog::Accepted));
        });
        QVERIFY(!c.window.forms.find<frm_config>());
        c.config([&](frm_config &page) {
            QVERIFY(!page.hardware->isEnabled());
            QVERIFY(!page.btn_getConf->isEnabled());
            QCOMPARE(page.kvFullScale, QStringLiteral("0"));
        });
    }

    void parameters_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<double>("kvPerBit");
        QTest::addColumn<QString>("kvFullScale");
        QTest::addColumn<QList<QByteArray>>("payloads");
        QTest::addColumn<QString>("box"); // what the parameter's box shows afterwards
        QTest::addColumn<QStringList>("messages");
        using P = QList<QByteArray>;
        const QString was = QStringLiteral("old");
        const QStringList none;
        const double kv80 = 80.0 / 4095;
        const QString framed = QStringLiteral("ZOR\r\n\x02VREF 4095;\x03");
        const QString wide = QString::fromUtf8("A\u0102\u010A");
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        // clang-format off
        row("RAMP 20")      << "RAMP" << "20"    << 0.0 << "0" << P{"RAMP 20;"}   << "20"  << none;
        row("RAMP 100")     << "RAMP" << "100"   << 0.0 << "0" << P{"RAMP 100;"}  << "100" << none;
        row("RAMP 19.9")    << "RAMP" << "19.9"  << 0.0 << "0" << P{}             << was   << none;
        row("RAMP 100.1")   << "RAMP" << "100.1" << 0.0 << "0" << P{}             << was   << none;
        row("RAMP cancel")  << "RAMP" << ""      << 0.0 << "0" << P{}             << was   << none;
        row("MRMP 1")       << "MRMP" << "1"     << 0.0 << "0" << P{"MRMP 1;"}    << "1"   << none;
        row("MRMP 500")     << "MRMP" << "500"   << 0.0 << "0" << P{"MRMP 500;"}  << "500" << none;
        row("MRMP 0.5")     << "MRMP" << "0.5"   << 0.0 << "0" << P{}             << was   << none;
        row("FRMP 50")      << "FRMP" << "50"    << 0.0 << "0" << P{"FRMP 50;"}   << "50"  << none;
        row("FRMP 250")     << "FRMP" << "250"   << 0.0 << "0" << P{"FRMP 250;"}  << "250" << none;
        row("FRMP 251")     << "FRMP" << "251"   << 0.0 << "0" << P{}             << was   << none;
        row("FMAX 4.5")     << "FMAX" << "4.5"   << 0.0 << "0" << P{"FMAX 1842;"} << "4.5" << none;
        row("FMAX 4.51")    << "FMAX" << "4.51"  << 0.0 << "0" << P{}             << was   << none;
        row("FMAX 0")       << "FMAX" << "0"     << 0.0 << "0" << P{"FMAX 0;"}    << "0"   << none;
        row("FMAX -100")    << "FMAX" << "-100"  << 0.0 << "0" << P{}             << "-100" << none;
        row("FTON kvPerBit")   << "FTON" << "20"  << kv80 << "0"     << P{"FTON 1024;"} << "20"  << none;
        row("FTON page scale") << "FTON" << "30"  << 0.0  << "80.00" << P{"FTON 1536;"} << "30"  << none;
        row("FTON no scale")   << "FTON" << "30"  << 0.0  << "0"     << P{}             << "30"
                               << QStringList{"Please Set Unit Scaling!"};
        row("FTON 16 bits")    << "FTON" << "900" << kv80 << "0"     << P{}             << "900" << none;
        row("FTON not number") << "FTON" << "2O"  << kv80 << "0"     << P{}             << "2O"  << none;
        row("MAOF 0.1")     << "MAOF" << "0.1"   << 0.0 << "0" << P{"MAOF 293;"}  << "0.1"  << none;
        row("FILP 5000")    << "FILP" << "5000"  << 0.0 << "0" << P{"FILP 5000;"} << "5000" << none;
        row("HWVP")         << "HWVP" << "A01"   << 0.0 << "0" << P{"HWVP A01;"}  << "A01"  << none;
        row("MODP cancel")  << "MODP" << ""      << 0.0 << "0" << P{"MODP ;"}     << ""     << none;
        row("ARCP")         << "ARCP" << "1"     << 0.0 << "0" << P{"ARCP 1;"}    << "1"    << none;
        row("no second frame") << "MODP" << framed << 0.0 << "0" << P{"MODP ZORVREF 4095;;"}
                               << framed << none;
        row("beyond 8 bits") << "HWVP" << wide << 0.0 << "0" << P{"HWVP A??;"} << wide << none;
        row("scaling")      << "SLVP" << "88.89,2.22"  << 0.0 << "0" << P{"SLVP 8889;", "SLIP 2220;"}
                            << "88.89,2.22" << none;
        row("scaling 8888.5") << "SLVP" << "88.885,2.22" << 0.0 << "0"
                              << P{"SLVP 8888.5;", "SLIP 2220;"} << "88.885,2.22" << none;
        row("scaling no comma") << "SLVP" << "88.89"   << 0.0 << "0" << P{} << "88.89"   << none;
        row("scaling bad mA")   << "SLVP" << "88.89,x" << 0.0 << "0" << P{} << "88.89,x" << none;
        // clang-format on
    }
    void parameters() {
        QFETCH(QString, command);
        QFETCH(QString, entry);
        QFETCH(double, kvPerBit);
        QFETCH(QString, kvFullScale);
        QFETCH(QList<QByteArray>, payloads);
        QFETCH(QString, box);
        QFETCH(QStringList, messages);
        Console c;
        c.window.kvPerBit = kvPerBit;
        c.config([&](frm_config &page) {
            enterKey(c, page);
            page.kvFullScale = kvFullScale;
            for (QLineEdit *b : page.findChildren<QLineEdit *>())
                b->setText(QStringLiteral("old"));
            c.dialogs.inputs.push_back(entry);
            const Button button = Buttons.value(command);
            (page.*button.handler)();
            QCOMPARE(page.findChild<QLineEdit *>(button.box)->text(), box);
            QCOMPARE(c.inputs().last(), QString::fromLatin1(button.prompt));
        });
        QCOMPARE(c.sent().mid(1), payloads);
        QCOMPARE(c.dialogs.messages(), messages);
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
    }

    void scalingSetsBothScales() {
        Console c;
        c.config([&](frm_config &page) {
            enterKey(c, page);
            c.dialogs.inputs.push_back(QStringLiteral("88.89,2.22"));
            page.progScale_Click();
            QCOMPARE(page.kvFullScale, QStringLiteral("88.89"));
            QCOMPARE(c.window.kvPerBit, 88.89 / 4095);
            QCOMPARE(c.window.maPerBit, 0.000341);
            // The page's own scale now serves the turn-on voltage.
            c.window.kvPerBit = 0.0;
            c.dialogs.inputs.push_back(QStringLiteral("10"));
            page.Btn_filTurnOn_Click();
        });
        QCOMPARE(c.sent().mid(1), (QList<QByteArray>{"SLVP 8889;", "SLIP 2220;", "FTON 461;"}));
    }

    void serialNumberReadUnknownThenWhiteAgain() {
        Console c;
        c.rig.supply.silentOn("SNUR;");
        c.open<Form1>(&ConfigMenu::mnu_Serial_Click, [&](Form1 &page) {
            QCOMPARE(page.windowTitle(), QStringLiteral("Serial Number"));
            QCOMPARE(page.Txt_serialNum->text(), QString());
            page.Btn_read_serialNum_Click();
            QCOMPARE(page.Txt_serialNum->text(), QStringLiteral("Unknown"));
            QCOMPARE(page.Txt_serialNum->palette().color(QPalette::Base), QColor(255, 0, 0));
            QCOMPARE(c.window.commErrorCount, 1);
            QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 1"));
            c.rig.supply.on("SNUR;", "101407139-A00041;");
            page.Btn_read_serialNum_Click();
            QCOMPARE(page.Txt_serialNum->text(), QStringLiteral("101407139-A00041"));
            QCOMPARE(page.Txt_serialNum->palette().color(QPalette::Base), QColor(Qt::white));
            c.rig.supply.on("SNUR;", "no terminator");
            page.Btn_read_serialNum_Click();
            QCOMPARE(page.Txt_serialNum->text(), QStringLiteral("101407139-A00041"));
        });
        QCOMPARE(c.window.commErrorCount, 1);
    }

    void serialNumberWriteIsLocked_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QList<QByteArray>>("payloads");
        QTest::newRow("right key")
            << "2958" << QList<QByteArray>{"PASS 2958;", "SNUS 101407139-A00041;"};
        QTest::newRow("configuration key") << "7061" << QList<QByteArray>{};
    }
    void serialNumberWriteIsLocked() {
        QFETCH(QString, key);
        QFETCH(QList<QByteArray>, payloads);
        Console c;
        c.open<Form1>(&ConfigMenu::mnu_Serial_Click, [&](Form1 &page) {
            QVERIFY(!page.Btn_serialNum->isEnabled());
            page.Btn_serialNum_Click();
            QVERIFY(c.inputs().isEmpty());
            c.dialogs.inputs = {key, QStringLiteral("101407139-A00041")};
            page.Command1_Click();
            page.Btn_serialNum_Click();
            if (!payloads.isEmpty())
                QCOMPARE(page.Txt_serialNum->text(), QStringLiteral("101407139-A00041"));
            page.Btn_ok_Click();
            QVERIFY(!page.Btn_serialNum->isEnabled());
        });
        QCOMPARE(c.sent(), payloads);
        c.open<Form1>(&ConfigMenu::mnu_Serial_Click,
                      [&](Form1 &page) { QVERIFY(!page.Btn_serialNum->isEnabled()); });
    }

    void baudSave_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("115,200 untouched") << 0 << QByteArray("BAUD 1;");
        QTest::newRow("9600") << 1 << QByteArray("BAUD 2;");
    }
    void baudSave() {
        QFETCH(int, position);
        QFETCH(QByteArray, payload);
        Console c;
        c.window.tmr_UPDATE.setInterval(100000);
        c.window.autoUpdate = true;
        c.window.tmr_UPDATE.setEnabled(true);
        c.window.tmr_NETRCVTMR.setEnabled(true);
        c.open<frm_baudRate>(&ConfigMenu::mnu_BaudRate_Click, [&](frm_baudRate &page) {
            QCOMPARE(page.windowTitle(), QStringLiteral("RS-232 Baud Rate Setting"));
            QVERIFY(!page.Bitslist->isEditable());
            QCOMPARE(page.Bitslist->count(), 2);
            QCOMPARE(page.Bitslist->currentText(), QStringLiteral("115,200"));
            page.Bitslist->setCurrentIndex(position);
            page.save_Click();
            QCOMPARE(page.result(), int(QDialog::Accepted));
        });
        QCOMPARE(c.sent(), QList<QByteArray>{payload});
        QVERIFY(!c.window.tmr_UPDATE.isEnabled());
        QVERIFY(!c.window.tmr_NETRCVTMR.isEnabled());
    }

    void pageOpensAfterAWaitingExchange() {
        Console c;
        c.rig.supply.on("VSET;", "1;", 150);
        bool waitedFor = false;
        c.dialogs.onModal = [&](QDialog &dialog) {
            waitedFor = !c.window.link.busy() && c.sent() == QList<QByteArray>{"VSET;"};
            dynamic_cast<frm_baudRate &>(dialog).save_Click();
        };
        QTimer::singleShot(30, &c.window, [&] { c.window.configMenu->mnu_BaudRate_Click(); });
        c.window.command([&] { c.window.link.exchange("VSET;"); });
        QTRY_COMPARE(c.sent(), (QList<QByteArray>{"VSET;", "BAUD 1;"}));
        QVERIFY(waitedFor);
    }
};

QTEST_MAIN(TestFactory)
#include "tst_factory.moc"
