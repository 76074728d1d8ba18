#pragma once

#include "platform/serialport.h"

#include <QSerialPort>

namespace zor {

// Serial port component over QSerialPort.
class QtSerialPort final : public SerialPortComponent {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject *parent = nullptr);
    ~QtSerialPort() override;

    void setPortName(const QString &name) override { name_ = name; }
    QString portName() const override { return name_; }
    bool setSettings(const QString &settings) override;
    QString settings() const override { return settings_; }

    bool open() override;
    QString openFailureReason() const override { return failure_; }
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    bool discardInput() override;
    bool write(const QByteArray &data) override;
    std::optional<QByteArray> readAll() override;
    void drain(int timeoutMs) override;

private:
    bool applySettings();
    QString describeOpenFailure(const QString &device) const;
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    QString name_;
    QString settings_ = QStringLiteral("9600,n,8,1");
    QString failure_;
    // Counts opens, so a close queued by an error never hits a later open.
    quint64 generation_ = 0;
};

} // namespace zor
