#include "platform/timer.h"

#include <QPointer>
#include <algorithm>
#include <sys/timerfd.h>
#include <unistd.h>

namespace zor {

Timer::Timer(int intervalMs, QObject *parent) : QObject(parent), intervalMs_(intervalMs) {
    fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0)
        qFatal("timerfd_create failed");
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &Timer::expired);
}

Timer::~Timer() {
    notifier_.reset();
    ::close(fd_);
}

void Timer::arm(qint64 firstNs) {
    const timespec period{intervalMs_ / 1000, (intervalMs_ % 1000) * 1000000L};
    // A zero first expiry would disarm the timer: what is due fires at once.
    firstNs = std::max<qint64>(firstNs, 1);
    const itimerspec setting{period, {time_t(firstNs / 1000000000), long(firstNs % 1000000000)}};
    timerfd_settime(fd_, 0, &setting, nullptr);
}

void Timer::expired() {
    quint64 expirations = 0;
    // Expirations missed while the loop was busy come as one tick.
    if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations || !active_)
        return;
    fire();
}

void Timer::fire() {
    if (ticking_) {
        due_ = true;
        return;
    }
    QPointer<Timer> self(this);
    ticking_ = true;
    do {
        due_ = false;
        emit tick();
    } while (self && due_ && active_);
    if (self)
        ticking_ = false;
}

void Timer::setEnabled(bool enabled) {
    active_ = enabled;
    if (enabled) {
        arm(qint64(intervalMs_) * 1000000);
    } else {
        const itimerspec off{};
        timerfd_settime(fd_, 0, &off, nullptr);
    }
}

void Timer::enableSince(qint64 elapsedNs) {
    active_ = true;
    arm(qint64(intervalMs_) * 1000000 - elapsedNs);
}

void Timer::setInterval(int ms) {
    intervalMs_ = ms;
    if (active_)
        arm(qint64(ms) * 1000000);
}

} // namespace zor
