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

namespace {

class SerialStandIn final : public SerialPortComponent {
public:
    explicit SerialStandIn(FakeSerialPort &p) : p_(p) {
        connect(&p, &SerialPortComponent::readyRead, this, &SerialPortComponent::readyRead);
    }
    void setPortName(const QString &name) override { p_.setPortName(name); }
    QString portName() const override { return p_.portName(); }
    bool setSettings(const QString &settings) override { return p_.setSettings(settings); }
    QString settings() const override { return p_.settings(); }
    bool open() override { return p_.open(); }
    void close() override { p_.close(); }
    bool isOpen() const override { return p_.isOpen(); }
    bool discardInput() override { return p_.discardInput(); }
    bool write(const QByteArray &data) override { return p_.write(data); }
    std::optional<QByteArray> readAll() override { return p_.readAll(); }
    void drain(int ms) override { p_.drain(ms); }

private:
    FakeSerialPort &p_;
};

class TcpStandIn final : public TcpClientComponent {
public:
    explicit TcpStandIn(FakeTcpClient &c) : c_(c) {
        connect(&c, &TcpClientComponent::readyRead, this, &TcpClientComponent::readyRead);
        connect(&c, &TcpClientComponent::stateChanged, this, &TcpClientComponent::stateChanged);
        connect(&c, &TcpClientComponent::error, this, &TcpClientComponent::error);
    }
    void connectToRemote() override {
        c_.remoteHost = remoteHost;
        c_.remotePort = remotePort;
        c_.connectToRemote();
    }
    int state() const override { return c_.state(); }
    bool send(const QByteArray &data) override { return c_.send(data); }
    QByteArray getData() override { return c_.getData(); }
    void close() override { c_.close(); }
    void drain(int ms) override { c_.drain(ms); }

private:
    FakeTcpClient &c_;
};

} // namespace

PortFactory FakeRig::factory() {
    return {[this] { return std::make_unique<SerialStandIn>(serialPort); },
            [this] { return std::make_unique<TcpStandIn>(tcpClient); }};
}

} // namespace zor::test
