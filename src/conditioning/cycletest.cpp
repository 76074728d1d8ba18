#include "conditioning/cycletest.h"

#include "conditioning/cyclerunwindow.h"
#include "conditioning/runendnotice.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "platform/timer.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"
#include "ui/formregistry.h"
#include "ui/mainmenu.h"

#include <QAction>
#include <QDir>
#include <QPointer>

namespace zor {

namespace {
const QString CaptionStart = QStringLiteral("Cycle Test On");
const QString CaptionStop = QStringLiteral("Cycle Test Off");

// Seconds as typed, rounded to whole ones.
std::optional<qint16> roundedSeconds(const QString &text) {
    const auto value = decimalNumber(text);
    return value ? roundedCount(*value) : std::nullopt;
}
} // namespace

CycleTest::CycleTest(ConsoleContext ctx, ShellActions &shell, Timer &cycleTimer, QObject *parent)
    : QObject(parent), engine(ctx.ops, cycleTimer), ctx_(ctx), shell_(shell),
      recorder_(ctx.state, ctx.link, runs::defaultRunFolder(), {}, this) {
    recorder_.watch(ctx.ops);
    connect(ctx_.menu.menu_cycleHv, &QAction::triggered, this, &CycleTest::menu_cycleHv_Click);
    connect(&cycleTimer, &Timer::tick, this, &CycleTest::CycleTimer_Timer);
    connect(&engine, &runs::CycleEngine::ended, this, &CycleTest::ended);
    connect(&engine, &runs::CycleEngine::cycleStarted, this, [this](int cycle) {
        const SupplyState &s = ctx_.state;
        recorder_.stepStarted(cycle, s.setpoint(Channel::Kv).value, s.setpoint(Channel::Ma).value,
                              cyclePeriod);
    });
    connect(&engine, &runs::CycleEngine::progress, this, [this] {
        if (CycleRunWindow *w = ctx_.forms.find<CycleRunWindow>())
            w->showProgress();
    });
}

void CycleTest::menu_cycleHv_Click() {
    if (cycleRunning)
        engine.stop();
    else
        start(ctx_.ops.offAsked());
}

void CycleTest::ended(runs::RunEnd end, const QString &why) {
    ctx_.menu.menu_cycleHv->setText(CaptionStart);
    if (CycleRunWindow *w = ctx_.forms.find<CycleRunWindow>())
        ctx_.forms.unload(w);
    // The report is made on its own thread; told of once written and the off is out.
    recorder_.endThenTell(end, why, this, [this](const QString &report) {
        ctx_.forms.get<RunEndNotice>().tell(QStringLiteral("Cycle test"), report);
    });
}

void CycleTest::refuse(const QString &why) {
    cycleRunning = false;
    ctx_.menu.menu_cycleHv->setText(CaptionStart);
    dialogs().message(why);
}

void CycleTest::start(quint64 offSeen) {
    if (const QString owner = ctx_.state.runOwner(); !owner.isEmpty()) {
        dialogs().message(owner +
                          QStringLiteral(" is going. Stop it before starting another run."));
        return;
    }
    cycleRunning = true;
    ctx_.menu.menu_cycleHv->setText(CaptionStop);

    // An on time under a second would never be reached by the count, and the
    // voltage switched on at the start would stay on for good.
    const auto onTime =
        roundedSeconds(dialogs().input(QStringLiteral("Enter the ON time in seconds....")));
    if (!onTime || *onTime < 1) {
        refuse(QStringLiteral("The ON time must be a number of seconds from 1 to 32767."));
        return;
    }
    const auto period =
        roundedSeconds(dialogs().input(QStringLiteral("Enter the period.... (> ON time)")));
    if (!period) {
        refuse(QStringLiteral(
            "The period must be a number of seconds greater than the ON time, up to 32767."));
        return;
    }
    cycleOnTime = *onTime;
    cyclePeriod = *period;
    if (cyclePeriod <= cycleOnTime) {
        refuse(QStringLiteral("Period has to be greater than the On time"));
        return;
    }
    // The off key pressed while a prompt was open cancels the test.
    if (ctx_.ops.offAsked() != offSeen) {
        refuse(QStringLiteral("X-ray off was pressed: the cycle test was not started."));
        return;
    }
    cycleRunning = false;
    recorder_.begin(QStringLiteral("cycle test"),
                    {{"name", QStringLiteral("on %1 s, period %2 s").arg(*onTime).arg(*period)},
                     {"onSeconds", *onTime},
                     {"periodSeconds", *period}},
                    runs::rememberedLabels(ctx_.state.identity(IdentityField::SerialNumber)));
    engine.start(*onTime, *period, offSeen);
    ctx_.forms.get<CycleRunWindow>(ctx_, *this).show();
}

} // namespace zor
