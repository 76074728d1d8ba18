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

bool FakeSerialPort::open() {
    if (!openable)
        return false;
    open_ = true;
    ++openCount;
    return true;
}

void FakeSerialPort::close() {
    open_ = false;
    ++closeCount;
    input_.clear();
}

bool FakeSerialPort::discardInput() {
    if (!open_)
        return false;
    input_.clear();
    return true;
}

bool FakeSerialPort::write(const QByteArray &data) {
    if (!open_)
        return false;
    supply_.consume(data);
    return true;
}

std::optional<QByteArray> FakeSerialPort::readAll() {
    if (!open_)
        return std::nullopt;
    QByteArray out;
    out.swap(input_);
    return out;
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
    QTimer::singleShot(connectDelayMs, this, [this] {
        if (accepts) {
            state_ = StateConnected;
            emit stateChanged();
        } else {
            state_ = 9;
            emit stateChanged();
            emit error(10061, QStringLiteral("Connection is forcefully rejected"));
        }
    });
}

bool FakeTcpClient::send(const QByteArray &data) {
    if (state_ != StateConnected)
        return false;
    supply_.consume(data);
    return true;
}

QByteArray FakeTcpClient::getData() {
    QByteArray out;
    out.swap(input_);
    return out;
}

void FakeTcpClient::dropConnection(const QString &description) {
    state_ = 9;
    emit stateChanged();
    emit error(10053, description);
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
