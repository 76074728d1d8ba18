#pragma once

#include <QEventLoop>
#include <QObject>
#include <QtGlobal>

namespace zor {

// A sleep in a local event loop: timers, sockets and clicks are served
// meanwhile and nothing spins. Sleeps on one Wait nest, as handlers served
// inside a sleep may sleep again: wake() ends the innermost, and each outer one
// goes on to its own wake or deadline once the inner has returned.
class Wait {
public:
    Wait() = default;
    Wait(const Wait &) = delete;
    Wait &operator=(const Wait &) = delete;

    // Until wake() or `ms` (on a precise, monotonic timer); false when the
    // application is quitting and no further waiting is possible.
    bool sleep(qint64 ms) {
        QEventLoop loop;
        return run(loop, ms);
    }
    // The same, also ended by `signal` of `sender`.
    template <typename Sender, typename Signal>
    bool sleep(qint64 ms, const Sender *sender, Signal signal) {
        QEventLoop loop;
        QObject::connect(sender, signal, &loop, &QEventLoop::quit);
        return run(loop, ms);
    }

    void wake() {
        if (loop_)
            loop_->quit();
    }
    bool sleeping() const { return loop_ != nullptr; }

private:
    bool run(QEventLoop &loop, qint64 ms);

    QEventLoop *loop_ = nullptr;
};

// Sleeps the whole of `ms` by the monotonic clock, serving events meanwhile.
void sleepFor(qint64 ms);

} // namespace zor
