#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace zor::sim {

// One line per received payload: "<monotonic ms> <link> <payload>", flushed at
// once so a reader of the file sees each line as soon as the payload arrived.
// Control characters and backslashes are written as \xNN to keep one line each.
class PayloadLog {
public:
    bool open(const QString &path, QString *error);
    void write(qint64 ms, const QByteArray &link, const QByteArray &payload);

    static QByteArray escape(const QByteArray &payload);

private:
    QFile file_;
};

} // namespace zor::sim
