#include "conditioning/cycletest.h"

#include "link/devicelink.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "platform/timer.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"
#include "ui/mainmenu.h"

#include <QAction>
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
    : QObject(parent), ctx_(ctx), shell_(shell), cycleTimer_(cycleTimer) {
    connect(ctx_.menu.menu_cycleHv, &QAction::triggered, this, &CycleTest::menu_cycleHv_Click);
    connect(&cycleTimer_, &Timer::tick, this, &CycleTest::CycleTimer_Timer);
}

void CycleTest::menu_cycleHv_Click() {
    if (cycleRunning)
        stop();
    else
        start();
}

void CycleTest::halt() {
    ctx_.menu.menu_cycleHv->setText(CaptionStart);
    cycleTimer_.setEnabled(false);
    cycleRunning = false;
    ++session_;
}

void CycleTest::stop() {
    halt();
    ctx_.state.note(QStringLiteral("Cycle test stopped"));
    // Off whatever the switch shows: an earlier off may have been lost.
    ctx_.ops.setHighVoltage(false);
}

void CycleTest::refuse(const QString &why) {
    cycleRunning = false;
    ctx_.menu.menu_cycleHv->setText(CaptionStart);
    dialogs().message(why);
}

void CycleTest::start() {
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

    const quint64 id = ++session_;
    offSeen_ = ctx_.state.offAsked();
    QPointer<CycleTest> self(this);
    SupplyOps *ops = &ctx_.ops;
    Timer *timer = &cycleTimer_;
    // Owned by the link, not by the test: the first switching is not dropped
    // with any window.
    ctx_.link.command(&ctx_.link, [self, ops, timer, id]() -> Task<> {
        if (!self || !self->cycleRunning || self->session_ != id)
            co_return;
        const quint64 seen = self->offSeen_;
        // With the voltage already on, off and on again: every test begins
        // with a fresh on phase.
        co_await ops->runHighVoltage(false, seen);
        const bool on = co_await ops->runHighVoltage(true, seen);
        if (!self || !self->cycleRunning || self->session_ != id)
            co_return;
        if (!on) {
            self->halt();
            co_return;
        }
        self->cycleCount = 0;
        timer->setEnabled(true);
        ops->state().note(QStringLiteral("Cycle test started: on %1 s, period %2 s")
                              .arg(self->cycleOnTime)
                              .arg(self->cyclePeriod));
    });
}

void CycleTest::CycleTimer_Timer() {
    QPointer<CycleTest> self(this);
    SupplyOps *ops = &ctx_.ops;
    const quint64 id = session_;
    // Queued at most once behind another command: a late phase runs once, and
    // asks for the state its phase needs rather than toggling, so neither a
    // burst of ticks nor a switch moved by someone else can turn the test's
    // phases upside down.
    ctx_.link.command(
        this,
        [self, ops, id]() -> Task<> {
            if (!self || !self->cycleRunning || self->session_ != id)
                co_return;
            const quint64 seen = self->offSeen_;
            ++self->cycleCount;
            if (self->cycleCount == self->cycleOnTime) {
                co_await ops->runHighVoltage(false, seen);
            } else if (self->cycleCount >= self->cyclePeriod) {
                self->cycleCount = 0;
                if (!co_await ops->runHighVoltage(true, seen) && self)
                    self->halt();
            }
        },
        &cycleTimer_);
}

} // namespace zor
