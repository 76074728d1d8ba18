#include "records/datalog.h"

namespace zor {

QString DataLog::start(const QString &path) {
    stop();
    if (!file_.open(path) || !file_.append(csvHeader()))
        return file_.error();
    path_ = path;
    emit activeChanged(true, path_);
    return {};
}

void DataLog::stop() {
    if (!file_.isOpen())
        return;
    file_.close();
    emit activeChanged(false, path_);
}

void DataLog::write(const SupplySample &s) {
    if (!file_.isOpen() || file_.append(csvRow(s)))
        return;
    emit activeChanged(false, path_);
    emit failed(QStringLiteral("Logging to %1 stopped: %2. Polling goes on; the rows written "
                               "so far are kept.")
                    .arg(path_, file_.error()));
}

} // namespace zor
