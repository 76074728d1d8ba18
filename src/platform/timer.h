#pragma once

#include <QObject>
#include <QTimer>

namespace zor {

// A window timer as the console's handlers expect it: enabling it (again)
// restarts its interval, disabling it stops it. Ticks never stack: one that
// falls due while the previous tick's handler still runs (waiting inside it)
// is kept once and delivered right after that handler returns, if the timer
// is still on.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(int intervalMs, QObject *parent = nullptr);

    void setEnabled(bool enabled);
    bool isEnabled() const { return timer_.isActive(); }
    int interval() const { return timer_.interval(); }
    // Tests shorten long intervals; the console never changes them.
    void setInterval(int ms) { timer_.setInterval(ms); }

signals:
    void tick();

private:
    void fire();

    QTimer timer_;
    bool ticking_ = false;
    bool due_ = false;
};

} // namespace zor
