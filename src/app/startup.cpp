#include "app/startup.h"

#include "link/rememberedlink.h"
#include "ports/transportselection.h"
#include "shell/mainwindow.h"
#include "trend/recordsmenu.h"

#include <QPointer>

namespace zor {

Task<> startConsole(MainWindow &window, CommandLine line) {
    const bool network = line.overTcp() && line.given();
    const bool serial = !line.overTcp() && line.given();
    window.Form_Load(!serial && !network);
    if (!line.logFile.isEmpty())
        window.menus.records->logTo(line.logFile);
    if (line.mqtt.enabled())
        window.publisher.start(line.mqtt);
    if (serial) {
        QString baud = line.baud;
        if (baud.isEmpty()) {
            const QString last = RememberedLink::load().baud;
            baud = last.isEmpty() ? QStringLiteral("115200") : last;
        }
        QPointer<MainWindow> alive(&window);
        if (!co_await window.menus.transport->connectSerial(line.port, baud) || !alive)
            co_return; // shown as "Invalid Comm Port!"; the console runs without a link
        if (window.linkMode() == QStringLiteral("comm2"))
            window.btn_REQSTAT_Click();
    } else if (network) {
        QPointer<MainWindow> alive(&window);
        if (!co_await window.menus.transport->connectNetwork(line) || !alive)
            co_return;
        window.btn_REQSTAT_Click();
    } else {
        co_return;
    }
    if (line.autoUpdate) {
        window.mnu_AUTOUPDATE_Click();
        co_return;
    }
    for (int f = 0; f < IdentityFieldCount; ++f)
        window.ops.readIdentity(IdentityField(f));
}

} // namespace zor
