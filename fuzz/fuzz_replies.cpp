// Every handler of the console that cuts up a reply, answered with any bytes.
#include "control/setpointpanel.h"
#include "fakeports.h"
#include "monitor/identityframe.h"
#include "scripteddialogs.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <cstdint>
#include <memory>

namespace {

struct Harness {
    zor::test::ScriptedDialogs dialogs;
    zor::test::FakeRig rig;
    std::unique_ptr<zor::MainWindow> window;

    Harness() {
        window = std::make_unique<zor::MainWindow>(rig.factory());
        window->setProgramEnd([] {});
        window->Form_Load();
        window->link.MSComm1().setPortName(QStringLiteral("1"));
        window->link.MSComm1().open();
        window->linkMode = QStringLiteral("comm1");
    }
};

Harness *harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: the fuzzer ends the process from exit handlers, after
    // Qt's own globals are gone.
    new QApplication(*argc, *argv);
    harness = new Harness;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The reply ends in LF so each exchange completes at once instead of timing out.
    QByteArray reply(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    reply.append('\n');
    auto &supply = harness->rig.supply;
    supply.fallback = zor::test::ScriptedSupply::Answer{reply, 0, {}, 0, false, true};
    supply.frames.clear();
    zor::MainWindow &w = *harness->window;
    w.ops.readMonitors();
    w.ops.readAuxMonitors();
    w.ops.readScaling();
    w.btn_KVSET_Click();
    w.panels.setpoints->btn_EMI_Click();
    w.btn_REQSTAT_Click();
    w.panels.identity->btn_HWREV_Click();
    w.panels.identity->btn_MODNUM_Click();
    w.panels.identity->btn_SWREV_Click();
    w.panels.identity->btn_SWBuild_Click();
    w.panels.identity->btn_serialNum_rqst_Click();
    w.btn_HVONOFF_Click();
    w.btn_HVONOFF_Click();
    emit w.link.networkStatus(reply);
    return 0;
}
