#pragma once

#include "fakeports.h"
#include "scripteddialogs.h"
#include "shell/mainwindow.h"

#include <QLineEdit>
#include <QPalette>
#include <QTest>

namespace zor::test {

// A console on a scripted supply, opened on COMM1 in manual update. The reads
// of the poll answer at once so a stray step never waits out the reply limit.
struct Console {
    ScriptedDialogs dialogs;
    FakeRig rig;
    frm_SDIMAIN window{rig.factory()};
    int ends = 0;

    Console() {
        window.setProgramEnd([this] { ++ends; });
        for (const char *p : {"VMON;", "IMON;", "FMON;", "STAT;", "FLT;", "LVPS;", "TEMP;",
                              "SLVR ;", "SLIR ;", "HWVR;", "MODR;", "FREV;", "SOFT;", "SNUR;"})
            rig.supply.on(p, "1;");
        window.Form_Load();
        window.MSComm1().setPortName(QStringLiteral("1"));
        window.MSComm1().open();
        window.linkMode = QStringLiteral("comm1");
    }
    // An empty answer means the supply stays silent.
    void answer(const QByteArray &payload, const QByteArray &text, int delayMs = 0) {
        if (text.isEmpty())
            rig.supply.silentOn(payload);
        else
            rig.supply.on(payload, text, delayMs);
    }
    QList<QByteArray> sent() const { return rig.supply.payloads(); }
};

inline QString baseColour(const QLineEdit *field) {
    return field->palette().color(QPalette::Base).name();
}

// One table row on one line.
template <typename... A> void row(const char *name, const A &...values) {
    (QTest::newRow(name) << ... << values);
}

int runSetpointTests(int argc, char **argv);
int runSwitchTests(int argc, char **argv);

} // namespace zor::test
