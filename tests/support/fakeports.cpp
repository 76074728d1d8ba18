#include "fakeports.h"

#include <QTimer>

namespace zor::test {

FakeSerialPort::FakeSerialPort(ScriptedSupply &supply) : supply_(supply) {
    connect(&supply_, &ScriptedSupply::deliver, this, [this](const QByteArray &bytes) {
        if (!open_ || supply_.ethernet)
            return;
        input_.append(bytes);
        emit readyRead();
    });
}

FakeTcpClient::FakeTcpClient(ScriptedSupply &supply) : supply_(supply) {
    connect(&supply_, &ScriptedSupply::deliver, this, [this](const QByteArray &bytes) {
        if (state_ != StateConnected || !supply_.ethernet)
            return;
        input_.append(bytes);
        emit readyRead();
    });
}

void FakeTcpClient::connectToRemote() {
    state_ = 6;
    QTimer::singleShot(0, this, [this] {
        state_ = accepts ? int(StateConnected) : 9;
        emit stateChanged();
        if (!accepts)
            emit error(10061, QStringLiteral("Connection is forcefully rejected"));
    });
}

PortFactory FakeRig::factory() {
    return {[this] {
                auto port = std::make_unique<FakeSerialPort>(supply);
                serial = port.get();
                return port;
            },
            [this] {
                auto client = std::make_unique<FakeTcpClient>(supply);
                tcp = client.get();
                return client;
            }};
}

} // namespace zor::test
