#include "factory/configmenu.h"
#include "platform/numedit.h"
#include "testconsole.h"
#include "userconfig/useroptionspage.h"

#include <QCheckBox>

using namespace zor;
using namespace zor::test;
using namespace Qt::StringLiterals;

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

const QString ReadFailed =
    QStringLiteral("The options could not be read from the supply, so nothing was saved. Close "
                   "this page and open it again to read them.");

// Opens the page as its (disabled) menu entry would, on a supply answering
// "27," with `options`, and runs the script on it.
void openPage(Console &c, const QByteArray &options,
              const std::function<void(UserOptionsPage &)> &script) {
    c.answer("27,", options);
    c.dialogs.onModal = [script](QDialog &d) { script(dynamic_cast<UserOptionsPage &>(d)); };
    c.window.menus.configMenu->mnu_UserConfig_Click();
}

// Check states and editor values in field order, "x" after a disabled editor.
QString controls(const UserOptionsPage &p) {
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
    void readThenSaveAtOnce_data() {
        columns<QByteArray, QString, QByteArray>("reply", "controls", "saved");
        row("example", "27,1,105,25,0,3,10,20,1,0,"_ba, "1,105,2.5,0,3,10,20,1,0",
            "09,1,105,25,0,3,10,20,1,0,"_ba);
        row("no arc detect", "27,0,0,1,1,0,0,5,0,1,"_ba, "0,0x,0.1,1,0x,0x,5,0,1",
            "09,0,0,1,1,0,0,5,0,1,"_ba);
        row("level clipped by the editor", "27,1,150,600,0,0,0,0,0,0,"_ba, "1,110,60,0,0,0,0,0,0",
            "09,1,110,600,0,0,0,0,0,0,"_ba);
        // Without a whole read nothing is saved: the page holds values the
        // operator never saw from the supply.
        row("no reply", QByteArray(), "0,0x,0.1,0,0,0,0,0,0", QByteArray());
        row("fields cut short", "27,1,105,25"_ba, "0,0x,0.1,0,0,0,0,0,0", QByteArray());
        row("level not a number", "27,1,abc,25,1,3,10,20,1,1,"_ba, "1,0,0.1,0,0,0,0,0,0",
            QByteArray());
    }
    void readThenSaveAtOnce() {
        const auto [reply, controls, saved] =
            fetch<QByteArray, QString, QByteArray>("reply", "controls", "saved");
        Console c;
        c.answer(saved, "09,$");
        openPage(c, reply, [&](UserOptionsPage &page) {
            QCOMPARE(page.windowTitle(), QStringLiteral("Form1"));
            c.settle();
            QCOMPARE(::controls(page), controls);
            page.Command1_Click();
        });
        const bool refused = saved.isEmpty();
        QCOMPARE(c.sent(), (refused ? QList<QByteArray>{"27,"} : QList<QByteArray>{"27,", saved}));
        QCOMPARE(c.dialogs.messages(), refused ? QStringList{ReadFailed} : QStringList());
        QVERIFY(c.window.link.replyTimer().isEnabled());
    }

    void controlsRewriteTheirOptions() {
        Console c;
        c.answer("09,0,105,1,1,3,10,7,0,0,", "09,$");
        openPage(c, "27,1,105,25,0,3,10,20,1,1,", [&](UserOptionsPage &page) {
            c.settle();
            QVERIFY(!page.CWNumEdit3->isEnabled() && !page.CWNumEdit4->isEnabled());
            page.Check2->setChecked(false); // no arc detect off
            QVERIFY(page.CWNumEdit3->isEnabled() && page.CWNumEdit4->isEnabled());
            page.check_rov->setChecked(false);
            QVERIFY(!page.CWNumEdit1->isEnabled());
            page.CWNumEdit2->setValue(0.1);
            page.check_aol->setChecked(true);
            page.CWNumEdit5->setValue(7);
            page.Check1->setChecked(false);
            page.Command1_Click();
        });
        QCOMPARE(c.sent().last(), "09,0,105,1,1,3,10,7,0,0,"_ba);
    }

    void saveWarnings_data() {
        columns<QByteArray, QStringList>("answer", "messages");
        row("arc rate", "09,1,"_ba, QStringList{ArcRateWarning});
        row("no arc detect", "09,2,"_ba, QStringList{NoArcDetectWarning});
        row("acknowledged", "09,$"_ba, QStringList{});
        row("other digit", "09,3,"_ba, QStringList{});
    }
    void saveWarnings() {
        const auto [answer, messages] = fetch<QByteArray, QStringList>("answer", "messages");
        Console c;
        c.answer("09,0,0,1,0,0,0,0,0,0,", answer);
        openPage(c, "27,0,0,1,0,0,0,0,0,0,", [&](UserOptionsPage &page) { page.Command1_Click(); });
        QCOMPARE(c.shown("message"), messages);
        for (const auto &shown : c.dialogs.shown)
            if (shown.kind == QLatin1String("message"))
                QCOMPARE(shown.title, QStringLiteral("User Configs"));
    }
};

QTEST_MAIN(TestUserConfig)
#include "tst_userconfig.moc"
