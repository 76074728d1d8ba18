#pragma once

#include "platform/isotime.h"
#include "runs/runend.h"
#include "supply/quantities.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <functional>
#include <future>
#include <vector>

namespace zor {

class DeviceLink;
class SupplyOps;
class SupplyState;
struct SupplySample;

namespace runs {

// Where records and reports live when nothing else is named: runs/ in the
// console's data folder, for zor-ctl too.
QString defaultRunFolder();

// Samples of a step taken while kV and mA still ramp to the new setpoints:
// the first poll samples after a change, left out of the settled values.
inline constexpr int RampSamples = 4;

// Who and what a run is for, as the operator gave them at Start.
struct RunLabels {
    QString tube; // empty: the unit's serial number
    QString operatorName;
    QString customer;
};
// The tube last named for a unit (by serial number), else the serial number;
// what the operator names at Start is remembered for the unit.
QString rememberedTube(const QString &serial);
// The tube remembered for the unit and the operator and customer last given.
RunLabels rememberedLabels(const QString &serial);
void rememberLabels(const QString &serial, const RunLabels &labels);

// The record of one run, as JSON lines: a "run" line (unit, tube, versions,
// schedule, start), one "step" line as each step ends (planned and settled kV,
// mA and filament current, time, arcs, link failures, the samples for the
// plot), an "event" line for each fault, interlock opening and refused
// switch-on, and an "end" line. Each line is flushed as it is written, so a
// run cut short leaves every finished step.
class RunRecorder : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    RunRecorder(SupplyState &state, DeviceLink &link, QString folder, Clock clock = {},
                QObject *parent = nullptr);
    // Waits for the reports still being written.
    ~RunRecorder() override;

    bool recording() const { return file_.isOpen(); }
    QString recordPath() const { return file_.fileName(); }

    // Records the supply's refusals of the high voltage too.
    void watch(SupplyOps &ops);

    // Opens a new record; `schedule` is {"name", "steps": [{kv, ma, seconds}]}.
    bool begin(const QString &kind, const QJsonObject &schedule, const RunLabels &labels = {});
    // Ends the step before (if any) and starts step `number` (from 1).
    void stepStarted(int number, double kv, double ma, int seconds);
    // Ends the last step: the closing zeros are no step of the schedule.
    void closing();
    // A line of its own for what the run decided, stamped with its time.
    void decision(const QJsonObject &fields);
    // Ends the last step and writes how the run ended; the report is made on
    // a worker thread, so an overnight run's report never holds the event
    // loop (nor an off behind it). The PDF's path it will have; empty when
    // nothing was recorded.
    QString end(RunEnd end, const QString &why = {});
    // Waits for the last report: its PDF's path, empty when it could not be
    // written (zor-ctl's exit, the console's, tests). Blocks: the console
    // waits for reportWritten instead while it runs.
    QString joinReport();
    // end(), then `told` with the PDF's path (empty when nothing was recorded
    // or it could not be written) once the report is written and the link is
    // idle, while `context` lives. When the console is ending, the link's idle
    // waits for the report instead and `told` is not called.
    void endThenTell(RunEnd end, const QString &why, QObject *context,
                     std::function<void(const QString &)> told);

signals:
    // A report is written, and told in the event log: its PDF's path, or
    // empty.
    void reportWritten(const QString &pdf);

private:
    void sampled(const SupplySample &sample);
    void closeStep();
    void event(const QString &kind, const QString &text);
    void statusChanged();
    void write(const QJsonObject &line);
    double since(const QDateTime &from) const;

    struct Stats {
        double sum = 0, min = 0, max = 0;
        int n = 0;
        void add(double v);
        QJsonObject json() const;
    };
    SupplyState &state_;
    DeviceLink &link_;
    QString folder_;
    Clock clock_;
    QFile file_;
    QDateTime runStart_;
    QDateTime stepStart_;
    int step_ = 0;
    QJsonObject planned_;
    Stats kv_, ma_, fil_;
    int samples_ = 0;
    StatusBits lastStatus_;
    int arcs_ = 0;
    int failures_ = 0;
    int lastArcCount_ = 0;
    QJsonArray points_, arcTimes_;
    std::vector<std::future<QString>> reports_;
};

// A mark on the report's plot at a time of the run.
struct TimeMark {
    double seconds = 0;
    QString label;
};

// A record read back: what the report shows.
struct RunReport {
    QJsonObject run;
    std::vector<QJsonObject> steps; // the closing row is not among them
    std::vector<QJsonObject> events;
    // Lines of other kinds, for additions to the report.
    std::vector<QJsonObject> other;
    QString end;
    QString why;
    double seconds = 0;
    // Added to the summary and the plot by whoever reads `other`.
    QStringList extraSummary;
    std::vector<TimeMark> marks;

    bool cycle() const;
    // The schedule's steps that never started.
    std::vector<QJsonObject> notReached() const;
    // How the run ended, in a customer's words.
    QString verdict() const;
};
RunReport readRecord(const QString &recordPath);

// Writes the PDF and its JSON twin beside the record; the PDF's path, or empty.
QString writeReport(const QString &recordPath);
// Gives every record without a report one, marked "interrupted" where the run
// never ended; their PDFs' paths.
QStringList reportInterrupted(const QString &folder);
// The reports in a folder, newest first.
QStringList listReports(const QString &folder);
// A report as Run Reports lists it, from its JSON twin.
struct ReportEntry {
    QString pdf;
    QString started; // ISO 8601 with offset
    QString tube;
    QString kind;
    QString end;
    double seconds = 0;
};
std::vector<ReportEntry> reportEntries(const QString &folder);

} // namespace runs
} // namespace zor
