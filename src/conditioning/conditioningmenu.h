#pragma once

#include "ui/consolecontext.h"

#include <QObject>
#include <QUrl>
#include <functional>

class QAction;

namespace zor {

class CycleTest;
class ShellActions;
class Timer;

// The Controls-menu entries of tube conditioning: the seasoning table, the
// cycle test, the run reports and the tubes' history.
class ConditioningMenu : public QObject {
    Q_OBJECT
public:
    ConditioningMenu(ConsoleContext ctx, ShellActions &shell, Timer &cycleTimer, QObject *parent);

    CycleTest *cycleTest;
    // Controls > Run Reports...: the reports, newest first; the one chosen is
    // handed to openDocument (the desktop's viewer; tests put their own here).
    QAction *mnu_RunReports;
    // Controls > Tube History...: a tube's figures across its runs.
    QAction *mnu_TubeHistory;
    QString runFolder;
    std::function<bool(const QUrl &)> openDocument;
    void mnu_RunReports_Click();
    void mnu_TubeHistory_Click();

    // Shows the seasoning table modally.
    void menu_Season_Click();
    // Stops the cycle test and a seasoning run without sending anything; the
    // caller switches the voltage off itself.
    void haltRuns();
    // A cycle test or a seasoning run is going.
    bool runGoing() const;

private:
    void openSchedule();

    ConsoleContext ctx_;
    ShellActions &shell_;
};

} // namespace zor
