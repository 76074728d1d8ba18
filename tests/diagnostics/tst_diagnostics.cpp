#include "diagnostics/commdiagnosticspage.h"
#include "diagnostics/diagnosticsmenu.h"
#include "diagnostics/rawdatapage.h"
#include "diagnostics/revscreen.h"
#include "platform/lamp.h"
#include "testconsole.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

namespace {

const QStringList ServiceEntries{"Extras Window", "Toggle Passthrough"};

// Visible entries of the Controls menu above its separator.
QStringList serviceEntries(const Console &c) {
    QStringList shown;
    for (QAction *a : c.window.menu.mnu_Controls->actions()) {
        if (a->isSeparator())
            break;
        if (a->isVisible())
            shown << a->text() + (a->isEnabled() ? "" : " (off)");
    }
    return shown;
}

void enterModePassword(Console &c, const QString &typed) {
    c.window.menus.diagnostics->mnu_ABOUT_Click();
    c.dialogs.inputs.push_back(typed);
    QTest::mouseDClick(c.window.forms.find<RevScreen>()->Label3, Qt::LeftButton);
}

// Answers input boxes, but unloads every window of the console while the box
// is open, as closing the main window there would.
class UnloadingDialogs final : public Dialogs {
public:
    explicit UnloadingDialogs(MainWindow &main) : main_(main) { installDialogs(this); }
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
    MainWindow &main_;
};

// Label, lamps (interlock, NC, COM, NO, relay sense), which contact lines show,
// relay sense and AUX texts of interlock 1.
QString relayState(RawDataPage &page) {
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
    // Opening it again after closing shows the count kept.
    void extrasCountSurvivesClosing() {
        Console c(false);
        c.window.mnu_EXTRAS_Click();
        QPointer<CommDiagnosticsPage> x = &c.window.extras();
        for (int i = 0; i < 3; ++i)
            c.window.state.countFailedReply();
        x->close();
        QTRY_VERIFY(x.isNull());
        c.window.mnu_EXTRAS_Click();
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), QStringLiteral(" 3"));
    }

    // The command bracket holds the poll off and restarts it and the reply timer.
    // Help > Operator Guide hands the installed guide to the desktop's viewer;
    // without the file, or a viewer, a box says so and nothing is launched.
    void operatorGuide_data() {
        columns<bool, bool, QString>("installed", "viewer", "message");
        row("opened", true, true, u""_s);
        row("not installed", false, true, u"The Operator Guide is not installed: "_s);
        row("no viewer", true, false, u"No viewer could open the Operator Guide: "_s);
    }
    void operatorGuide() {
        auto [installed, viewer, message] =
            fetch<bool, bool, QString>("installed", "viewer", "message");
        Console c;
        QTemporaryDir dir;
        DiagnosticsMenu &help = *c.window.menus.diagnostics;
        help.guideFile = dir.filePath("operator-guide.md");
        if (installed) {
            QFile file(help.guideFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QList<QUrl> opened;
        help.openDocument = [&](const QUrl &url) {
            opened << url;
            return viewer;
        };
        QCOMPARE(c.window.menu.mnu_Help->actions().first()->text(), u"Operator Guide"_s);
        c.window.menu.mnu_GUIDE->trigger();
        QCOMPARE(opened, installed ? QList{QUrl::fromLocalFile(help.guideFile)} : QList<QUrl>());
        QCOMPARE(c.dialogs.messages(),
                 message.isEmpty() ? QStringList() : QStringList{message + help.guideFile});
    }

    void passThrough_data() {
        columns<bool, QByteArray, int>("portOpen", "answer", "errors");
        row("acknowledged", true, "96,$"_ba, 0);
        row("any other reply", true, "?"_ba, 0);
        row("port closed", false, "96,$"_ba, 1);
        row("time out", true, QByteArray(), 1);
    }
    void passThrough() {
        auto [portOpen, answer, errors] =
            fetch<bool, QByteArray, int>("portOpen", "answer", "errors");
        Console c;
        if (!portOpen)
            c.rig.serial->close();
        c.answer("96,", answer);
        c.window.autoUpdate = true;
        c.window.tmr_UPDATE.setEnabled(true);
        c.window.menus.diagnostics->mnu_PASSTHRU_Click();
        c.settle();
        QCOMPARE(c.window.state.failedReplies(), errors);
        QCOMPARE(c.window.extras().txt_COMMERRORS->text(), errors ? " 1" : "");
        QVERIFY(c.window.tmr_UPDATE.isEnabled());
        QVERIFY(c.window.link.replyTimer().isEnabled());
        if (portOpen)
            QCOMPARE(c.rig.supply.frames.first().bytes, QByteArray::fromHex("0239362c650d0a"));
    }

    void rawPageExistsHiddenFromFirstWrite() {
        Console c(false);
        c.window.rawData().txt_RAWDACA->setText(QStringLiteral(" 2048"));
        RawDataPage *page = c.window.forms.find<RawDataPage>();
        QVERIFY(page && !page->isVisible());
        c.window.menus.diagnostics->mnu_RAWDATA_Click();
        QVERIFY(&c.window.rawData() == page && page->isVisible());
        QCOMPARE(page->txt_RAWDACA->text(), QStringLiteral(" 2048"));
        page->mnu_misc->trigger(); // "Misc Information"
        QVERIFY(c.window.extras().isVisible());
    }

    // Only interlock 1 follows the high voltage; 2 and 3 keep their drawing.
    void interlock1AfterOnAndOff() {
        Console c(false);
        RawDataPage &page = c.window.rawData();
        QCOMPARE(relayState(page), QStringLiteral("De-Energized|00000|NC11 NO00 COM1|"
                                                  "Relay Sense:         High|AUX  JB8-10 To GND"));
        page.showInterlock1(true);
        QCOMPARE(relayState(page), QStringLiteral("Energized|11011|NC00 NO11 COM1|"
                                                  "Relay Sense:          Low|AUX:  JB8-10 Floats"));
        for (const char *other : {"led_INTRLK2", "led_INTRLK3"})
            QVERIFY(!page.findChild<Lamp *>(other)->value());
        page.showInterlock1(false);
        QCOMPARE(relayState(page),
                 QStringLiteral("De-Energized|00000|NC11 NO00 COM1|"
                                "Relay Sense:          High|AUX:  JB8-10 To GND"));
    }

    void specialFunctionMode_data() {
        columns<QString, QStringList>("typed", "entries");
        row("right", "qtv", ServiceEntries);
        row("upper case", "QTV", QStringList());
        row("wrong", "qtx", QStringList());
        row("with a blank", "qtv ", QStringList());
        row("cancelled", "", QStringList());
    }
    void specialFunctionMode() {
        auto [typed, entries] = fetch<QString, QStringList>("typed", "entries");
        Console c;
        c.answer("96,", "96,$");
        enterModePassword(c, typed);
        QCOMPARE(c.dialogs.shown.size(), 1);
        QCOMPARE(c.dialogs.shown[0].kind + '|' + c.dialogs.shown[0].text + '|' +
                     c.dialogs.shown[0].title,
                 QStringLiteral("input|Enter Mode Password|Enable Special Function Mode"));
        QCOMPARE(c.window.forms.find<RevScreen>(), nullptr); // closed in every case
        QCOMPARE(serviceEntries(c), entries);
        const CommDiagnosticsPage *extras = c.window.forms.find<CommDiagnosticsPage>();
        QCOMPARE(extras && extras->isVisible(), !entries.isEmpty());
        if (!entries.isEmpty()) { // and what they reveal works
            c.window.menu.mnu_PASSTHRU->trigger();
            QCOMPARE(c.sent(), QList<QByteArray>{"96,"});
        }
    }

    void promptSurvivesTheWindowsBeingUnloaded() {
        Console c(false);
        c.window.menus.diagnostics->mnu_ABOUT_Click();
        QPointer<RevScreen> about = c.window.forms.find<RevScreen>();
        {
            UnloadingDialogs unloading(c.window);
            about->Label3_DblClick();
        }
        QVERIFY(about.isNull());
        QCOMPARE(serviceEntries(c), ServiceEntries);
    }
};

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
