#pragma once

#include "records/linefile.h"
#include "records/samplerow.h"

#include <QObject>
#include <QStringList>

namespace zor {

// The opt-in CSV record: one row per poll cycle (samplerow.h), written whole and handed to
// the system at once. A failed write ends logging (failed() says why, once);
// the rows already written stay.
class DataLog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

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
