#pragma once

#include "ptypair.h"
#include "scriptedsupply.h"

#include <QSocketNotifier>

namespace zor::test {

// A scripted supply on the master side of a real pseudo-terminal, served from
// the event loop so the console's own waits keep running.
class PtySupply : public QObject {
    Q_OBJECT
public:
    PtySupply();

    PtyPair pty;
    ScriptedSupply supply;

private:
    QSocketNotifier notifier_;
};

} // namespace zor::test
