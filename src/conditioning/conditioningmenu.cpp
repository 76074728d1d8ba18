#include "conditioning/conditioningmenu.h"

#include "conditioning/cycletest.h"
#include "conditioning/runreportswindow.h"
#include "conditioning/seasoningpage.h"
#include "conditioning/tubehistorywindow.h"
#include "platform/dialogs.h"
#include "ui/formregistry.h"
#include "ui/mainmenu.h"
#include "ui/shellactions.h"

#include "runs/runrecord.h"
#include "supply/supplystate.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>

namespace zor {

ConditioningMenu::ConditioningMenu(ConsoleContext ctx, ShellActions &shell, Timer &cycleTimer,
                                   QObject *parent)
    : QObject(parent), cycleTest(new CycleTest(ctx, shell, cycleTimer, this)), ctx_(ctx),
      shell_(shell) {
    connect(ctx_.menu.menu_Season, &QAction::triggered, this, &ConditioningMenu::menu_Season_Click);
    mnu_RunReports = new QAction(QStringLiteral("Run Reports..."), this);
    mnu_RunReports->setObjectName(QStringLiteral("mnu_RunReports"));
    const QList<QAction *> entries = ctx_.menu.mnu_Controls->actions();
    const qsizetype after = entries.indexOf(ctx_.menu.menu_Season) + 1;
    ctx_.menu.mnu_Controls->insertAction(
        after > 0 && after < entries.size() ? entries[after] : nullptr, mnu_RunReports);
    connect(mnu_RunReports, &QAction::triggered, this, &ConditioningMenu::mnu_RunReports_Click);
    mnu_TubeHistory = new QAction(QStringLiteral("Tube History..."), this);
    mnu_TubeHistory->setObjectName(QStringLiteral("mnu_TubeHistory"));
    ctx_.menu.mnu_Controls->insertAction(
        after > 0 && after < entries.size() ? entries[after] : nullptr, mnu_TubeHistory);
    connect(mnu_TubeHistory, &QAction::triggered, this, &ConditioningMenu::mnu_TubeHistory_Click);
    runFolder = runs::defaultRunFolder();
    openDocument = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    // A run cut short (a crash, a power cut) left its record without a report.
    for (const QString &report : runs::reportInterrupted(runFolder))
        ctx_.state.note(EventType::RunReport,
                        QStringLiteral("Run report: %1").arg(QDir::toNativeSeparators(report)));
}

void ConditioningMenu::mnu_RunReports_Click() {
    RunReportsWindow &w = ctx_.forms.get<RunReportsWindow>(
        runFolder, [this](const QUrl &url) { return openDocument(url); });
    w.refresh();
    w.show();
    w.raise();
}

void ConditioningMenu::mnu_TubeHistory_Click() {
    TubeHistoryWindow &w = ctx_.forms.get<TubeHistoryWindow>(runFolder);
    w.refresh();
    w.show();
    w.raise();
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
