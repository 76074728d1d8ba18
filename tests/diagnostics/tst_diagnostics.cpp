#include "diagnostics/diagnosticsmenu.h"
#include "diagnostics/frm_rawdata.h"
#include "diagnostics/revscreen.h"
#include "fakeports.h"
#include "platform/lamp.h"
#include "scripteddialogs.h"
#include "shell/frm_extras.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace zor;
using namespace zor::test;

namespace {

struct Console {
    ScriptedDialogs dialogs;
    FakeRig rig;
    frm_SDIMAIN window{rig.factory()};

    Console() {
        window.setProgramEnd([] {});
        window.Form_Load();
        dialogs.shown.clear();
    }
    void connectSerial() {
        window.MSComm1().setPortName(QStringLiteral("1"));
        window.MSComm1().open();
        window.linkMode = QStringLiteral("comm1");
    }
    DiagnosticsMenu &diag() { return *window.diagnostics; }
    // Visible entries of the Controls menu above its separator.
    QStringList serviceEntries() const {
        QStringList shown;
        for (QAction *a : window.menu.mnu_Controls->actions()) {
            if (a->isSeparator())
                break;
            if (a->isVisible())
                shown << a->text() + (a->isEnabled() ? "" : " (off)");
        }
        return shown;
    }
};

// Answers input boxes like ScriptedDialogs, but unloads every window of the
// console while the box is open, as closing the main window there would.
class UnloadingDialogs final : public Dialogs {
public:
    explicit UnloadingDialogs(frm_SDIMAIN &main) : main_(main) { installDialogs(this); }
    ~UnloadingDialogs() override { installDialogs(nullptr); }
    void message(const QString &, const QString &, Icon) override {}
    bool confirm(const QString &, const QString &) override { return true; }
    QString input(const QString &, const QString &, const QString &) override {
        main_.forms.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return QStringLiteral("qtv");
    }
    void runModal(QDialog &) override {}

private:
    frm_SDIMAIN &main_;
};

QString relayState(frm_RAWDATA &page) {
    const auto on = [](Lamp *l) { return l->value() ? '1' : '0'; };
    const auto shown = [&page](QWidget *w) { return w->isVisibleTo(&page) ? '1' : '0'; };
    return QStringLiteral("%1|%2%3%4%5%6|NC%7%8 NO%9%10 COM%11|%12|%13")
        .arg(page.lbl_INTRLK1->text())
        .arg(on(page.led_INTRLK1))
        .arg(on(page.led_I1NC))
        .arg(on(page.led_I1COM))
        .arg(on(page.led_I1NO))
        .arg(on(page.led_RS1))
        .arg(shown(page.line_NC11))
        .arg(shown(page.line_NC12))
        .arg(shown(page.line_NO11))
        .arg(shown(page.line_NO12))
        .arg(shown(page.line_COM1))
        .arg(page.lbl_RS1->text(), page.lbl_AUX1->text());
}

} // namespace

class TestDiagnostics : public QObject {
    Q_OBJECT
private slots:
    void extrasBeforeAnyFailure() {
        Console c;
        c.window.mnu_EXTRAS_Click();
        frm_EXTRAS &x = c.window.extras();
        QVERIFY(x.isVisible());
        QCOMPARE(x.windowTitle(), QStringLiteral("EXTRAS!"));
        QCOMPARE(x.txt_COMMERRORS->text(), QStringLiteral(" 0"));
        QCOMPARE(x.txt_LASTERROR->text(), QStringLiteral("Text1"));
        QCOMPARE(x.txt_MSCOMMBUFF->text(), QStringLiteral("Text1"));
    }

    void extrasCountSurvivesClosing() {
        Console c;
        for (int i = 0; i < 3; ++i)
            c.window.countCommError();
        QVERIFY(!c.window.extras().isVisible()); // written while hidden
        c.window.menu.mnu_EXTRAS->trigger();
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 3"));
        QPointer<frm_EXTRAS> first = &c.window.extras();
        first->close();
        QTRY_VERIFY(first.isNull());
        c.window.mnu_EXTRAS_Click();
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 3"));
        QCOMPARE(c.window.extras().txt_LASTERROR->text(), QStringLiteral("Text1"));
    }

    void passThrough_data() {
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("errors");
        QTest::newRow("acknowledged") << true << QByteArray("96,$") << QString();
        QTest::newRow("any other reply") << true << QByteArray("?") << QString();
        QTest::newRow("port closed") << false << QByteArray("96,$") << " 1";
    }
    void passThrough() {
        QFETCH(bool, portOpen);
        QFETCH(QByteArray, answer);
        QFETCH(QString, errors);
        Console c;
        c.connectSerial();
        if (!portOpen)
            c.window.MSComm1().close();
        c.rig.supply.on("96,", answer);
        c.window.autoUpdate = true; // as if polling: the bracket must hold it off and restart it
        c.window.tmr_UPDATE.setEnabled(true);
        c.diag().mnu_PASSTHRU_Click();
        QCOMPARE(c.window.commErrorCount, errors.isEmpty() ? 0 : 1);
        if (!errors.isEmpty())
            QCOMPARE(c.window.extras().txt_COMMERRORS->text(), errors);
        else
            QCOMPARE(c.window.forms.find<frm_EXTRAS>()->txt_COMMERRORS->text(), QString());
        // The bracket put the poll and the reply timer back.
        QVERIFY(c.window.tmr_UPDATE.isEnabled());
        QVERIFY(c.window.tmr_RCVTIMER.isEnabled());
        if (portOpen)
            QCOMPARE(c.rig.supply.frames.first().bytes, QByteArray::fromHex("0239362c650d0a"));
    }

