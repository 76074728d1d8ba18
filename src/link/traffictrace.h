#pragma once

#include "link/devicelink.h"

#include <QAbstractTableModel>
#include <QTime>
#include <deque>

namespace zor {

// The last exchanges of the link, newest last, for the traffic trace window.
// Recording costs one row insert (and one removal once full); a row keeps the
// bytes and the time as they came and is put into words only when shown, so
// the trace costs the poll next to nothing while no one looks.
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
        QTime time;
        QByteArray sent;
        QByteArray reply;
        // Negative for a late reply, which has no exchange of its own.
        qint64 durationMs;
        ExchangeOutcome outcome;
    };
    void append(Row row);
    static QString cell(const Row &row, int column);

    std::deque<Row> rows_;
};

} // namespace zor
