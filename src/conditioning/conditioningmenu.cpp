#include "conditioning/conditioningmenu.h"

#include "conditioning/cycletest.h"
#include "conditioning/seasoningpage.h"
#include "platform/dialogs.h"
#include "ui/formregistry.h"
#include "ui/mainmenu.h"
#include "ui/shellactions.h"

#include <QAction>
#include <QPointer>

namespace zor {

ConditioningMenu::ConditioningMenu(ConsoleContext ctx, ShellActions &shell, Timer &cycleTimer,
                                   QObject *parent)
    : QObject(parent), cycleTest(new CycleTest(ctx, shell, cycleTimer, this)), ctx_(ctx),
      shell_(shell) {
    connect(ctx_.menu.menu_Season, &QAction::triggered, this, &ConditioningMenu::menu_Season_Click);
}

void ConditioningMenu::menu_Season_Click() {
    shell_.openModalPage([this] { openSchedule(); });
}

void ConditioningMenu::haltRuns() {
    cycleTest->halt();
    if (SeasoningPage *schedule = ctx_.forms.find<SeasoningPage>())
        schedule->halt();
}

bool ConditioningMenu::runGoing() const {
    const SeasoningPage *schedule = ctx_.forms.find<SeasoningPage>();
    return cycleTest->cycleRunning || (schedule && schedule->running());
}

void ConditioningMenu::openSchedule() {
    QPointer<SeasoningPage> schedule = &ctx_.forms.get<SeasoningPage>(ctx_, shell_);
    dialogs().runModal(*schedule);
    // Leaving the table without a run discards it; the next opening starts
    // from the default schedule again. A running schedule stays, hidden.
    if (schedule && !schedule->running())
        ctx_.forms.unload(schedule);
}

} // namespace zor
