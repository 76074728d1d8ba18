#include "supply/xraywarning.h"

#include "link/devicelink.h"

#include <algorithm>

namespace zor {

XrayWarning::XrayWarning(DeviceLink &link, QObject *parent) : QObject(parent), link_(link) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &XrayWarning::next);
}

void XrayWarning::setSeconds(int seconds) {
    seconds_ = std::clamp(seconds, 0, MaxSeconds);
}

void XrayWarning::start(quint64 offSeen, std::function<void()> then,
                        std::function<void()> otherwise) {
    cancel();
    // No warning set: the on goes ahead at once, and nothing is shown.
    if (seconds_ <= 0) {
        if (then)
            then();
        return;
    }
    then_ = std::move(then);
    otherwise_ = std::move(otherwise);
    offSeen_ = offSeen;
    running_ = true;
    left_ = seconds_;
    clock_.start();
    emit tick(left_);
    timer_.start(1000);
}

void XrayWarning::next() {
    if (!running_)
        return;
    if (link_.offsAsked() != offSeen_) {
        end(false);
        return;
    }
    if (--left_ <= 0) {
        end(true);
        return;
    }
    emit tick(left_);
    // Each second from the start, not from the last tick: late ticks do not add up.
    const qint64 due = qint64(seconds_ - left_ + 1) * 1000 - clock_.elapsed();
    timer_.start(int(std::max<qint64>(due, 0)));
}

void XrayWarning::cancel() {
    if (running_)
        end(false);
}

void XrayWarning::end(bool elapsed) {
    timer_.stop();
    running_ = false;
    const auto run = std::exchange(elapsed ? then_ : otherwise_, nullptr);
    then_ = nullptr;
    otherwise_ = nullptr;
    emit finished(elapsed);
    if (run)
        run();
}

} // namespace zor
