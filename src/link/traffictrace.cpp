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
    case ExchangeOutcome::NotSent:
        return QStringLiteral("on refused: off asked since");
    case ExchangeOutcome::SentAlone:
        break;
    }
    return QStringLiteral("sent");
}

namespace {
// A reply shares the buffer it was read into, and a port's read reserves tens
// of KiB for a frame of a few bytes: a row that kept it would keep all of it.
QByteArray ownCopy(const QByteArray &bytes) {
    return QByteArray(bytes.constData(), bytes.size());
}
} // namespace

void TrafficTrace::record(const QByteArray &payload, const QByteArray &reply, qint64 durationMs,
                          ExchangeOutcome outcome) {
    if (paused)
        return;
    append({QTime::currentTime().addMSecs(-durationMs), ownCopy(payload), ownCopy(reply),
            durationMs, outcome});
}

void TrafficTrace::recordLate(const QByteArray &bytes) {
    if (!paused)
        append({QTime::currentTime(), {}, ownCopy(bytes), -1, ExchangeOutcome::Garbled});
}

void TrafficTrace::append(Row row) {
    if (rows_.size() >= MaxRows) {
        beginRemoveRows({}, 0, 0);
        rows_.pop_front();
        endRemoveRows();
    }
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

QString TrafficTrace::cell(const Row &row, int column) {
    const bool late = row.durationMs < 0;
    switch (column) {
    case Time:
        return row.time.toString(QStringLiteral("HH:mm:ss.zzz"));
    case Sent:
        return QString::fromLatin1(row.sent);
    case Reply:
        return visibleControls(row.reply);
    case Duration:
        return late ? QString() : QString::number(row.durationMs);
    case Outcome:
        return late ? QStringLiteral("late discarded") : outcomeText(row.outcome);
    }
    return {};
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
        for (int column = 0; column < ColumnCount; ++column)
            out += cell(row, column) + (column + 1 < ColumnCount ? u'\t' : u'\n');
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
    return cell(rows_[static_cast<size_t>(index.row())], index.column());
}

QVariant TrafficTrace::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char *const names[ColumnCount] = {"Time", "Sent", "Reply", "ms", "Outcome"};
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString::fromLatin1(names[section]);
}

} // namespace zor
