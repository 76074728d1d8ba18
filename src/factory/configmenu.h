#pragma once

#include <QObject>
#include <functional>

namespace zor {

class MainWindow;

// The menu entries of the factory and user configuration pages, each a modal
// page opened through the main window's modal-page gate.
class ConfigMenu : public QObject {
    Q_OBJECT
public:
    explicit ConfigMenu(MainWindow &main);

    void mnu_Config_Click();
    void mnu_Serial_Click();
    void mnu_BaudRate_Click();
    void mnu_UserConfig_Click();

private:
    template <class Page> void run();
    void open(std::function<void()> page);

    MainWindow &main_;
};

} // namespace zor
