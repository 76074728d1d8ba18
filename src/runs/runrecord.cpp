#include "runs/runrecord.h"

#include "link/devicelink.h"
#include "records/samplerow.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <string_view>

namespace zor::runs {

QString rememberedTube(const QString &serial) {
    const QString tube = QSettings().value(QStringLiteral("tubes/unit-") + serial).toString();
    return tube.isEmpty() ? serial : tube;
}

RunLabels rememberedLabels(const QString &serial) {
    const QSettings settings;
    return {rememberedTube(serial), settings.value(QStringLiteral("runs/operator")).toString(),
            settings.value(QStringLiteral("runs/customer")).toString()};
}

void rememberLabels(const QString &serial, const RunLabels &labels) {
    QSettings settings;
    if (!serial.isEmpty())
        settings.setValue(QStringLiteral("tubes/unit-") + serial, labels.tube);
    settings.setValue(QStringLiteral("runs/operator"), labels.operatorName);
    settings.setValue(QStringLiteral("runs/customer"), labels.customer);
}

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
    : QObject(parent), state_(state), link_(link), folder_(std::move(folder)),
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
    connect(&state_, &SupplyState::statusChanged, this, &RunRecorder::statusChanged);
    connect(&link, &DeviceLink::exchanged, this,
            [this](const QByteArray &, const QByteArray &, qint64, ExchangeOutcome outcome) {
                if (recording() && step_ &&
                    (outcome == ExchangeOutcome::TimeOut || outcome == ExchangeOutcome::Garbled))
                    ++failures_;
            });
}

void RunRecorder::watch(SupplyOps &ops) {
    connect(&ops, &SupplyOps::answered, this, [this](SupplyOps::Operation op, parse::Ack ack) {
        if (op == SupplyOps::Operation::HvOn && ack == parse::Ack::Refused)
            event(QStringLiteral("refused"), state_.interlockOpen() == true
                                                 ? QStringLiteral("HV on refused: interlock open")
                                                 : QStringLiteral("HV on refused"));
    });
}

void RunRecorder::statusChanged() {
    const StatusBits now = state_.status();
    for (const FlagInfo &f : StatusFlags) {
        // Arcs are counted per step on their own.
        const std::string_view key = f.key;
        if (key != "arc_ok" && f.of(now) == f.alarm && f.of(lastStatus_) != f.alarm)
            event(key == "interlock_open" ? QStringLiteral("interlock") : QStringLiteral("fault"),
                  QString::fromLatin1(f.raised));
    }
    lastStatus_ = now;
}

void RunRecorder::event(const QString &kind, const QString &text) {
    if (recording())
        write({{"record", "event"},
               {"kind", kind},
               {"text", text},
               {"step", step_},
               {"at", since(runStart_)}});
}

double RunRecorder::since(const QDateTime &from) const {
    return from.msecsTo(clock_()) / 1000.0;
}

