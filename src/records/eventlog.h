#pragma once

#include "records/linefile.h"
#include "supply/supplystate.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <functional>

namespace zor {

class SupplyOps;

// What the event log compares between two moments.
// What was asked of the switch is logged by the operations that ask it, not
// read from the switch, which status reads move too.
struct EventSnapshot {
    bool hvOn = false; // the lamp: the supply confirmed
    StatusBits status;
    int arcCount = 0;
    bool arcArmed = true;
    int failedReplies = 0;
    bool linkAnswering = false;
    bool linkLost = false; // latched from the first failed reply until an answer
    bool operator==(const EventSnapshot &) const = default;
};

struct DetectedEvent {
    EventType type;
    QString text;
    QJsonObject values;
    bool operator==(const DetectedEvent &) const = default;
};

// The events between two snapshots, in a fixed order. Also carries the lost
// link latch forward into `after`.
QList<DetectedEvent> detectEvents(const EventSnapshot &before, EventSnapshot &after);

// Everything that happened while the console ran, newest last, with time
// stamps; copied line by line to a file while one is attached.
class EventLog : public QObject {
    Q_OBJECT
public:
    struct Entry {
        QDateTime at;
        QString text;
        EventType type = EventType::Shutdown;
        QJsonObject values;
    };

    explicit EventLog(SupplyState &state, QObject *parent = nullptr);

    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
    // Set-points programmed or refused, fault resets and hand-backs.
    void watch(SupplyOps &ops);
    // An event the model cannot see (seasoning, cycle test, shutdown).
    void note(EventType type, const QString &text, const QJsonObject &values = {});
    // The console moved to another transport (or to none): "COMM1 at 115200".
    void portChanged(const QString &transport);
    // How an operation was answered, in the log's words: "taken" is no word of
    // its own, "refused" only for a refusal.
    static QString outcome(const QString &what, parse::Ack ack);

    const QList<Entry> &entries() const { return entries_; }
    static QString line(const Entry &e);

    // Copies every further event to path (after those so far); the reason when it cannot.
    QString attach(const QString &path);
    void detach() { file_.close(); }
    // Writes every event so far to path; the reason when it cannot.
    QString saveTo(const QString &path) const;

signals:
    void added(const zor::EventLog::Entry &entry);

private:
    void refresh();
    void append(EventType type, const QString &text, const QJsonObject &values = {});

    SupplyState &state_;
    EventSnapshot last_;
    std::function<QDateTime()> clock_;
    QList<Entry> entries_;
    LineFile file_;
};

} // namespace zor
