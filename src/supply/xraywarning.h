#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

namespace zor {

class DeviceLink;

// The optional warning before X-rays: a countdown of whole seconds whose end
// runs what was asked for, unless the X-ray off key was pressed (SupplyState's
// off count moved) or cancel() came first. 0 s, the default, is no warning.
// One at a time: the switch shows it and the status bar, whoever started it.
class XrayWarning : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxSeconds = 10;

    explicit XrayWarning(DeviceLink &link, QObject *parent = nullptr);

    int seconds() const { return seconds_; }
    void setSeconds(int seconds);
    bool running() const { return running_; }

    // Counts down seconds() from now; `then` runs at the end, `otherwise` on a
    // cancel or an off. A countdown already going is cancelled first.
    void start(quint64 offSeen, std::function<void()> then, std::function<void()> otherwise = {});
    void cancel();

signals:
    // Seconds left, from seconds() down to 1, once each second.
    void tick(int secondsLeft);
    // The countdown is over, ended or cancelled.
    void finished(bool elapsed);

private:
    void next();
    void end(bool elapsed);

    DeviceLink &link_;
    int seconds_ = 0;
    bool running_ = false;
    int left_ = 0;
    quint64 offSeen_ = 0;
    QTimer timer_;
    QElapsedTimer clock_;
    std::function<void()> then_;
    std::function<void()> otherwise_;
};

} // namespace zor
