#include "diagnostics/diagnosticsmenu.h"

#include "diagnostics/rawdatapage.h"
#include "diagnostics/revscreen.h"
#include "link/devicelink.h"
#include "platform/dialogs.h"
#include "supply/supplyops.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>

namespace zor {

DiagnosticsMenu::DiagnosticsMenu(ConsoleContext ctx, ShellActions &shell, QObject *parent)
    : QObject(parent), ctx_(ctx), shell_(shell) {
    MainMenu &menu = ctx_.menu;
    connect(menu.mnu_RAWDATA, &QAction::triggered, this, &DiagnosticsMenu::mnu_RAWDATA_Click);
    connect(menu.mnu_PASSTHRU, &QAction::triggered, this, &DiagnosticsMenu::mnu_PASSTHRU_Click);
    connect(menu.mnu_GUIDE, &QAction::triggered, this, &DiagnosticsMenu::mnu_GUIDE_Click);
    connect(menu.mnu_ABOUT, &QAction::triggered, this, &DiagnosticsMenu::mnu_ABOUT_Click);
    // bin/zor-console and share/doc/zor-console/, installed or in the build tree.
    guideFile = QCoreApplication::applicationDirPath() +
                QStringLiteral("/../share/doc/zor-console/operator-guide.md");
    openDocument = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

void DiagnosticsMenu::mnu_GUIDE_Click() {
    const QString path = QFileInfo(guideFile).absoluteFilePath();
    if (!QFileInfo::exists(path)) {
        dialogs().message(QStringLiteral("The Operator Guide is not installed: %1").arg(path));
        return;
    }
    if (!openDocument(QUrl::fromLocalFile(path)))
        dialogs().message(QStringLiteral("No viewer could open the Operator Guide: %1").arg(path));
}

void DiagnosticsMenu::mnu_RAWDATA_Click() {
    RawDataPage &page = ctx_.forms.get<RawDataPage>(ctx_.state, shell_);
    page.show();
    page.raise();
}

void DiagnosticsMenu::mnu_PASSTHRU_Click() {
    ctx_.ops.togglePassthrough();
}

void DiagnosticsMenu::mnu_ABOUT_Click() {
    RevScreen &about = ctx_.forms.get<RevScreen>(ctx_.forms, ctx_.menu, shell_);
    about.show();
    about.raise();
}

} // namespace zor
