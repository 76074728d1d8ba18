#pragma once

#include <QObject>

namespace zor {

class MainWindow;

// The main window's service entries: the unscaled data page, the pass-through
// toggle and the about screen (which reveals the special function mode).
class DiagnosticsMenu : public QObject {
    Q_OBJECT
public:
    explicit DiagnosticsMenu(MainWindow &main);

    void mnu_RAWDATA_Click();
    void mnu_PASSTHRU_Click();
    void mnu_ABOUT_Click();

private:
    MainWindow &main_;
};

} // namespace zor
