#include "link/traffictrace.h"

#include "link/payloadtext.h"

namespace zor {

TrafficTrace::TrafficTrace(DeviceLink &link) : QAbstractTableModel(&link) {
    connect(&link, &DeviceLink::exchanged, this, &TrafficTrace::record);
    connect(&link, &DeviceLink::lateReplyDiscarded, this, &TrafficTrace::recordLate);
}

QString TrafficTrace::outcomeText(ExchangeOutcome outcome) {
    switch (outcome) {
    case ExchangeOutcome::Ok:
        return QStringLiteral("ok");
    case ExchangeOutcome::Refused:
        return QStringLiteral("refused");
    case ExchangeOutcome::TimeOut:
        return QStringLiteral("time-out");
    case ExchangeOutcome::Garbled:
        return QStringLiteral("garbled");
    case ExchangeOutcome::SentAlone:
        break;
    }
    return QStringLiteral("sent");
}

void TrafficTrace::record(const QByteArray &payload, const QByteArray &reply, qint64 durationMs,
                          ExchangeOutcome outcome) {
    if (paused)
        return;
    append(QTime::currentTime().addMSecs(-durationMs), QString::fromLatin1(payload),
           visibleControls(reply), QString::number(durationMs), outcomeText(outcome));
}

void TrafficTrace::recordLate(const QByteArray &bytes) {
    if (!paused)
        append(QTime::currentTime(), {}, visibleControls(bytes), {},
               QStringLiteral("late discarded"));
}

void TrafficTrace::append(QTime time, const QString &sent, const QString &reply, const QString &ms,
                          const QString &outcome) {
    if (rows_.size() >= MaxRows) {
        beginRemoveRows({}, 0, 0);
        rows_.pop_front();
        endRemoveRows();
    }
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back({{time.toString(QStringLiteral("HH:mm:ss.zzz")), sent, reply, ms, outcome}});
    endInsertRows();
}

void TrafficTrace::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

QString TrafficTrace::text(const QList<int> &rows) const {
    QString out;
    for (const int r : rows) {
        if (r < 0 || r >= rowCount())
            continue;
        const Row &row = rows_[static_cast<size_t>(r)];
        QStringList cells(std::begin(row.cells), std::end(row.cells));
        out += cells.join(u'\t') + u'\n';
    }
    return out;
}

int TrafficTrace::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrafficTrace::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficTrace::data(const QModelIndex &index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount() ||
        index.column() >= ColumnCount)
        return {};
    return rows_[static_cast<size_t>(index.row())].cells[index.column()];
}

QVariant TrafficTrace::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char *const names[ColumnCount] = {"Time", "Sent", "Reply", "ms", "Outcome"};
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString::fromLatin1(names[section]);
}

} // namespace zor
