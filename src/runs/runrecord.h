#pragma once

#include "runs/runend.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <functional>
#include <vector>

namespace zor {

class DeviceLink;
class SupplyState;
struct SupplySample;

namespace runs {

// Where records and reports live when nothing else is named: runs/ in the
// console's data folder, for zor-ctl too.
QString defaultRunFolder();

// The record of one run, as JSON lines: a "run" line (unit, schedule, start),
// one "step" line as each step ends (planned and reached kV and mA, time,
// arcs, link failures, the samples for the plot) and an "end" line. Each line
// is flushed as it is written, so a run cut short leaves every finished step.
class RunRecorder : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    RunRecorder(SupplyState &state, DeviceLink &link, QString folder, Clock clock = {},
                QObject *parent = nullptr);

    bool recording() const { return file_.isOpen(); }
    QString recordPath() const { return file_.fileName(); }

    // Opens a new record; `schedule` is {"name", "steps": [{kv, ma, seconds}]}.
    bool begin(const QString &kind, const QJsonObject &schedule);
    // Ends the step before (if any) and starts step `number` (from 1).
    void stepStarted(int number, double kv, double ma, int seconds);
    // A line of its own for what the run decided, stamped with its time.
    void decision(const QJsonObject &fields);
    // Ends the last step, writes how the run ended and makes the report; its
    // PDF's path, empty when it could not be written.
    QString end(RunEnd end, const QString &why = {});

private:
    void sampled(const SupplySample &sample);
    void closeStep();
    void write(const QJsonObject &line);
    double since(const QDateTime &from) const;

    struct Stats {
        double sum = 0, min = 0, max = 0;
        int n = 0;
        void add(double v);
        QJsonObject json() const;
    };
    SupplyState &state_;
    QString folder_;
    Clock clock_;
    QFile file_;
    QDateTime runStart_;
    QDateTime stepStart_;
    int step_ = 0;
    QJsonObject planned_;
    Stats kv_, ma_;
    int arcs_ = 0;
    int failures_ = 0;
    int lastArcCount_ = 0;
    QJsonArray points_, arcTimes_;
};

// A record read back: what the report shows.
struct RunReport {
    QJsonObject run;
    std::vector<QJsonObject> steps;
    QString end;
    QString why;
    double seconds = 0;
};
RunReport readRecord(const QString &recordPath);

// Writes the PDF and its JSON twin beside the record; the PDF's path, or empty.
QString writeReport(const QString &recordPath);
// Pages the PDF of a report has, for a given number of steps.
int reportPages(int steps);
// Gives every record without a report one, marked "interrupted" where the run
// never ended; their PDFs' paths.
QStringList reportInterrupted(const QString &folder);
// The reports in a folder, newest first.
QStringList listReports(const QString &folder);

} // namespace runs
} // namespace zor
