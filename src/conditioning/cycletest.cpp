#include "conditioning/cycletest.h"

#include "conditioning/hvrequest.h"
#include "control/hvenableframe.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QPointer>

namespace zor {

using conditioning::requestHighVoltage;

namespace {
const QString CaptionStart = QStringLiteral("Cycle Test On");
const QString CaptionStop = QStringLiteral("Cycle Test Off");

// Seconds as typed, rounded to whole ones.
std::optional<qint16> roundedSeconds(const QString &text) {
    const auto value = decimalNumber(text);
    return value ? roundedCount(*value) : std::nullopt;
}
} // namespace

CycleTest::CycleTest(MainWindow &main, QObject *parent) : QObject(parent), main_(main) {
    connect(main.menu.menu_cycleHv, &QAction::triggered, this, &CycleTest::menu_cycleHv_Click);
    connect(&main.CycleTimer, &Timer::tick, this, &CycleTest::CycleTimer_Timer);
}

void CycleTest::menu_cycleHv_Click() {
    if (cycleRunning)
        stop();
    else
        start();
}

void CycleTest::halt() {
    main_.menu.menu_cycleHv->setText(CaptionStart);
    main_.CycleTimer.setEnabled(false);
    cycleRunning = false;
    ++session_;
}

void CycleTest::stop() {
    halt();
    main_.state.note(QStringLiteral("Cycle test stopped"));
    main_.panels.hvEnable->switchOff();
}

void CycleTest::refuse(const QString &why) {
    cycleRunning = false;
    main_.menu.menu_cycleHv->setText(CaptionStart);
    dialogs().message(why);
}

void CycleTest::start() {
    cycleRunning = true;
    main_.menu.menu_cycleHv->setText(CaptionStop);

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
    QPointer<CycleTest> self(this);
    MainWindow *main = &main_;
    main_.command([self, main, id] {
        if (!self || !self->cycleRunning || self->session_ != id)
            return;
        // With the voltage already on, off and on again: every test begins
        // with a fresh on phase.
        requestHighVoltage(*main, false);
        requestHighVoltage(*main, true);
        self->cycleCount = 0;
        main->CycleTimer.setEnabled(true);
        main->state.note(QStringLiteral("Cycle test started: on %1 s, period %2 s")
                             .arg(self->cycleOnTime)
                             .arg(self->cyclePeriod));
    });
}

void CycleTest::CycleTimer_Timer() {
    QPointer<CycleTest> self(this);
    MainWindow *main = &main_;
    const quint64 id = session_;
    // Held at most once behind another exchange or an open box: a late phase
    // runs once, and asks for the state its phase needs rather than toggling,
    // so neither a burst of ticks nor a switch moved by someone else can turn
    // the test's phases upside down.
    main_.link.command(
        this,
        [self, main, id] {
            if (!self || !self->cycleRunning || self->session_ != id)
                return;
            ++self->cycleCount;
            if (self->cycleCount == self->cycleOnTime) {
                requestHighVoltage(*main, false);
            } else if (self->cycleCount >= self->cyclePeriod) {
                requestHighVoltage(*main, true);
                self->cycleCount = 0;
            }
        },
        &main_.CycleTimer);
}

} // namespace zor
