#include "diagnostics/commdiagnosticspage.h"
#include "factory/configmenu.h"
#include "factory/factoryconfigpage.h"
#include "factory/serialnumberpage.h"
#include "factory/unitbaudratedialog.h"
#include "testconsole.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <functional>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {

using Payloads = QList<QByteArray>;

// The supply answers the writes whose reply the pages collect; the others stay
// unanswered, since a late answer to a write the page never reads would only
// land in the next step's read.
struct Factory : Console {
    Factory() { answerAll({"SLVP 8889;", "SLVP 8888.5;", "BAUD 1;", "BAUD 2;"}, ";"); }

    // Opens a page from its menu entry and runs the script while it is up.
    template <class Page>
    void open(void (ConfigMenu::*entry)(), const std::function<void(Page &)> &script) {
        dialogs.onModal = [script](QDialog &dialog) { script(dynamic_cast<Page &>(dialog)); };
        // std::invoke: with GCC 12 and UBSan, `(p->*entry)()` here crashed on a null pointer.
        std::invoke(entry, window.menus.configMenu);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void config(const std::function<void(FactoryConfigPage &)> &script) {
        open<FactoryConfigPage>(&ConfigMenu::mnu_Config_Click, script);
    }
    void unlock(FactoryConfigPage &page) {
        dialogs.inputs.push_back(QStringLiteral("7061"));
        page.Command2_Click();
    }
};

QStringList boxTexts(const FactoryConfigPage &page) {
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
    void (FactoryConfigPage::*handler)();
    const char *box;
    const char *prompt;
};
// clang-format off
const QHash<QString, Button> Buttons = {
    {"HWVP", {&FactoryConfigPage::hardware_Click, "Txt_hwd", "Enter HardWare Revision: EX. A01"}},
    {"MODP", {&FactoryConfigPage::model_Click, "Txt_modl", "Enter Model Number: EX. ZOR80HR"}},
    {"SLVP", {&FactoryConfigPage::progScale_Click, "Txt_scale", "Enter Voltage and Current separated by a comma:      EX. 88.89,2.22"}},
    {"FILP", {&FactoryConfigPage::filaPreHeat_Click, "Txt_preheat", "Enter Filament PreHeat: 0-4095 (2660 bits = 2.66A)"}},
    {"FTON", {&FactoryConfigPage::Btn_filTurnOn_Click, "Txt_FilaOn", "Enter The Filament Turn On Voltage(KV)"}},
    {"ARCP", {&FactoryConfigPage::arc_Click, "Txt_arc", "Enter Arc Config: EX. 0 for Multiple Arcs, 1 Single Arc"}},
    {"RAMP", {&FactoryConfigPage::KV_Ramp_Time_Click, "Txt_rampRate", "Enter KV Ramp Time: 20 - 100 (ms)"}},
    {"MRMP", {&FactoryConfigPage::Btn_mA_Ramp_Time_Click, "Txt_mA_ramp_rate", "Enter mA Ramp Time: 1 - 500 (ms)"}},
    {"MAOF", {&FactoryConfigPage::Btn_mA_offset_Click, "Txt_mA_Offset", "Enter the mA Offset: 0 - 0.300 (mA)"}},
    {"FMAX", {&FactoryConfigPage::Fil_Limit_Max_Click, "Txt_Fil_Ramp_Max", "Enter the Filament Limit max value: 0 - 4.5 (A)"}},
    {"FRMP", {&FactoryConfigPage::Btn_Fil_Ramp_Time_Click, "Txt_Fil_Ramp_Rate", "Enter the Filament Ramp time: 50 - 250 (ms)"}},
};
// clang-format on

} // namespace

class TestFactory : public QObject {
    Q_OBJECT
private slots:
    void readBack_data() {
        columns<QByteArray, QString, QString>("reply", "boxes", "kvFullScale"); // boxes '|' apart
        row("example", "A01,ZOR80HR,8889,2220,2660,50,0,2000,100,150,500,1500,"_ba,
            "A01|ZOR80HR|88.89,2.220|2660|50|0|43.41|100|150|0.27|3.66", "88.89");
        row("16000", "B,M,16000,1396,0,0,0,2000,0,0,0,100,"_ba,
            "B|M|160.00,1.396|0|0|0|78.14|0|0|0.00|.24", "160.00");
        row("10000", "B,M,10000,2220,"_ba, "B|M|100.00,2.220||||||||", "100.00");
        row("9999", "B,M,9999,2220,"_ba, "B|M|99.99,2.220||||||||", "99.99");
        row("no comma", "A01ZOR80HR"_ba, "||||||||||", "0");
        row("field 8 not a number", "A01,ZOR80HR,8889,2220,2660,50,0,2k,100,150,500,1500,"_ba,
            "A01|ZOR80HR|88.89,2.220|2660|50|0|||||", "88.89");
    }
    void readBack() {
        const auto [reply, boxes, kvFullScale] =
            fetch<QByteArray, QString, QString>("reply", "boxes", "kvFullScale");
        Factory c;
        c.answer("CONF;", reply);
        c.config([&](FactoryConfigPage &page) {
            c.unlock(page);
            page.btn_getConf_Click();
            c.settle();
            QCOMPARE(boxTexts(page).join(u'|'), boxes);
            QCOMPARE(page.kvFullScale, kvFullScale);
        });
        QCOMPARE(c.sent(), (Payloads{"PASS 7061;", "CONF;"}));
        QVERIFY(c.window.link.replyTimer().isEnabled());
    }

