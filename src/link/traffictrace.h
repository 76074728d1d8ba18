#pragma once

#include "link/devicelink.h"

#include <QAbstractTableModel>
#include <QTime>
#include <deque>

namespace zor {

// The last exchanges of the link, newest last, for the traffic trace window.
// Recording costs one row insert (and one removal once full); nothing is
// laid out here, so a long trace does not slow the poll.
class TrafficTrace : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int MaxRows = 2000;
    enum Column { Time, Sent, Reply, Duration, Outcome, ColumnCount };

    explicit TrafficTrace(DeviceLink &link);

    static QString outcomeText(ExchangeOutcome outcome);

    void record(const QByteArray &payload, const QByteArray &reply, qint64 durationMs,
                ExchangeOutcome outcome);
    // A reply that came after its exchange had given up, and was thrown away.
    void recordLate(const QByteArray &bytes);
    void clear();
    // While paused nothing is recorded.
    bool paused = false;

    // The rows as tab-separated lines, for copying and saving.
    QString text(const QList<int> &rows) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        QString cells[ColumnCount];
    };
    void append(QTime time, const QString &sent, const QString &reply, const QString &ms,
                const QString &outcome);

    std::deque<Row> rows_;
};

} // namespace zor