    void passThroughTimeOutCounts() {
        Console c;
        c.connectSerial();
        c.rig.supply.silentOn("96,");
        c.window.commErrorCount = 4;
        c.diag().mnu_PASSTHRU_Click();
        QCOMPARE(c.window.commErrorCount, 5);
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 5"));
        QCOMPARE(c.rig.supply.payloads(), QList<QByteArray>{"96,"});
    }

    void rawPageExistsHiddenFromFirstWrite() {
        Console c;
        QVERIFY(!c.window.forms.find<frm_RAWDATA>());
        c.window.rawData().txt_RAWDACA->setText(QStringLiteral(" 2048"));
        frm_RAWDATA *page = c.window.forms.find<frm_RAWDATA>();
        QVERIFY(page);
        QVERIFY(!page->isVisible());
        c.diag().mnu_RAWDATA_Click();
        QCOMPARE(&c.window.rawData(), page);
        QVERIFY(page->isVisible());
        QCOMPARE(page->windowTitle(), QStringLiteral("KOB Data (Unscaled) & Status"));
        QCOMPARE(page->txt_RAWDACA->text(), QStringLiteral(" 2048"));
    }

    void adcChannels_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("tip");
        const char *tips[] = {"Ch. 0, CR45",  "Ch. 1, CR31", "Ch. 2, CR26",  "Ch. 3, CR46",
                              "Ch. 4, CR33",  "Ch. 5, CR32", "Ch. 6, CR44",  "Ch. 7, CR43",
                              "Ch. 8, CR47",  "Ch. 0, CR45", "Ch. 10, CR48", "Ch. 11, CR49",
                              "Ch. 12, CR50", "Ch. 0, CR45", "Ch. 0, CR45",  "Ch. 0, CR45"};
        for (int i = 0; i < 16; ++i) {
            const QString label = i == 0   ? QStringLiteral("Ambient Temp.")
                                  : i == 1 ? QStringLiteral("LVPS +24V")
                                           : QStringLiteral("Channel %1").arg(i);
            QTest::newRow(qPrintable(QString::number(i))) << i << label << QString(tips[i]);
        }
    }
    void adcChannels() {
        QFETCH(int, index);
        QFETCH(QString, label);
        QFETCH(QString, tip);
        Console c;
        frm_RAWDATA &page = c.window.rawData();
        QLineEdit *box = page.txt_DATA[index];
        QCOMPARE(box->text(), QStringLiteral("Channel %1").arg(index));
        QCOMPARE(box->toolTip(), tip);
        QStringList labels;
        for (QLabel *l : page.fra_ADC->findChildren<QLabel *>())
            labels << l->text();
        QVERIFY2(labels.contains(label), qPrintable(label));
    }

    void otherInterlocksKeepTheirDrawing_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("2") << 2 << QStringList{"De-Energized",
                                               "NC    JB8-8",
                                               "COM JB8-7",
                                               "NO    JB8-6",
                                               "Relay Sense:        High",
                                               "AUX:  JB8-9 To GND"};
        QTest::newRow("3") << 3 << QStringList{"De-Energized",
                                               "NC    JB8-4",
                                               "COM JB8-3",
                                               "NO    JB8-2",
                                               "Relay Sense:        High",
                                               "AUX:  JB8-5 To GND"};
    }
    void otherInterlocksKeepTheirDrawing() {
        QFETCH(int, n);
        QFETCH(QStringList, labels);
        Console c;
        frm_RAWDATA &page = c.window.rawData();
        page.showInterlock1(true);
        QGroupBox *frame = page.fra_INTRLK[n - 1];
        QStringList texts;
        for (QLabel *l : frame->findChildren<QLabel *>())
            texts << l->text();
        QCOMPARE(texts, labels);
        const QString p = QString::number(n);
        QVERIFY(!frame->findChild<Lamp *>("led_INTRLK" + p)->value());
        QVERIFY(frame->findChild<QWidget *>("line_NC" + p + "1")->isVisibleTo(&page));
        QVERIFY(!frame->findChild<QWidget *>("line_NO" + p + "2")->isVisibleTo(&page));
    }

    void interlock1AfterOnAndOff() {
        Console c;
        frm_RAWDATA &page = c.window.rawData();
        QCOMPARE(relayState(page), QStringLiteral("De-Energized|00000|NC11 NO00 COM1|"
                                                  "Relay Sense:         High|AUX  JB8-10 To GND"));
        QStringList contacts;
        for (QLabel *l : page.fra_INTRLK[0]->findChildren<QLabel *>())
            contacts << l->text();
        QCOMPARE(contacts.mid(1, 3), (QStringList{"NC    JB5-11", "COM JB5-14", "NO    JB5-13"}));
        page.showInterlock1(true);
        QCOMPARE(relayState(page), QStringLiteral("Energized|11011|NC00 NO11 COM1|"
                                                  "Relay Sense:          Low|AUX:  JB8-10 Floats"));
        page.showInterlock1(false);
        QCOMPARE(relayState(page),
                 QStringLiteral("De-Energized|00000|NC11 NO00 COM1|"
                                "Relay Sense:          High|AUX:  JB8-10 To GND"));
    }

    void miscInformationOpensExtras() {
        Console c;
        frm_RAWDATA &page = c.window.rawData();
        QCOMPARE(page.mnu_misc->text(), QStringLiteral("Misc Information"));
        page.mnu_misc->trigger();
        QVERIFY(c.window.forms.find<frm_EXTRAS>());
        QVERIFY(c.window.extras().isVisible());
        QVERIFY(!page.isVisible());
    }

    void aboutScreen() {
        Console c;
        c.window.menu.mnu_ABOUT->trigger();
        RevScreen *about = c.window.forms.find<RevScreen>();
        QVERIFY(about);
        QVERIFY(about->isVisible());
        QCOMPARE(about->windowTitle(), QStringLiteral("About the ZOR Interface"));
        QCOMPARE(about->Label1->text(), QStringLiteral(" GUI for ZOR80HR"));
        QCOMPARE(about->Label3->text(), QStringLiteral("Version 1.0"));
        QVERIFY(!about->Picture1->pixmap().isNull());
        QTest::mouseClick(about->ok, Qt::LeftButton);
        QCOMPARE(c.window.forms.find<RevScreen>(), nullptr);
    }

    void specialFunctionMode_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("right") << "qtv" << QStringList{"Extras Window", "Toggle Passthrough"};
        QTest::newRow("upper case") << "QTV" << QStringList();
        QTest::newRow("wrong") << "qtx" << QStringList();
        QTest::newRow("with a blank") << "qtv " << QStringList();
        QTest::newRow("cancelled") << "" << QStringList();
    }
    void specialFunctionMode() {
        QFETCH(QString, typed);
        QFETCH(QStringList, entries);
        Console c;
        c.diag().mnu_ABOUT_Click();
        RevScreen *about = c.window.forms.find<RevScreen>();
        c.dialogs.inputs.push_back(typed);
        QTest::mouseDClick(about->Label3, Qt::LeftButton);
        QCOMPARE(c.dialogs.shown.size(), 1);
        QCOMPARE(c.dialogs.shown[0].kind, QStringLiteral("input"));
        QCOMPARE(c.dialogs.shown[0].text, QStringLiteral("Enter Mode Password"));
        QCOMPARE(c.dialogs.shown[0].title, QStringLiteral("Enable Special Function Mode"));
        QCOMPARE(c.window.forms.find<RevScreen>(), nullptr); // closed in every case
        QCOMPARE(c.serviceEntries(), entries);
        const bool opened = c.window.forms.find<frm_EXTRAS>() != nullptr;
        QCOMPARE(opened, !entries.isEmpty());
        if (opened)
            QVERIFY(c.window.extras().isVisible());
    }

    void revealedEntriesWork() {
        Console c;
        c.connectSerial();
        c.rig.supply.on("96,", "96,$");
        c.window.commErrorCount = 2;
        c.diag().mnu_ABOUT_Click();
        c.dialogs.inputs.push_back("qtv");
        c.window.forms.find<RevScreen>()->Label3_DblClick();
        c.window.extras().close();
        c.window.menu.mnu_EXTRAS->trigger();
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 2"));
        c.window.menu.mnu_PASSTHRU->trigger();
        QCOMPARE(c.rig.supply.payloads(), QList<QByteArray>{"96,"});
        // Entering the password again is harmless.
        c.diag().mnu_ABOUT_Click();
        c.dialogs.inputs.push_back("qtv");
        c.window.forms.find<RevScreen>()->Label3_DblClick();
        QCOMPARE(c.serviceEntries(), (QStringList{"Extras Window", "Toggle Passthrough"}));
    }

    void promptSurvivesTheWindowsBeingUnloaded() {
        Console c;
        c.diag().mnu_ABOUT_Click();
        QPointer<RevScreen> about = c.window.forms.find<RevScreen>();
        {
            UnloadingDialogs unloading(c.window);
            about->Label3_DblClick();
        }
        QVERIFY(about.isNull());
        QCOMPARE(c.serviceEntries(), (QStringList{"Extras Window", "Toggle Passthrough"}));
    }
};

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
