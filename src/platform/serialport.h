#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

namespace zor {

// The serial port component: the operations the console uses, whatever provides them.
class SerialPortComponent : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPortComponent() override = default;

    // A port number ("3") or a device path ("/dev/ttyUSB0", "COM3").
    virtual void setPortName(const QString &name) = 0;
    virtual QString portName() const = 0;
    // "115200,n,8,1" form; false when the text is not understood (settings unchanged).
    virtual bool setSettings(const QString &settings) = 0;
    virtual QString settings() const = 0;

    virtual bool open() = 0;
    // Why the last open() failed, in words for the operator; empty when unknown.
    virtual QString openFailureReason() const { return {}; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Throws away unread received characters; false when the port is not open.
    virtual bool discardInput() = 0;
    virtual bool write(const QByteArray &data) = 0;
    // Everything received so far; nothing when the port is not open (the read fails).
    virtual std::optional<QByteArray> readAll() = 0;
    // Pushes pending output to the wire, waiting at most timeoutMs.
    virtual void drain(int timeoutMs) = 0;

signals:
    void readyRead();
};

} // namespace zor
