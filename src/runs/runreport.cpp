#include "runs/adaptivesummary.h"
#include "runs/runrecord.h"

#include <QFile>
#include <QJsonDocument>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

namespace zor::runs {

namespace {

QString number(const QJsonValue &v, int decimals) {
    return v.isDouble() ? QString::number(v.toDouble(), 'f', decimals) : QStringLiteral("-");
}

QJsonValue field(const QJsonObject &step, const char *key, const char *stat) {
    return step.value(QLatin1String(key)).toObject().value(QLatin1String(stat));
}

QString range(const QJsonObject &step, const char *key, int decimals) {
    const QJsonObject s = step.value(QLatin1String(key)).toObject();
    if (s.isEmpty())
        return QStringLiteral("-");
    return QStringLiteral("%1..%2").arg(number(s.value(QLatin1String("min")), decimals),
                                        number(s.value(QLatin1String("max")), decimals));
}

QString text(const QJsonObject &o, const char *key) {
    const QString v = o.value(QLatin1String(key)).toString();
    return v.isEmpty() ? QStringLiteral("-") : v;
}

QString unitField(const RunReport &r, const char *key) {
    return text(r.run.value(QLatin1String("unit")).toObject(), key);
}

// "2027-01-15 09:00:00 +01:00": the time where the run was made, with its offset.
QString localText(const QString &iso) {
    QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!t.isValid())
        return iso;
    if (t.timeSpec() == Qt::UTC)
        t = t.toLocalTime();
    const int offset = t.offsetFromUtc();
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QStringLiteral("-") : QStringLiteral("+"))
               .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
}

QString duration(double seconds) {
    const qint64 s = qRound64(seconds);
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min %3 s").arg(s / 3600).arg(s % 3600 / 60).arg(s % 60);
}

