#include "runs/runrecord.h"

#include "link/devicelink.h"
#include "records/samplerow.h"
#include "supply/supplystate.h"

#include <QDir>
#include <QJsonDocument>
#include <QStandardPaths>
#include <algorithm>

namespace zor::runs {

QString defaultRunFolder() {
    // The console's data folder, named outright so zor-ctl's runs land beside
    // the console's and Run Reports lists them too.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/ZOR/ZOR80HR Interface/runs");
}

void RunRecorder::Stats::add(double v) {
    min = n ? std::min(min, v) : v;
    max = n ? std::max(max, v) : v;
    sum += v;
    ++n;
}

QJsonObject RunRecorder::Stats::json() const {
    if (!n)
        return {};
    return {{"mean", sum / n}, {"min", min}, {"max", max}};
}

RunRecorder::RunRecorder(SupplyState &state, DeviceLink &link, QString folder, Clock clock,
                         QObject *parent)
    : QObject(parent), state_(state), folder_(std::move(folder)),
      clock_(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); })) {
    connect(&state_, &SupplyState::sampled, this, &RunRecorder::sampled);
    connect(&state_, &SupplyState::arcCountChanged, this, [this](int count) {
        // A cleared count starts again from zero; only rises are arcs.
        if (recording() && count > lastArcCount_) {
            arcs_ += count - lastArcCount_;
            arcTimes_.append(since(runStart_));
        }
        lastArcCount_ = count;
    });
    connect(&link, &DeviceLink::exchanged, this,
            [this](const QByteArray &, const QByteArray &, qint64, ExchangeOutcome outcome) {
                if (recording() && step_ &&
                    (outcome == ExchangeOutcome::TimeOut || outcome == ExchangeOutcome::Garbled))
                    ++failures_;
            });
}

double RunRecorder::since(const QDateTime &from) const {
    return from.msecsTo(clock_()) / 1000.0;
}

bool RunRecorder::begin(const QString &kind, const QJsonObject &schedule) {
    if (recording())
        end(RunEnd::Interrupted);
    QDir().mkpath(folder_);
    runStart_ = clock_();
    const QString stem = runStart_.toString(QStringLiteral("yyyyMMdd-HHmmss-")) +
                         QString(kind).replace(QLatin1Char(' '), QLatin1Char('-'));
    QString path = folder_ + QLatin1Char('/') + stem + QStringLiteral(".jsonl");
    for (int n = 2; QFile::exists(path); ++n)
        path = folder_ + QStringLiteral("/%1-%2.jsonl").arg(stem).arg(n);
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    QJsonObject unit;
    for (int f = 0; f < IdentityFieldCount; ++f)
        unit.insert(QLatin1String(identityKey(IdentityField(f))),
                    state_.identity(IdentityField(f)));
    step_ = 0;
    lastArcCount_ = state_.arcCount();
    write({{"record", "run"},
           {"kind", kind},
           {"started", runStart_.toString(Qt::ISODate)},
           {"unit", unit},
           {"schedule", schedule}});
    return true;
}

void RunRecorder::stepStarted(int number, double kv, double ma, int seconds) {
    if (!recording())
        return;
    closeStep();
    step_ = number;
    stepStart_ = clock_();
    planned_ = {{"kv", kv}, {"ma", ma}, {"seconds", seconds}};
}

void RunRecorder::sampled(const SupplySample &sample) {
    if (!recording() || !step_)
        return;
    const Reading &kv = sample.reading(Quantity::KvMonitor);
    const Reading &ma = sample.reading(Quantity::MaMonitor);
    if (!kv.count || !ma.count)
        return;
    kv_.add(kv.value);
    ma_.add(ma.value);
    points_.append(QJsonArray{since(runStart_), kv.value, ma.value});
}

void RunRecorder::closeStep() {
    if (!step_)
        return;
    write({{"record", "step"},
           {"step", step_},
           {"planned", planned_},
           {"seconds", since(stepStart_)},
           {"kv", kv_.json()},
           {"ma", ma_.json()},
           {"samples", kv_.n},
           {"arcs", arcs_},
           {"linkFailures", failures_},
           {"points", points_},
           {"arcTimes", arcTimes_}});
    step_ = 0;
    kv_ = {};
    ma_ = {};
    arcs_ = failures_ = 0;
    points_ = arcTimes_ = {};
}

void RunRecorder::decision(const QJsonObject &fields) {
    if (!recording())
        return;
    QJsonObject line{{"record", "decision"}, {"time", since(runStart_)}};
    for (auto it = fields.begin(); it != fields.end(); ++it)
        line.insert(it.key(), it.value());
    write(line);
}

QString RunRecorder::end(RunEnd end, const QString &why) {
    if (!recording())
        return {};
    closeStep();
    write({{"record", "end"}, {"end", endText(end)}, {"why", why}, {"seconds", since(runStart_)}});
    const QString path = file_.fileName();
    file_.close();
    return writeReport(path);
}

void RunRecorder::write(const QJsonObject &line) {
    file_.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
    file_.flush();
}

RunReport readRecord(const QString &recordPath) {
    RunReport out;
    out.end = endText(RunEnd::Interrupted);
    QFile file(recordPath);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    while (!file.atEnd()) {
        // A line cut by a crash is not JSON; it and what follows are lost.
        const QJsonObject line = QJsonDocument::fromJson(file.readLine()).object();
        const QString kind = line.value(QLatin1String("record")).toString();
        if (kind == QLatin1String("run")) {
            out.run = line;
        } else if (kind == QLatin1String("step")) {
            out.steps.push_back(line);
            out.seconds += line.value(QLatin1String("seconds")).toDouble();
        } else if (kind == QLatin1String("end")) {
            out.end = line.value(QLatin1String("end")).toString();
            out.why = line.value(QLatin1String("why")).toString();
            out.seconds = line.value(QLatin1String("seconds")).toDouble();
        }
    }
    return out;
}

QStringList reportInterrupted(const QString &folder) {
    QStringList out;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.jsonl")}, QDir::Files)) {
        const QString record = dir.filePath(name);
        QString pdf = record;
        pdf.replace(pdf.size() - 6, 6, QStringLiteral(".pdf"));
        if (!QFile::exists(pdf))
            out << writeReport(record);
    }
    out.removeAll(QString());
    return out;
}

QStringList listReports(const QString &folder) {
    QStringList out;
    const QDir dir(folder);
    // Names begin with the start's date and time, so by name is by age.
    for (const QString &name :
         dir.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name | QDir::Reversed))
        out << dir.filePath(name);
    return out;
}

} // namespace zor::runs