bool RunRecorder::begin(const QString &kind, const QJsonObject &schedule, const RunLabels &labels) {
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
    lastStatus_ = state_.status();
    const QString serial = state_.identity(IdentityField::SerialNumber);
    write({{"record", "run"},
           {"kind", kind},
           {"started", isoTime(runStart_)},
           {"unit", unit},
           {"tube", labels.tube.isEmpty() ? serial : labels.tube},
           {"operator", labels.operatorName},
           {"customer", labels.customer},
           {"console", QStringLiteral(ZOR_VERSION)},
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

void RunRecorder::closing() {
    closeStep();
}

void RunRecorder::sampled(const SupplySample &sample) {
    if (!recording() || !step_)
        return;
    const Reading &kv = sample.reading(Quantity::KvMonitor);
    const Reading &ma = sample.reading(Quantity::MaMonitor);
    const Reading &fil = sample.reading(Quantity::FilamentMonitor);
    if (!kv.count || !ma.count)
        return;
    if (++samples_ > RampSamples) {
        kv_.add(kv.value);
        ma_.add(ma.value);
        if (fil.count)
            fil_.add(fil.value);
    }
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
           {"fil", fil_.json()},
           {"samples", samples_},
           {"settled", kv_.n},
           {"arcs", arcs_},
           {"linkFailures", failures_},
           {"points", points_},
           {"arcTimes", arcTimes_}});
    step_ = 0;
    kv_ = {};
    ma_ = {};
    fil_ = {};
    arcs_ = failures_ = samples_ = 0;
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

RunRecorder::~RunRecorder() {
    for (std::future<QString> &f : reports_)
        f.wait();
}

QString RunRecorder::end(RunEnd end, const QString &why) {
    if (!recording())
        return {};
    closeStep();
    write({{"record", "end"}, {"end", endText(end)}, {"why", why}, {"seconds", since(runStart_)}});
    const QString path = file_.fileName();
    file_.close();
    std::erase_if(reports_, [](const std::future<QString> &f) {
        return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    reports_.push_back(std::async(std::launch::async, [this, path] {
        const QString pdf = writeReport(path);
        QMetaObject::invokeMethod(
            this,
            [this, pdf, path] {
                state_.note(
                    EventType::RunReport,
                    pdf.isEmpty()
                        ? QStringLiteral("Run report could not be written for %1")
                              .arg(QDir::toNativeSeparators(path))
                        : QStringLiteral("Run report: %1").arg(QDir::toNativeSeparators(pdf)));
                emit reportWritten(pdf);
            },
            Qt::QueuedConnection);
        return pdf;
    }));
    return path.chopped(6) + QStringLiteral(".pdf");
}

QString RunRecorder::joinReport() {
    QString last;
    for (std::future<QString> &f : reports_)
        last = f.get();
    reports_.clear();
    // What the workers posted is told now, not after the caller moved on.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return last;
}

void RunRecorder::endThenTell(RunEnd end, const QString &why, QObject *context,
                              std::function<void(const QString &)> told) {
    const bool reporting = !this->end(end, why).isEmpty();
    QPointer<RunRecorder> self(this);
    if (end == RunEnd::Shutdown) {
        // Exit waits for the report, so that it is written and noted.
        link_.whenIdle([self] {
            if (self)
                self->joinReport();
        });
        return;
    }
    const auto tell = [self, context = QPointer<QObject>(context),
                       told = std::move(told)](const QString &pdf) {
        if (self)
            self->link_.whenIdle([context, told, pdf] {
                if (context)
                    told(pdf);
            });
    };
    if (reporting)
        connect(this, &RunRecorder::reportWritten, context, tell, Qt::SingleShotConnection);
    else
        tell({});
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
        } else if (kind == QLatin1String("event")) {
            out.events.push_back(line);
        } else if (!line.isEmpty()) {
            out.other.push_back(line);
        }
    }
    // Records made before the closing zeros were set apart carry them as a
    // step beyond the schedule, with nothing planned.
    const qsizetype planned = out.run.value(QLatin1String("schedule"))
                                  .toObject()
                                  .value(QLatin1String("steps"))
                                  .toArray()
                                  .size();
    if (!out.cycle() && !out.steps.empty() &&
        out.steps.back().value(QLatin1String("step")).toInt() > planned &&
        out.steps.back().value(QLatin1String("planned")).toObject() ==
            QJsonObject{{"kv", 0}, {"ma", 0}, {"seconds", 0}})
        out.steps.pop_back();
    return out;
}

bool RunReport::cycle() const {
    return run.value(QLatin1String("kind")).toString() == QLatin1String("cycle test");
}

std::vector<QJsonObject> RunReport::notReached() const {
    std::vector<QJsonObject> out;
    const QJsonArray planned =
        run.value(QLatin1String("schedule")).toObject().value(QLatin1String("steps")).toArray();
    const int last = steps.empty() ? 0 : steps.back().value(QLatin1String("step")).toInt();
    for (qsizetype i = last; !cycle() && i < planned.size(); ++i)
        out.push_back({{"step", int(i + 1)}, {"planned", planned[i]}});
    return out;
}

QString RunReport::verdict() const {
    const QString unit = cycle() ? QStringLiteral("cycle") : QStringLiteral("step");
    const int last = steps.empty() ? 0 : steps.back().value(QLatin1String("step")).toInt();
    const qsizetype planned = run.value(QLatin1String("schedule"))
                                  .toObject()
                                  .value(QLatin1String("steps"))
                                  .toArray()
                                  .size();
    const QString where = cycle() || !planned
                              ? QStringLiteral("%1 %2").arg(unit).arg(last)
                              : QStringLiteral("%1 %2 of %3").arg(unit).arg(last).arg(planned);
    QString because = why.isEmpty() ? QString() : QStringLiteral(": ") + why;
    // The sentence's own full stop follows.
    if (because.endsWith(QLatin1Char('.')))
        because.chop(1);
    if (end == endText(RunEnd::Completed))
        return cycle() ? QStringLiteral("Completed: %1 cycles.").arg(last)
                       : QStringLiteral("Completed: all %1 steps held.").arg(last);
    if (end == endText(RunEnd::Stopped))
        return QStringLiteral("Stopped by the operator at %1%2.").arg(where, because);
    if (end == endText(RunEnd::XrayOff))
        return QStringLiteral("Ended by the X-ray off key at %1%2.").arg(where, because);
    if (end == endText(RunEnd::LinkLost))
        return QStringLiteral("Ended at %1: the supply stopped answering%2.").arg(where, because);
    if (end == endText(RunEnd::Shutdown))
        return QStringLiteral("Ended at %1 by Shutdown and Exit%2.").arg(where, because);
    if (end == endText(RunEnd::Interrupted))
        return QStringLiteral("Interrupted at %1: the console ended without closing the "
                              "record%2.")
            .arg(where, because);
    // Any other ending ("abandoned", "abandoned: <fault>") as the record words it.
    QString said = end;
    if (!said.isEmpty())
        said[0] = said[0].toUpper();
    return QStringLiteral("%1 at %2%3.").arg(said, where, because);
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

namespace zor::runs {

std::vector<ReportEntry> reportEntries(const QString &folder) {
    std::vector<ReportEntry> out;
    for (const QString &pdf : listReports(folder)) {
        QFile twin(pdf.chopped(4) + QStringLiteral(".json"));
        const QJsonObject o = twin.open(QIODevice::ReadOnly)
                                  ? QJsonDocument::fromJson(twin.readAll()).object()
                                  : QJsonObject();
        out.push_back({pdf, o.value(QLatin1String("started")).toString(),
                       o.value(QLatin1String("tube")).toString(),
                       o.value(QLatin1String("kind")).toString(),
                       o.value(QLatin1String("end")).toString(),
                       o.value(QLatin1String("seconds")).toDouble()});
    }
    return out;
}

} // namespace zor::runs
