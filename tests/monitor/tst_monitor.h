#pragma once

#include "fakeports.h"
#include "scripteddialogs.h"
#include "shell/mainwindow.h"

#include <QLineEdit>

namespace zor::test {

int runStatusTests(int argc, char *argv[]);
int runReadbackTests(int argc, char *argv[]);
int runIdentityTests(int argc, char *argv[]);

// A loaded console on a scripted supply over an open serial port, manual update.
struct Console {
    ScriptedDialogs dialogs;
    FakeRig rig;
    frm_SDIMAIN window{rig.factory()};

    Console() {
        window.setProgramEnd([] {});
        window.Form_Load();
        dialogs.shown.clear();
        window.MSComm1().setPortName(QStringLiteral("1"));
        window.MSComm1().open();
        window.linkMode = QStringLiteral("comm1");
    }
    QList<QByteArray> sent() const { return rig.supply.payloads(); }
    QLineEdit *field(const QString &name) const {
        auto *edit = window.findChild<QLineEdit *>(name);
        Q_ASSERT_X(edit, "field", qPrintable(name));
        return edit;
    }
};

} // namespace zor::test
