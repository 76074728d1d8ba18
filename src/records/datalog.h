#pragma once

#include "records/linefile.h"
#include "supply/supplystate.h"

#include <QObject>
#include <QStringList>

namespace zor {

// Numbers in files always carry a dot, whatever the operator's locale.
inline QString fileNumber(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}
// Local time with milliseconds, for files read by people.
QString fileTime(const QDateTime &t);

// The opt-in CSV record: one row per poll cycle, written whole and handed to
// the system at once. A failed write ends logging (failed() says why, once);
// the rows already written stay.
class DataLog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    static QStringList columns();
    static QString row(const SupplySample &s);

    // Starts a new file with its header row; the reason when it cannot.
    QString start(const QString &path);
    void stop();
    bool active() const { return file_.isOpen(); }
    QString path() const { return path_; }

    void write(const zor::SupplySample &s);

signals:
    void activeChanged(bool on, const QString &path);
    void failed(const QString &message);

private:
    LineFile file_;
    QString path_;
};

} // namespace zor
