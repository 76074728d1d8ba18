#pragma once

#include "link/portfactory.h"
#include "scriptedsupply.h"

#include <QPointer>
#include <QRegularExpression>

namespace zor::test {

// In-memory serial port wired to a scripted supply.
class FakeSerialPort final : public SerialPortComponent {
    Q_OBJECT
public:
    explicit FakeSerialPort(ScriptedSupply &supply);

    bool openable = true;
    int openCount = 0;
    int closeCount = 0;

    void setPortName(const QString &name) override { name_ = name; }
    QString portName() const override { return name_; }
    // Like the real port: settings not shaped "rate,parity,bits,stop" are
    // refused and change nothing.
    bool setSettings(const QString &settings) override {
        static const QRegularExpression shape(QStringLiteral("^\\d+,[neoms],[5-8],[12]$"));
        const bool taken = shape.match(settings).hasMatch();
        if (taken)
            settings_ = settings;
        return taken;
    }
    QString settings() const override { return settings_; }
    bool open() override {
        if (openable)
            open_ = true, ++openCount;
        return openable;
    }
    void close() override { open_ = false, ++closeCount, input_.clear(); }
    bool isOpen() const override { return open_; }
    bool discardInput() override { return input_.clear(), open_; }
    bool write(const QByteArray &data) override {
        if (open_)
            supply_.consume(data);
        return open_;
    }
    std::optional<QByteArray> readAll() override {
        if (!open_)
            return std::nullopt;
        return std::exchange(input_, {});
    }
    void drain(int) override {}

private:
    ScriptedSupply &supply_;
    QString name_;
    QString settings_ = QStringLiteral("9600,n,8,1");
    bool open_ = false;
    QByteArray input_;
};

// In-memory TCP client wired to a scripted supply.
class FakeTcpClient final : public TcpClientComponent {
    Q_OBJECT
public:
    explicit FakeTcpClient(ScriptedSupply &supply);

    bool accepts = true;

    void connectToRemote() override;
    int state() const override { return state_; }
    bool send(const QByteArray &data) override {
        if (state_ == StateConnected)
            supply_.consume(data);
        return state_ == StateConnected;
    }
    QByteArray getData() override { return std::exchange(input_, {}); }
    void close() override { state_ = StateClosed; }
    void drain(int) override {}

private:
    ScriptedSupply &supply_;
    int state_ = StateClosed;
    QByteArray input_;
};

// One scripted supply with both components. The link makes a transport per
// opening, each owning a stand-in for the one fake, as a real port stays one device.
struct FakeRig {
    ScriptedSupply supply;
    FakeSerialPort serialPort{supply};
    FakeTcpClient tcpClient{supply};
    FakeSerialPort *const serial = &serialPort;
    FakeTcpClient *const tcp = &tcpClient;
    PortFactory factory();
};

} // namespace zor::test
