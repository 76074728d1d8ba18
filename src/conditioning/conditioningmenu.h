#pragma once

#include <QObject>

namespace zor {

class MainWindow;
class CycleTest;

// The Controls-menu entries of tube conditioning: the seasoning table and the
// cycle test.
class ConditioningMenu : public QObject {
    Q_OBJECT
public:
    explicit ConditioningMenu(MainWindow &main);

    CycleTest *cycleTest;

    // Shows the seasoning table modally.
    void menu_Season_Click();
    // Stops the cycle test and a seasoning run without sending anything; the
    // caller switches the voltage off itself.
    void haltRuns();

private:
    void openSchedule();

    MainWindow &main_;
};

} // namespace zor
