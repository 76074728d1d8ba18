#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace zor {

// A window timer as the console's handlers expect it: enabling it (again)
// restarts its interval, disabling it stops it. Ticks never stack: one that
// falls due while the previous tick's handler still runs (waiting inside it)
// is kept once and delivered right after that handler returns, if the timer
// is still on.
//
// The event loop's own timers wake on whole milliseconds, so a 66 ms poll
// tick came on average half a millisecond late, every step of every cycle.
// A kernel timer on the monotonic clock wakes the loop on time instead.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(int intervalMs, QObject *parent = nullptr);
    ~Timer() override;

    void setEnabled(bool enabled);
    // Enables it as if that had been done `elapsedNs` ago: the first tick
    // comes when the interval has run from then, at once if it has already.
    void enableSince(qint64 elapsedNs);
    bool isEnabled() const { return active_; }
    int interval() const { return intervalMs_; }
    // Tests shorten long intervals; the console never changes them.
    void setInterval(int ms);

signals:
    void tick();

private:
    void arm(qint64 firstNs);
    void expired();
    void fire();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    int intervalMs_ = 0;
    bool active_ = false;
    bool ticking_ = false;
    bool due_ = false;
};

} // namespace zor