    void unlock_data() {
        columns<QString, bool>("key", "opens");
        row("right", "7061", true);
        row("trailing blank", "7061 ", false);
        row("cancel", "", false);
    }
    void unlock() {
        const auto [key, opens] = fetch<QString, bool>("key", "opens");
        Factory c;
        c.config([&](FactoryConfigPage &page) {
            const QList<QPushButton *> keyed = {page.hardware,      page.model,
                                                page.progScale,     page.filaPreHeat,
                                                page.Btn_filTurnOn, page.btn_getConf};
            for (QPushButton *b : keyed + page.findChildren<QPushButton *>("KV_Ramp_Time"))
                QVERIFY(!b->isEnabled());
            QSignalSpy closed(&page, &QDialog::rejected);
            c.dialogs.inputs.push_back(key);
            page.Command2_Click();
            c.settle();
            QCOMPARE(closed.count(), opens ? 0 : 1);
            for (QPushButton *b : keyed)
                QCOMPARE(b->isEnabled(), opens);
            page.kvFullScale = QStringLiteral("88.89");
            if (opens)
                page.Command1_Click();
            // The ramp, offset and limit buttons stay hidden and disabled.
            QVERIFY(page.KV_Ramp_Time->isHidden() && !page.KV_Ramp_Time->isEnabled());
        });
        QCOMPARE(c.shown("input"), QStringList{"Enter Key to UnLock:"});
        QCOMPARE(c.sent(), opens ? Payloads{"PASS 7061;"} : Payloads{});
        c.config([&](FactoryConfigPage &page) { // locked again on every opening
            QVERIFY(!page.hardware->isEnabled() && !page.btn_getConf->isEnabled());
            QCOMPARE(page.kvFullScale, QStringLiteral("0"));
        });
    }

