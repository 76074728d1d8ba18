#pragma once

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <coroutine>
#include <utility>

namespace zor {

// Where one coroutine of the link waits for data: until wake() or a deadline.
// Nothing nests: the waiter is resumed from the application's event loop.
class Wake : public QObject {
public:
    Wake() {
        deadline_.setSingleShot(true);
        deadline_.setTimerType(Qt::PreciseTimer);
        connect(&deadline_, &QTimer::timeout, this, &Wake::resume);
    }

    struct Awaiter {
        Wake &wake;
        qint64 ms;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> h) {
            wake.waiter_ = h;
            wake.deadline_.start(int(std::clamp<qint64>(ms, 0, 1 << 30)));
        }
        void await_resume() const noexcept {}
    };
    // Suspends until wake() or `ms` have passed.
    Awaiter sleep(qint64 ms) { return {*this, ms}; }

    // Data has come: resumes the waiter now.
    void resume() {
        deadline_.stop();
        if (auto h = std::exchange(waiter_, {}))
            h.resume();
    }
    // Something else changed (an off asked, the end): the waiter looks again
    // once the caller has returned to the event loop.
    void wake() {
        if (waiter_)
            deadline_.start(0);
    }
    bool sleeping() const { return bool(waiter_); }

private:
    QTimer deadline_;
    std::coroutine_handle<> waiter_;
};

} // namespace zor
