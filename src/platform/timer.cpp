#include "platform/timer.h"

#include <QPointer>

namespace zor {

Timer::Timer(int intervalMs, QObject *parent) : QObject(parent) {
    timer_.setInterval(intervalMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Timer::fire);
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
    } while (self && due_ && timer_.isActive());
    if (self)
        ticking_ = false;
}

void Timer::setEnabled(bool enabled) {
    if (enabled)
        timer_.start();
    else
        timer_.stop();
}

} // namespace zor
