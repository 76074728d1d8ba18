#pragma once

#include "records/audittrail.h"
#include "ui/consolecontext.h"

#include <QObject>

class QAction;
class QStatusBar;
class QWidget;

namespace zor {

// The console's audit trail and the warning before X-rays: Controls > "Audit
// Trail..." and "X-Ray Warning...", a failing trail and the countdown shown on
// the status bar (and the failure in the event log), a beep each second.
class AuditMenu : public QObject {
    Q_OBJECT
public:
    AuditMenu(ConsoleContext ctx, QStatusBar *statusBar, QWidget *window,
              const QString &folder = defaultAuditFolder());

    AuditTrail trail;
    QAction *mnu_AUDIT;
    QAction *mnu_XRAYWARN;
    void mnu_AUDIT_Click();
    // Asks "Warn before X-rays on: 0-10 s" and remembers the answer.
    void mnu_XRAYWARN_Click();

private:
    ConsoleContext ctx_;
    QStatusBar *statusBar_;
};

} // namespace zor
