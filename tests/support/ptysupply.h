#pragma once

#include "ptypair.h"
#include "scriptedsupply.h"

#include <QSocketNotifier>

namespace zor::test {

using tools::PtyPair;

// A scripted supply on the master side of a real pseudo-terminal, served from
// the event loop so the console's own waits keep running.
struct PtySupply : QObject {
    PtyPair pty;
    ScriptedSupply supply;
    QSocketNotifier notifier{pty.masterFd(), QSocketNotifier::Read};

    PtySupply() {
        connect(&notifier, &QSocketNotifier::activated, this,
                [this] { supply.consume(pty.read()); });
        connect(&supply, &ScriptedSupply::deliver, this,
                [this](const QByteArray &bytes) { pty.write(bytes); });
    }
};

} // namespace zor::test
