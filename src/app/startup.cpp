#include "app/startup.h"

#include "link/rememberedlink.h"
#include "link/transportselection.h"
#include "shell/mainwindow.h"
#include "trend/recordsmenu.h"

namespace zor {

void startConsole(frm_SDIMAIN &window, const CommandLine &line) {
    const bool serial = !line.port.isEmpty();
    const bool network = !line.host.isEmpty();
    window.Form_Load(!serial && !network);
    if (!line.logFile.isEmpty())
        window.records->logTo(line.logFile);
    if (serial) {
        QString baud = line.baud;
        if (baud.isEmpty()) {
            const QString last = RememberedLink::load().baud;
            baud = last.isEmpty() ? QStringLiteral("115200") : last;
        }
        if (!window.transport->connectSerial(line.port, baud))
            return; // shown as "Invalid Comm Port!"; the console runs without a link
        if (window.linkMode == QStringLiteral("comm2"))
            window.btn_REQSTAT_Click();
    } else if (network) {
        if (!window.transport->connectNetwork(line.host, line.tcpPort))
            return;
        window.btn_REQSTAT_Click();
    } else {
        return;
    }
    if (line.autoUpdate) {
        window.mnu_AUTOUPDATE_Click();
        return;
    }
    window.btn_HWREV_Click();
    window.btn_MODNUM_Click();
    window.btn_SWREV_Click();
    window.btn_SWBuild_Click();
    window.btn_serialNum_rqst_Click();
}

} // namespace zor
