#include "platform/wait.h"

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace zor {

bool Wait::run(QEventLoop &loop, qint64 ms) {
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(static_cast<int>(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max())));
    QEventLoop *outer = loop_;
    loop_ = &loop;
    const int rc = loop.exec();
    loop_ = outer;
    return rc == 0;
}

void sleepFor(qint64 ms) {
    QElapsedTimer clock;
    clock.start();
    // A timer may come due a little early; the clock decides. A quitting
    // application ends every loop at once, so nothing more can be waited for.
    for (qint64 left = ms; left > 0; left = ms - clock.elapsed()) {
        Wait wait;
        if (!wait.sleep(left))
            return;
    }
}

} // namespace zor