    // "old": the box keeps its text.
    void parameters_data() {
        columns<QString, QString, double, QString, Payloads, QString>(
            "command", "entry", "kvPerBit", "kvFullScale", "payloads", "box");
        using P = Payloads;
        const double kv80 = 80.0 / 4095;
        const QString framed = QStringLiteral("ZOR\r\n\x02VREF 4095;\x03");
        const QString wide = QString::fromUtf8("A\u0102\u010A");
        // clang-format off
        row("RAMP 20",          "RAMP", "20",    0.0,  "0",     P{"RAMP 20;"},    "20");
        row("RAMP 19.9",        "RAMP", "19.9",  0.0,  "0",     P{},              "old");
        row("RAMP 1e2",         "RAMP", "1e2",   0.0,  "0",     P{"RAMP 100;"},   "1e2");
        row("RAMP 100.1",       "RAMP", "100.1", 0.0,  "0",     P{},              "old");
        row("RAMP cancel",      "RAMP", "",      0.0,  "0",     P{},              "old");
        row("MRMP 500",         "MRMP", "500",   0.0,  "0",     P{"MRMP 500;"},   "500");
        row("MRMP 0.5",         "MRMP", "0.5",   0.0,  "0",     P{},              "old");
        row("FRMP 250",         "FRMP", "250",   0.0,  "0",     P{"FRMP 250;"},   "250");
        row("FRMP 251",         "FRMP", "251",   0.0,  "0",     P{},              "old");
        row("FMAX 4.5",         "FMAX", "4.5",   0.0,  "0",     P{"FMAX 1842;"},  "4.5");
        row("FMAX 4.51",        "FMAX", "4.51",  0.0,  "0",     P{},              "old");
        row("FMAX -100",        "FMAX", "-100",  0.0,  "0",     P{},              "-100");
        row("FTON kvPerBit",    "FTON", "20",    kv80, "0",     P{"FTON 1024;"},  "20");
        row("FTON page scale",  "FTON", "30",    0.0,  "80.00", P{"FTON 1536;"},  "30");
        row("FTON no scale",    "FTON", "30",    0.0,  "0",     P{},              "30");
        row("FTON 16 bits",     "FTON", "900",   kv80, "0",     P{},              "900");
        row("FTON not number",  "FTON", "2O",    kv80, "0",     P{},              "2O");
        row("MAOF 0.1",         "MAOF", "0.1",   0.0,  "0",     P{"MAOF 293;"},   "0.1");
        row("FILP 5000",        "FILP", "5000",  0.0,  "0",     P{"FILP 5000;"},  "5000");
        row("HWVP",             "HWVP", "A01",   0.0,  "0",     P{"HWVP A01;"},   "A01");
        row("MODP cancel",      "MODP", "",      0.0,  "0",     P{},              "old");
        row("HWVP cancel",      "HWVP", "",      0.0,  "0",     P{},              "old");
        row("HWVP no reason",   "HWVP", "A01",   0.0,  "0",     P{},              "old");
        row("ARCP",             "ARCP", "1",     0.0,  "0",     P{"ARCP 1;"},     "1");
        row("no second frame",  "MODP", framed,  0.0,  "0",     P{"MODP ZORVREF 4095;;"}, framed);
        row("beyond 8 bits",    "HWVP", wide,    0.0,  "0",     P{"HWVP A??;"},   wide);
        row("scaling",          "SLVP", "88.89,2.22",  0.0, "0", P{"SLVP 8889;", "SLIP 2220;"}, "88.89,2.22");
        row("scaling 8888.5",   "SLVP", "88.885,2.22", 0.0, "0", P{"SLVP 8888.5;", "SLIP 2220;"}, "88.885,2.22");
        row("scaling no comma", "SLVP", "88.89",       0.0, "0", P{},             "88.89");
        row("scaling bad mA",   "SLVP", "88.89,x",     0.0, "0", P{},             "88.89,x");
        row("scaling zero kV",  "SLVP", "0,2.22",      0.0, "0", P{},             "0,2.22");
        row("scaling minus mA", "SLVP", "88.89,-1",    0.0, "0", P{},             "88.89,-1");
        // clang-format on
    }
    void parameters() {
        const auto [command, entry, kvPerBit, kvFullScale, payloads, box] =
            fetch<QString, QString, double, QString, Payloads, QString>(
                "command", "entry", "kvPerBit", "kvFullScale", "payloads", "box");
        Factory c;
        c.window.state.setKvPerBit(kvPerBit);
        c.config([&](FactoryConfigPage &page) {
            c.unlock(page);
            page.kvFullScale = kvFullScale;
            for (QLineEdit *b : page.findChildren<QLineEdit *>())
                b->setText(QStringLiteral("old"));
            c.dialogs.inputs.push_back(entry);
            // The reason, asked after every entry; Cancel there sends nothing.
            if (!entry.isEmpty())
                c.dialogs.inputs.push_back(
                    QTest::currentDataTag() == "HWVP no reason"_L1 ? QString() : u""_s);
            const Button button = Buttons.value(command);
            (page.*button.handler)();
            QCOMPARE(page.findChild<QLineEdit *>(button.box)->text(), box);
            QCOMPARE(c.shown("input").mid(1, 2),
                     QStringList{QString::fromLatin1(button.prompt)} +
                         (entry.isEmpty()
                              ? QStringList()
                              : QStringList{u"Reason for this change (may be empty):"_s}));
        });
        QCOMPARE(c.sent().mid(1), payloads);
        const QHash<QString, QString> message = {
            {"FTON no scale", "Please Set Unit Scaling!"},
            {"scaling zero kV", "The full scales must be positive numbers: kV,mA."},
            {"scaling minus mA", "The full scales must be positive numbers: kV,mA."}};
        const QString shown = message.value(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(c.dialogs.messages(), shown.isEmpty() ? QStringList() : QStringList{shown});
        QVERIFY(c.window.link.replyTimer().isEnabled());
    }

    // The scale and the full scale shown change only once the supply took the new one.
    void scalingFollowsTheSupply_data() {
        columns<QByteArray, double>("answer", "kvPerBit");
        row("acknowledged", ";"_ba, 88.89 / 4095);
        row("refused", "1"_ba, 0.0);
        row("no reply", QByteArray(), 0.0);
    }
    void scalingFollowsTheSupply() {
        const auto [answer, kvPerBit] = fetch<QByteArray, double>("answer", "kvPerBit");
        Factory c;
        c.answer("SLVP 8889;", answer);
        c.config([&](FactoryConfigPage &page) {
            c.unlock(page);
            c.dialogs.inputs.push_back(QStringLiteral("88.89,2.22"));
            c.dialogs.inputs.push_back(u""_s);
            page.progScale_Click();
            c.settle();
            QCOMPARE(page.kvFullScale, kvPerBit > 0 ? u"88.89" : u"0");
        });
        QCOMPARE(c.window.state.kvPerBit(), kvPerBit);
        QCOMPARE(c.window.state.maPerBit(), 0.000341);
        QCOMPARE(c.sent().mid(1), (Payloads{"SLVP 8889;", "SLIP 2220;"}));
    }

    void serialNumberReadUnknownThenWhiteAgain() {
        Factory c;
        c.answer("SNUR;", "");
        c.open<SerialNumberPage>(&ConfigMenu::mnu_Serial_Click, [&](SerialNumberPage &page) {
            QCOMPARE(page.windowTitle(), QStringLiteral("Serial Number"));
            const auto look = [&] {
                return page.Txt_serialNum->text() + '|' + baseColour(page.Txt_serialNum);
            };
            page.Btn_read_serialNum_Click();
            c.settle();
            QCOMPARE(look(), QStringLiteral("Unknown|#ff0000"));
            QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 1"));
            c.answer("SNUR;", "101407139-A00041;");
            page.Btn_read_serialNum_Click();
            c.settle();
            QCOMPARE(look(), QStringLiteral("101407139-A00041|#ffffff"));
            c.answer("SNUR;", "no terminator");
            page.Btn_read_serialNum_Click();
            c.settle();
            QCOMPARE(look(), QStringLiteral("101407139-A00041|#ffffff"));
        });
        QCOMPARE(c.window.state.failedReplies(), 1);
    }

    void serialNumberWriteIsLocked_data() {
        columns<QString, Payloads>("key", "payloads");
        row("right key", "2958", Payloads{"PASS 2958;", "SNUS 101407139-A00041;"});
        row("configuration key", "7061", Payloads{});
        row("serial cancelled", "2958", Payloads{"PASS 2958;"});
        row("reason cancelled", "2958", Payloads{"PASS 2958;"});
    }
    void serialNumberWriteIsLocked() {
        const auto [key, payloads] = fetch<QString, Payloads>("key", "payloads");
        Factory c;
        c.open<SerialNumberPage>(&ConfigMenu::mnu_Serial_Click, [&](SerialNumberPage &page) {
            QVERIFY(!page.Btn_serialNum->isEnabled());
            page.Btn_serialNum_Click();
            c.settle();
            QVERIFY(c.shown("input").isEmpty());
            const QString tag = QString::fromLatin1(QTest::currentDataTag());
            c.dialogs.inputs = {key};
            if (!payloads.isEmpty()) // the serial number is asked for only once unlocked
                c.dialogs.inputs.push_back(tag == "serial cancelled"_L1 ? QString()
                                                                        : u"101407139-A00041"_s);
            if (tag == "right key"_L1 || tag == "reason cancelled"_L1)
                c.dialogs.inputs.push_back(tag == "right key"_L1 ? u"relabelled"_s : QString());
            page.Command1_Click();
            page.Btn_serialNum_Click();
            if (payloads.size() == 2)
                QCOMPARE(page.Txt_serialNum->text(), QStringLiteral("101407139-A00041"));
            page.Btn_ok_Click();
            c.settle();
            QVERIFY(!page.Btn_serialNum->isEnabled());
        });
        QCOMPARE(c.sent(), payloads);
        c.open<SerialNumberPage>(&ConfigMenu::mnu_Serial_Click, [&](SerialNumberPage &page) {
            QVERIFY(!page.Btn_serialNum->isEnabled());
        });
    }

    // The save leaves the poll and network timers stopped.
    void baudSave() {
        // A cancelled reason sends nothing.
        for (const auto &[position, payload] :
             {std::pair{0, "BAUD 1;"_ba}, {1, "BAUD 2;"_ba}, {0, QByteArray()}}) {
            Factory c;
            c.window.tmr_UPDATE.setInterval(100000);
            c.window.autoUpdate = true;
            c.window.tmr_UPDATE.setEnabled(true);
            c.window.link.statusTimer().setEnabled(true);
            c.open<UnitBaudRateDialog>(
                &ConfigMenu::mnu_BaudRate_Click, [&](UnitBaudRateDialog &page) {
                    QCOMPARE(page.Bitslist->currentText(), QStringLiteral("115,200"));
                    page.Bitslist->setCurrentIndex(position);
                    c.dialogs.inputs.push_back(payload.isEmpty() ? QString() : u""_s);
                    page.save_Click();
                });
            QCOMPARE(c.sent(),
                     payload.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{payload});
            QCOMPARE(c.window.tmr_UPDATE.isEnabled() && c.window.link.statusTimer().isEnabled(),
                     payload.isEmpty());
        }
    }
};

QTEST_MAIN(TestFactory)
#include "tst_factory.moc"
