#include "audit/auditmenu.h"

#include "audit/auditwindow.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"
#include "ui/formregistry.h"
#include "ui/mainmenu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>

namespace zor {

namespace {
const QString WarnKey = QStringLiteral("xrayWarningSeconds");
}

AuditMenu::AuditMenu(ConsoleContext ctx, QStatusBar *statusBar, QWidget *window,
                     const QString &folder)
    : QObject(window), trail(ctx.ops, QStringLiteral("console"), folder), ctx_(ctx),
      statusBar_(statusBar) {
    mnu_AUDIT = ctx_.menu.mnu_Controls->addAction(QStringLiteral("Audit Trail..."));
    mnu_AUDIT->setObjectName(QStringLiteral("mnu_AUDIT"));
    mnu_XRAYWARN = ctx_.menu.mnu_Controls->addAction(QStringLiteral("X-Ray Warning..."));
    mnu_XRAYWARN->setObjectName(QStringLiteral("mnu_XRAYWARN"));
    connect(mnu_AUDIT, &QAction::triggered, this, &AuditMenu::mnu_AUDIT_Click);
    connect(mnu_XRAYWARN, &QAction::triggered, this, &AuditMenu::mnu_XRAYWARN_Click);

    // The write has gone out; the operator must learn that no trace of it was kept.
    connect(&trail, &AuditTrail::failed, this, [this](const QString &message) {
        statusBar_->showMessage(message);
        ctx_.state.note(EventType::Audit, message);
    });
    connect(&trail, &AuditTrail::appended, this, [this] {
        if (AuditWindow *w = ctx_.forms.find<AuditWindow>())
            w->reload();
    });

    XrayWarning &warning = ctx_.ops.xrayWarning();
    warning.setSeconds(QSettings().value(WarnKey, 0).toInt());
    connect(&warning, &XrayWarning::tick, this, [this](int left) {
        statusBar_->showMessage(QStringLiteral("X-rays on in %1 s").arg(left));
        QApplication::beep();
    });
    connect(&warning, &XrayWarning::finished, this, [this] { statusBar_->clearMessage(); });
}

void AuditMenu::mnu_AUDIT_Click() {
    AuditWindow &window = ctx_.forms.get<AuditWindow>(trail.folder());
    window.reload();
    window.show();
    window.raise();
}

void AuditMenu::mnu_XRAYWARN_Click() {
    XrayWarning &warning = ctx_.ops.xrayWarning();
    const QString answer =
        dialogs().input(QStringLiteral("Warn before X-rays on: 0-10 s"),
                        QStringLiteral("X-Ray Warning"), QString::number(warning.seconds()));
    if (answer.isEmpty())
        return;
    const auto seconds = plainWhole(answer.trimmed(), XrayWarning::MaxSeconds);
    if (!seconds) {
        dialogs().message(QStringLiteral("Please enter a whole number of seconds from 0 to 10."),
                          QStringLiteral("X-Ray Warning"));
        return;
    }
    warning.setSeconds(*seconds);
    QSettings().setValue(WarnKey, *seconds);
}

} // namespace zor