// A tick spacing of 1, 2 or 5 times a power of ten giving about `count` ticks.
double tickStep(double span, int count) {
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

// The report: title, verdict and summary, the plot, faults and refusals, then
// the step table, continued on further pages as needed.
class ReportPainter {
public:
    ReportPainter(QPdfWriter &pdf, const RunReport &r, const AdaptiveSummary &a)
        : pdf_(pdf), r_(r), a_(a), p_(&pdf) {
        w_ = pdf.width();
        h_ = pdf.height();
        line_ = h_ / 52;
    }
    void paint() {
        setFont(14, true);
        p_.drawText(0, y_ += line_,
                    r_.cycle() ? QStringLiteral("Cycle test report")
                               : QStringLiteral("Seasoning report"));
        setFont(10, true);
        y_ += line_ / 2;
        p_.drawText(0, y_ += line_, QStringLiteral("Verdict: ") + r_.verdict());
        setFont(9, false);
        const QJsonObject schedule = r_.run.value(QLatin1String("schedule")).toObject();
        QStringList lines{
            QStringLiteral("Tube: %1    Unit: %2    Serial number: %3")
                .arg(text(r_.run, "tube"), unitField(r_, "model"), unitField(r_, "serial")),
            QStringLiteral("Customer: %1    Operator: %2")
                .arg(text(r_.run, "customer"), text(r_.run, "operator")),
            QStringLiteral("Started: %1    Duration: %2    Schedule: %3")
                .arg(localText(r_.run.value(QLatin1String("started")).toString()),
                     duration(r_.seconds), text(schedule, "name")),
            QStringLiteral("Firmware: %1 build %2    Hardware: %3    Console: %4")
                .arg(unitField(r_, "software"), unitField(r_, "build"), unitField(r_, "hardware"),
                     text(r_.run, "console"))};
        lines += r_.extraSummary;
        lines += a_.lines;
        for (const QString &l : lines)
            p_.drawText(0, y_ += line_, l);
        y_ += line_;
        plot();
        events();
        table();
    }

private:
    void setFont(int points, bool bold) {
        QFont f = p_.font();
        f.setPointSize(points);
        f.setBold(bold);
        // No ligatures: "off" stays three letters for a reader searching or
        // copying the report's text.
        f.setStyleStrategy(QFont::PreferNoShaping);
        p_.setFont(f);
    }
    // Room for `lines` more lines, on a new page when this one is full.
    void room(int lines) {
        if (y_ + lines * line_ <= h_ - line_)
            return;
        pdf_.newPage();
        y_ = 0;
    }
    void events() {
        room(2);
        setFont(10, true);
        p_.drawText(0, y_ += line_, QStringLiteral("Faults, interlock openings and refusals"));
        setFont(9, false);
        if (r_.events.empty())
            p_.drawText(0, y_ += line_, QStringLiteral("None."));
        for (const QJsonObject &e : r_.events) {
            room(1);
            p_.drawText(0, y_ += line_,
                        QStringLiteral("%1 (%2 %3): %4")
                            .arg(duration(e.value(QLatin1String("at")).toDouble()),
                                 r_.cycle() ? QStringLiteral("cycle") : QStringLiteral("step"))
                            .arg(e.value(QLatin1String("step")).toInt())
                            .arg(e.value(QLatin1String("text")).toString()));
        }
        y_ += line_;
    }
    void table() {
        const QStringList heads{r_.cycle() ? QStringLiteral("Cycle") : QStringLiteral("Step"),
                                QStringLiteral("Set kV"),
                                QStringLiteral("Set mA"),
                                QStringLiteral("Set s"),
                                QStringLiteral("kV"),
                                QStringLiteral("mA"),
                                QStringLiteral("kV range"),
                                QStringLiteral("mA range"),
                                QStringLiteral("Filament A"),
                                QStringLiteral("Time s"),
                                QStringLiteral("Arcs"),
                                QStringLiteral("Link failures")};
        static const double widths[] = {0.06, 0.07, 0.07, 0.06, 0.08, 0.08,
                                        0.13, 0.13, 0.10, 0.07, 0.05, 0.09};
        const auto row = [&](const QStringList &cells) {
            room(1);
            y_ += line_;
            double x = 0;
            for (qsizetype i = 0; i < cells.size(); ++i) {
                p_.drawText(int(x * w_), y_, cells[i]);
                x += widths[i];
            }
        };
        room(3);
        setFont(10, true);
        p_.drawText(0, y_ += line_,
                    QStringLiteral("Settled values (the first %1 samples of each %2 left out)")
                        .arg(RampSamples)
                        .arg(r_.cycle() ? QStringLiteral("cycle") : QStringLiteral("step")));
        setFont(8, true);
        row(heads);
        setFont(8, false);
        const auto planned = [](const QJsonObject &s) {
            const QJsonObject plan = s.value(QLatin1String("planned")).toObject();
            return QStringList{QString::number(s.value(QLatin1String("step")).toInt()),
                               number(plan.value(QLatin1String("kv")), 1),
                               number(plan.value(QLatin1String("ma")), 2),
                               number(plan.value(QLatin1String("seconds")), 0)};
        };
        for (const QJsonObject &s : r_.steps)
            row(planned(s) +
                QStringList{number(field(s, "kv", "mean"), 2), number(field(s, "ma", "mean"), 3),
                            range(s, "kv", 2), range(s, "ma", 3),
                            number(field(s, "fil", "mean"), 2),
                            number(s.value(QLatin1String("seconds")), 0),
                            QString::number(s.value(QLatin1String("arcs")).toInt()),
                            QString::number(s.value(QLatin1String("linkFailures")).toInt())});
        for (const QJsonObject &s : r_.notReached())
            row(planned(s) + QStringList{QStringLiteral("not reached")});
    }
    void plot() {
        const int labelRoom = w_ / 12;
        const QRect area(labelRoom, y_ + line_, w_ - 2 * labelRoom, h_ / 4);
        double kvMax = 1, maMax = 0.1;
        const double span = std::max(1.0, r_.seconds);
        for (const QJsonObject &s : r_.steps)
            for (const QJsonValue &pt : s.value(QLatin1String("points")).toArray()) {
                kvMax = std::max(kvMax, pt.toArray().at(1).toDouble());
                maMax = std::max(maMax, pt.toArray().at(2).toDouble());
            }
        const double kvStep = tickStep(kvMax, 5), maStep = tickStep(maMax, 5);
        kvMax = std::ceil(kvMax / kvStep) * kvStep;
        maMax = std::ceil(maMax / maStep) * maStep;
        const bool minutes = span > 600;
        const double unit = minutes ? 60 : 1;
        const double tStep = tickStep(span / unit, 8);
        const auto x = [&](double t) {
            return area.left() + area.width() * std::clamp(t / span, 0.0, 1.0);
        };
        const auto y = [&](double v, double max) {
            return area.bottom() - area.height() * v / max;
        };
        setFont(8, false);
        const QFontMetrics fm(p_.font(), &pdf_);
        QPen grid(QColor(0xD0, 0xD0, 0xD0), 1);
        for (double t = 0; t <= span / unit + 1e-9; t += tStep) {
            const double px = x(t * unit);
            p_.setPen(grid);
            p_.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
            p_.setPen(Qt::black);
            const QString label = QString::number(t, 'g', 6);
            p_.drawText(QPointF(px - fm.horizontalAdvance(label) / 2.0, area.bottom() + line_),
                        label);
        }
        for (double v = 0; v <= kvMax + 1e-9; v += kvStep) {
            p_.setPen(grid);
            p_.drawLine(QPointF(area.left(), y(v, kvMax)), QPointF(area.right(), y(v, kvMax)));
            p_.setPen(Qt::blue);
            const QString label = QString::number(v, 'g', 6);
            p_.drawText(QPointF(area.left() - fm.horizontalAdvance(label) - line_ / 4,
                                y(v, kvMax) + fm.ascent() / 2.0),
                        label);
        }
        p_.setPen(Qt::darkGreen);
        for (double v = 0; v <= maMax + 1e-9; v += maStep)
            p_.drawText(QPointF(area.right() + line_ / 4, y(v, maMax) + fm.ascent() / 2.0),
                        QString::number(v, 'g', 6));
        p_.setPen(Qt::blue);
        p_.drawText(QPointF(0, area.top() - line_ / 3), QStringLiteral("kV"));
        p_.setPen(Qt::darkGreen);
        p_.drawText(QPointF(area.right() + line_ / 4, area.top() - line_ / 3),
                    QStringLiteral("mA"));
        p_.setPen(Qt::black);
        p_.drawRect(area);
        const QString timeTitle =
            minutes ? QStringLiteral("Time (min)") : QStringLiteral("Time (s)");
        p_.drawText(QPointF(area.center().x() - fm.horizontalAdvance(timeTitle) / 2.0,
                            area.bottom() + 2 * line_),
                    timeTitle);
        const auto series = [&](int column, double max, const QColor &colour) {
            QPainterPath path;
            for (const QJsonObject &s : r_.steps)
                for (const QJsonValue &pt : s.value(QLatin1String("points")).toArray()) {
                    const QJsonArray a = pt.toArray();
                    const QPointF q(x(a.at(0).toDouble()), y(a.at(column).toDouble(), max));
                    path.elementCount() == 0 ? path.moveTo(q) : path.lineTo(q);
                }
            p_.setPen(QPen(colour, w_ / 600));
            p_.drawPath(path);
        };
        series(1, kvMax, Qt::blue);
        series(2, maMax, Qt::darkGreen);
        p_.setPen(QPen(Qt::red, w_ / 800));
        for (const QJsonObject &s : r_.steps)
            for (const QJsonValue &t : s.value(QLatin1String("arcTimes")).toArray())
                p_.drawLine(QPointF(x(t.toDouble()), area.bottom()),
                            QPointF(x(t.toDouble()), area.bottom() - line_ / 2));
        p_.setPen(QPen(Qt::darkGray, w_ / 1200, Qt::DashLine));
        for (const TimeMark &m : r_.marks) {
            p_.drawLine(QPointF(x(m.seconds), area.top()), QPointF(x(m.seconds), area.bottom()));
            p_.drawText(QPointF(x(m.seconds) + line_ / 6, area.top() + line_ / 2), m.label);
        }
        drawAdaptiveMarks(p_, area, span, line_, a_);
        p_.setPen(Qt::black);
        // Below the adaptive marks' own legend when there is one.
        y_ = area.bottom() + (a_.adaptive() ? 4 : 3) * line_;
        p_.drawText(area.left(), y_,
                    QStringLiteral("kV (blue, left)   mA (green, right)   arcs (red marks)"));
        y_ += line_;
    }

    QPdfWriter &pdf_;
    const RunReport &r_;
    const AdaptiveSummary &a_;
    QPainter p_;
    int w_ = 0, h_ = 0;
    int line_ = 0;
    int y_ = 0;
};

QString withSuffix(QString recordPath, const char *suffix) {
    if (recordPath.endsWith(QLatin1String(".jsonl")))
        recordPath.chop(6);
    return recordPath + QLatin1String(suffix);
}

} // namespace

