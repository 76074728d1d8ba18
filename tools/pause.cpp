#include "pause.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace zor {

void sleepFor(qint64 ms) {
    QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    while (!deadline.hasExpired() && !QCoreApplication::closingDown()) {
        QEventLoop loop;
        QTimer::singleShot(int(qMax<qint64>(1, deadline.remainingTime())), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace zor
