#include "conditioning/conditioningmenu.h"

#include "conditioning/cycletest.h"
#include "conditioning/seasoningpage.h"
#include "platform/dialogs.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QPointer>

namespace zor {

ConditioningMenu::ConditioningMenu(MainWindow &main)
    : QObject(&main), cycleTest(new CycleTest(main, this)), main_(main) {
    connect(main.menu.menu_Season, &QAction::triggered, this, &ConditioningMenu::menu_Season_Click);
}

void ConditioningMenu::menu_Season_Click() {
    main_.openModalPage([this] { openSchedule(); });
}

void ConditioningMenu::haltRuns() {
    cycleTest->halt();
    if (SeasoningPage *schedule = main_.forms.find<SeasoningPage>())
        schedule->halt();
}

void ConditioningMenu::openSchedule() {
    QPointer<SeasoningPage> schedule = &main_.forms.get<SeasoningPage>(main_);
    dialogs().runModal(*schedule);
    // Leaving the table without a run discards it; the next opening starts
    // from the default schedule again. A running schedule stays, hidden.
    if (schedule && !schedule->running())
        main_.forms.unload(schedule);
}

} // namespace zor
