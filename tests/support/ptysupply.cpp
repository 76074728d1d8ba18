#include "ptysupply.h"

namespace zor::test {

PtySupply::PtySupply() : notifier_(pty.masterFd(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] { supply.consume(pty.read()); });
    connect(&supply, &ScriptedSupply::deliver, this,
            [this](const QByteArray &bytes) { pty.write(bytes); });
}

} // namespace zor::test
