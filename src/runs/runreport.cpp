#include "runs/adaptivesummary.h"
#include "runs/runrecord.h"

#include <QFile>
#include <QJsonDocument>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>

namespace zor::runs {

namespace {

constexpr int RowsPerPage = 30;

QString number(const QJsonValue &v, int decimals) {
    return v.isDouble() ? QString::number(v.toDouble(), 'f', decimals) : QStringLiteral("-");
}

QString reached(const QJsonObject &step, const char *key, int decimals) {
    const QJsonObject s = step.value(QLatin1String(key)).toObject();
    if (s.isEmpty())
        return QStringLiteral("-");
    return QStringLiteral("%1 (%2..%3)")
        .arg(number(s.value(QLatin1String("mean")), decimals),
             number(s.value(QLatin1String("min")), decimals),
             number(s.value(QLatin1String("max")), decimals));
}

QString unitField(const RunReport &r, const char *key) {
    const QString v =
        r.run.value(QLatin1String("unit")).toObject().value(QLatin1String(key)).toString();
    return v.isEmpty() ? QStringLiteral("unknown") : v;
}

// The report's pages: the header and the step table (continued as needed),
// then the plot of kV, mA and arcs over the run.
class ReportPainter {
public:
    ReportPainter(QPdfWriter &pdf, const RunReport &r, const AdaptiveSummary &a)
        : pdf_(pdf), r_(r), a_(a), p_(&pdf) {
        w_ = pdf.width();
        line_ = pdf.height() / 48;
    }
    void paint() {
        const std::size_t pages =
            std::max<std::size_t>(1, (r_.steps.size() + RowsPerPage - 1) / RowsPerPage);
        for (std::size_t page = 0; page < pages; ++page) {
            if (page)
                pdf_.newPage();
            int y = header();
            for (const QString &text : page ? QStringList() : a_.lines) {
                p_.drawText(0, y, text);
                y += line_;
            }
            table(y, page * RowsPerPage,
                  std::min(r_.steps.size(), (page + 1) * std::size_t(RowsPerPage)));
        }
        pdf_.newPage();
        plot(header());
    }

private:
    int header() {
        QFont title = p_.font();
        title.setPointSize(14);
        title.setBold(true);
        p_.setFont(title);
        const QString kind = r_.run.value(QLatin1String("kind")).toString();
        p_.drawText(0, line_,
                    kind == QLatin1String("cycle test") ? QStringLiteral("Cycle test report")
                                                        : QStringLiteral("Seasoning report"));
        QFont body = title;
        body.setPointSize(9);
        body.setBold(false);
        p_.setFont(body);
        const QJsonObject schedule = r_.run.value(QLatin1String("schedule")).toObject();
        const QStringList lines{
            QStringLiteral("Unit: %1    Serial number: %2")
                .arg(unitField(r_, "model"), unitField(r_, "serial")),
            QStringLiteral("Date: %1    Schedule: %2")
                .arg(r_.run.value(QLatin1String("started")).toString(),
                     schedule.value(QLatin1String("name")).toString()),
            QStringLiteral("Ended: %1%2    Time: %3 s")
                .arg(r_.end, r_.why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r_.why))
                .arg(QString::number(r_.seconds, 'f', 0))};
        int y = 2 * line_;
        for (const QString &text : lines)
            p_.drawText(0, y += line_, text);
        return y + line_;
    }
    void table(int y, std::size_t from, std::size_t to) {
        static const char *heads[] = {
            "Step", "Planned kV / mA / s", "kV mean (min..max)", "mA mean (min..max)", "Time s",
            "Arcs", "Link failures"};
        static const double widths[] = {0.07, 0.2, 0.22, 0.22, 0.09, 0.08, 0.12};
        const auto row = [&](const QStringList &cells) {
            double x = 0;
            for (int i = 0; i < cells.size(); ++i) {
                p_.drawText(int(x * w_), y, cells[i]);
                x += widths[i];
            }
            y += line_;
        };
        QStringList head;
        for (const char *h : heads)
            head << QString::fromLatin1(h);
        row(head);
        for (std::size_t i = from; i < to; ++i) {
            const QJsonObject &s = r_.steps[i];
            const QJsonObject plan = s.value(QLatin1String("planned")).toObject();
            row({QString::number(s.value(QLatin1String("step")).toInt()),
                 QStringLiteral("%1 / %2 / %3")
                     .arg(number(plan.value(QLatin1String("kv")), 1),
                          number(plan.value(QLatin1String("ma")), 2),
                          number(plan.value(QLatin1String("seconds")), 0)),
                 reached(s, "kv", 2), reached(s, "ma", 3),
                 number(s.value(QLatin1String("seconds")), 0),
                 QString::number(s.value(QLatin1String("arcs")).toInt()),
                 QString::number(s.value(QLatin1String("linkFailures")).toInt())});
        }
    }
    void plot(int top) {
        const QRect area(w_ / 10, top + line_, w_ * 8 / 10, pdf_.height() / 2);
        p_.drawRect(area);
        double kvMax = 1, maMax = 0.1;
        const double span = std::max(1.0, r_.seconds);
        for (const QJsonObject &s : r_.steps)
            for (const QJsonValue &pt : s.value(QLatin1String("points")).toArray()) {
                kvMax = std::max(kvMax, pt.toArray().at(1).toDouble());
                maMax = std::max(maMax, pt.toArray().at(2).toDouble());
            }
        const auto at = [&](double t, double v, double max) {
            return QPointF(area.left() + area.width() * std::clamp(t / span, 0.0, 1.0),
                           area.bottom() - area.height() * v / max);
        };
        const auto series = [&](int column, double max, const QColor &colour) {
            QPainterPath path;
            for (const QJsonObject &s : r_.steps)
                for (const QJsonValue &pt : s.value(QLatin1String("points")).toArray()) {
                    const QJsonArray a = pt.toArray();
                    const QPointF q = at(a.at(0).toDouble(), a.at(column).toDouble(), max);
                    path.elementCount() == 0 ? path.moveTo(q) : path.lineTo(q);
                }
            p_.setPen(QPen(colour, w_ / 600));
            p_.drawPath(path);
        };
        series(1, kvMax, Qt::blue);
        series(2, maMax, Qt::darkGreen);
        p_.setPen(QPen(Qt::red, w_ / 800));
        for (const QJsonObject &s : r_.steps)
            for (const QJsonValue &t : s.value(QLatin1String("arcTimes")).toArray()) {
                const double x = at(t.toDouble(), 0, 1).x();
                p_.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() - line_));
            }
        drawAdaptiveMarks(p_, area, span, line_, a_);
        p_.setPen(Qt::black);
        const int y = area.bottom() + 2 * line_;
        p_.drawText(area.left(), y,
                    QStringLiteral("kV (blue, 0..%1)   mA (green, 0..%2)   arcs (red)   over %3 s")
                        .arg(QString::number(kvMax, 'f', 1), QString::number(maMax, 'f', 2))
                        .arg(QString::number(span, 'f', 0)));
    }

    QPdfWriter &pdf_;
    const RunReport &r_;
    const AdaptiveSummary &a_;
    QPainter p_;
    int w_ = 0;
    int line_ = 0;
};

QString withSuffix(QString recordPath, const char *suffix) {
    if (recordPath.endsWith(QLatin1String(".jsonl")))
        recordPath.chop(6);
    return recordPath + QLatin1String(suffix);
}

} // namespace

int reportPages(int steps) {
    return std::max(1, (steps + RowsPerPage - 1) / RowsPerPage) + 1;
}

QString writeReport(const QString &recordPath) {
    const RunReport r = readRecord(recordPath);
    QJsonObject twin = r.run;
    twin.remove(QLatin1String("record"));
    QJsonArray steps;
    for (QJsonObject s : r.steps) {
        s.remove(QLatin1String("record"));
        s.remove(QLatin1String("points"));
        steps.append(s);
    }
    twin.insert(QLatin1String("steps"), steps);
    twin.insert(QLatin1String("end"), r.end);
    twin.insert(QLatin1String("why"), r.why);
    twin.insert(QLatin1String("seconds"), r.seconds);
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
