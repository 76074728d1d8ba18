#include "diagnostics/diagnosticsmenu.h"

#include "diagnostics/rawdatapage.h"
#include "diagnostics/revscreen.h"
#include "shell/mainwindow.h"

#include <QAction>

namespace zor {

DiagnosticsMenu::DiagnosticsMenu(MainWindow &main) : QObject(&main), main_(main) {
    MainMenu &menu = main_.menu;
    connect(menu.mnu_RAWDATA, &QAction::triggered, this, &DiagnosticsMenu::mnu_RAWDATA_Click);
    connect(menu.mnu_PASSTHRU, &QAction::triggered, this, &DiagnosticsMenu::mnu_PASSTHRU_Click);
    connect(menu.mnu_ABOUT, &QAction::triggered, this, &DiagnosticsMenu::mnu_ABOUT_Click);
    connect(menu.mnu_EXTRAS, &QAction::triggered, &main_, &MainWindow::mnu_EXTRAS_Click);
}

void DiagnosticsMenu::mnu_RAWDATA_Click() {
    RawDataPage &page = main_.rawData();
    page.show();
    page.raise();
}

void DiagnosticsMenu::mnu_PASSTHRU_Click() {
    // The console keeps no pass-through state; only a missing reply counts.
    main_.command([this] {
        main_.link.outputOutputString("96,");
        if (main_.link.inputInputString().isEmpty())
            main_.state.countFailedReply();
    });
}

void DiagnosticsMenu::mnu_ABOUT_Click() {
    RevScreen &about = main_.forms.get<RevScreen>(main_);
    about.show();
    about.raise();
}

} // namespace zor
