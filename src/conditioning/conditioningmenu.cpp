#include "conditioning/conditioningmenu.h"

#include "conditioning/cycletest.h"
#include "conditioning/frm_seasoning.h"
#include "platform/dialogs.h"
#include "shell/mainwindow.h"

#include <QAction>
#include <QPointer>

namespace zor {

ConditioningMenu::ConditioningMenu(frm_SDIMAIN &main)
    : QObject(&main), cycleTest(new CycleTest(main, this)), main_(main) {
    connect(main.menu.menu_Season, &QAction::triggered, this, &ConditioningMenu::menu_Season_Click);
}

void ConditioningMenu::menu_Season_Click() {
    main_.openModalPage([this] { openSchedule(); });
}

void ConditioningMenu::haltRuns() {
    cycleTest->halt();
    if (frm_seasoning *schedule = main_.forms.find<frm_seasoning>())
        schedule->halt();
}

void ConditioningMenu::openSchedule() {
    QPointer<frm_seasoning> schedule = &main_.forms.get<frm_seasoning>(main_);
    dialogs().runModal(*schedule);
    // Leaving the table without a run discards it; the next opening starts
    // from the default schedule again. A running schedule stays, hidden.
    if (schedule && !schedule->running())
        main_.forms.unload(schedule);
}

} // namespace zor