QString writeReport(const QString &recordPath) {
    RunReport r = readRecord(recordPath);
    // Readers of the record's other lines add their summary lines and marks
    // to `r` here, before it is written.
    QJsonObject twin = r.run;
    twin.remove(QLatin1String("record"));
    const auto without = [](const std::vector<QJsonObject> &lines) {
        QJsonArray out;
        for (QJsonObject s : lines) {
            s.remove(QLatin1String("record"));
            s.remove(QLatin1String("points"));
            out.append(s);
        }
        return out;
    };
    twin.insert(QLatin1String("steps"), without(r.steps));
    twin.insert(QLatin1String("notReached"), without(r.notReached()));
    twin.insert(QLatin1String("events"), without(r.events));
    twin.insert(QLatin1String("end"), r.end);
    twin.insert(QLatin1String("why"), r.why);
    twin.insert(QLatin1String("verdict"), r.verdict());
    twin.insert(QLatin1String("seconds"), r.seconds);
    const QDateTime started =
        QDateTime::fromString(r.run.value(QLatin1String("started")).toString(), Qt::ISODate);
    if (started.isValid())
        twin.insert(QLatin1String("ended"), isoTime(started.addMSecs(qRound64(r.seconds * 1000))));
    const AdaptiveSummary adaptive = adaptiveSummary(recordPath);
    if (adaptive.adaptive())
        twin.insert(QLatin1String("summary"), QJsonArray::fromStringList(adaptive.lines));
    QFile json(withSuffix(recordPath, ".json"));
    if (!json.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        json.write(QJsonDocument(twin).toJson()) < 0)
        return {};
    const QString pdfPath = withSuffix(recordPath, ".pdf");
    QPdfWriter pdf(pdfPath);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(300);
    pdf.setTitle(QStringLiteral("Run report"));
    ReportPainter(pdf, r, adaptive).paint();
    return QFile::exists(pdfPath) ? pdfPath : QString();
}

} // namespace zor::runs
